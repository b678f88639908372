// Case databases as older clients leave them: GBK bytes in latin1 or binary columns or in
// SQLite text, table names in lower case on a server that keeps names as given. Each
// must give the case list, the reports and the stored note of the same case in a clean
// database (gbk columns on the server, UTF-8 text in SQLite).
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/textcodec.h"
#include "support/legacydb.h"
#include "support/proc.h"
#include "support/testdb.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>

namespace {

namespace demo = casegen::demo;
using legacydb::Variant;
using Files = std::map<QString, QByteArray>;

// The demo with two bus names that look alike once read as UTF-8; then `v`, if any.
void makeCase(const testdb::CaseDb& db, std::optional<Variant> v) {
    std::string err;
    ASSERT_TRUE(casegen::makeDemo(db.arg(), &err)) << err;
    legacydb::rename(db, demo::kBusNames[2], legacydb::kLookAlike[0]);
    legacydb::rename(db, demo::kBusNames[4], legacydb::kLookAlike[1]);
    if (v) {
        ASSERT_EQ(legacydb::convert(db, *v), "");
    }
}

// What a user gets from the database `arg`: the case list, and every report of every
// calculated case in both units, with the runs' messages and status. The per-unit run
// names the cases in Chinese; the named-units run takes them all.
Files seen(const QString& arg, const QProcessEnvironment& env) {
    Files out;
    const testproc::Outcome list = testproc::run(SCREPORT_EXE, {"--list-cases", arg}, env);
    out["list-cases"] = (list.out + list.err + QString("status %1").arg(list.code)).toUtf8();
    QStringList cases;
    for (int n = 1; n < demo::kCaseUncalculated; ++n)
        cases << QString::fromUtf8(demo::kCaseNames[n - 1]);
    const QStringList everyReport = {"--reports",    "all",     "--faults",   "all",          "--items",
                                     "shortbra=all", "--items", "busvol=all", "--items",      "linecur=all",
                                     "--items",      "viz=all", "--format",   "txt,html,xlsx"};
    for (const QString units : {"pu", "named"}) {
        QTemporaryDir dir;
        const QString which = units == "pu" ? cases.join(',') : "all";
        const testproc::Outcome r = testproc::run(
            SCREPORT_EXE, QStringList{"--batch", arg, dir.path(), which, "--units", units} + everyReport,
            env);
        for (const auto& [file, bytes] : testproc::reportFiles(dir.path() + "/temp"))
            out[units + "/" + file] = bytes;
        // Progress lines and times depend on the moment.
        QStringList err;
        for (QString line : r.err.split('\n'))
            if (!line.contains(QRegularExpression("/[0-9]+$")))
                err << line.replace(arg, "DB")
                           .replace(dir.path(), "PROJECT")
                           .remove(QRegularExpression(", [0-9.]+ s$"));
        out[units + ".status"] = (err.join('\n') + QString("status %1").arg(r.code)).toUtf8();
    }
    return out;
}

// The clean database's, made once: SQLite as generated, or the server's gbk columns. (What
// the reports hold: the demo's golden file in tests/sc.)
const Files& reference(testdb::Backend b) {
    static std::map<testdb::Backend, Files> made;
    if (!made.count(b)) {
        testdb::CaseDb db(b);
        makeCase(db, b == testdb::Backend::MariaDb ? std::optional(Variant::Gbk) : std::nullopt);
        made[b] = seen(QString::fromStdString(db.arg()), testproc::env());
        for (const QString units : {"pu", "named"}) // every report of every case written
            EXPECT_TRUE(made[b][units + ".status"].endsWith("status 0"))
                << made[b][units + ".status"].toStdString();
    }
    return made[b];
}

void expectAsClean(Variant v) {
    const auto backend = v == Variant::SqliteBytes ? testdb::Backend::Sqlite : testdb::Backend::MariaDb;
    if (backend == testdb::Backend::MariaDb && !testdb::mariaDbAvailable() && !testdb::mariaDbRequired())
        GTEST_SKIP() << "no MariaDB test server";
    ASSERT_EQ(QString::fromUtf8(testdb::gb(legacydb::kLookAlike[0]).c_str()),
              QString::fromUtf8(testdb::gb(legacydb::kLookAlike[1]).c_str()));
    const Files& want = reference(backend);

    std::unique_ptr<testdb::OwnServer> own;
    std::optional<testdb::ServerEnv> ownEnv;
    QProcessEnvironment env = testproc::env();
    if (v == Variant::LowerCaseTables) {
        own = std::make_unique<testdb::OwnServer>(testdb::OwnServer::TableNames::CaseSensitive);
        ASSERT_TRUE(own->start());
        ownEnv.emplace(own->socket());
        env.insert("SCREPORT_DB_SOCKET", QString::fromStdString(own->socket()));
    }
    testdb::CaseDb db(backend, own ? own->socket() : std::string());
    makeCase(db, v);
    const QString caseTable = v == Variant::LowerCaseTables ? "sc_case" : "SC_CASE";
    auto hex = [&](const char* col) {
        return db.rows(QString("SELECT HEX(%1) FROM %2 WHERE Case_No=1").arg(col, caseTable))
            .join(',')
            .toStdString();
    };
    ASSERT_EQ(hex("Case_Name"), legacydb::gbHex(demo::kCaseNames[0]).toStdString());

    const std::string differences = testproc::differences(want, seen(QString::fromStdString(db.arg()), env));
    EXPECT_TRUE(differences.empty()) << differences;

    // A note as the report dialog stores it, for the case by the name it lists.
    testdb::LogCapture log;
    CDBUtility cdb;
    cdb.setDBType(DB_SC);
    ASSERT_NE(cdb.opendb(db.arg().c_str()), nullptr) << cdb.lastOpenError();
    const char* note = "已校核：母线甲站";
    cdb.save_caseNote("SC_CASE", textcodec::fromLocal8(cdb.getCaseName(1)), QString::fromUtf8(note));
    cdb.closedb();
    EXPECT_EQ(hex("Note"), legacydb::gbHex(note).toStdString());
    EXPECT_EQ(log.errors, std::vector<std::string>{});
}

// The clean databases give the same list and reports on both back ends.
TEST(LegacyDb, CleanDatabasesGiveTheSameOnBothBackEnds) {
    if (!testdb::mariaDbAvailable() && !testdb::mariaDbRequired()) GTEST_SKIP() << "no MariaDB test server";
    const std::string differences =
        testproc::differences(reference(testdb::Backend::Sqlite), reference(testdb::Backend::MariaDb));
    EXPECT_TRUE(differences.empty()) << differences;
}

class LegacyVariant : public ::testing::TestWithParam<Variant> {};

TEST_P(LegacyVariant, GivesWhatTheCleanDatabaseGives) {
    expectAsClean(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Variants, LegacyVariant,
                         ::testing::Values(Variant::Latin1Bytes, Variant::BinaryNames,
                                           Variant::LowerCaseTables, Variant::SqliteBytes));

} // namespace

#include "legacydb.h"

#include "db/schema.h"
#include "db/textcodec.h"

#include <QByteArray>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <gtest/gtest.h>
#include <map>

namespace legacydb {
namespace {

struct TextColumn {
    QString name, dataType, columnType;
    int octets = 0;
    bool nullable = true;
};

// table -> its text columns, in column order. Binary columns have no character set.
using Columns = std::map<QString, std::vector<TextColumn>>;

Columns textColumns(QSqlDatabase& db) {
    Columns out;
    QSqlQuery q(db);
    q.exec("SELECT TABLE_NAME,COLUMN_NAME,DATA_TYPE,COLUMN_TYPE,CHARACTER_OCTET_LENGTH,IS_NULLABLE "
           "FROM information_schema.COLUMNS WHERE TABLE_SCHEMA=DATABASE() AND CHARACTER_SET_NAME IS NOT NULL "
           "ORDER BY TABLE_NAME,ORDINAL_POSITION");
    while (q.next())
        out[q.value(0).toString()].push_back({q.value(1).toString(), q.value(2).toString().toLower(),
                                              q.value(3).toString(), q.value(4).toInt(),
                                              q.value(5) == "YES"});
    return out;
}

// The binary type of the same size: converting to it and back keeps the bytes.
QString binaryType(const TextColumn& c) {
    if (c.dataType == "varchar") return QString("VARBINARY(%1)").arg(c.octets);
    if (c.dataType == "char") return QString("BINARY(%1)").arg(c.octets);
    return QString(c.dataType).replace("text", "blob");
}

QString latin1Type(const TextColumn& c) {
    const QString t = c.dataType == "varchar" || c.dataType == "char"
                          ? QString("%1(%2)").arg(c.dataType.toUpper()).arg(c.octets)
                          : c.dataType.toUpper();
    return t + " CHARACTER SET latin1 COLLATE latin1_bin";
}

// One ALTER TABLE per table, a MODIFY per column that `type` gives a type (empty: left as is).
std::string modifyColumns(QSqlDatabase& db, const Columns& columns,
                          const std::function<QString(const TextColumn&)>& type,
                          const QString& tableOptions = QString()) {
    QSqlQuery q(db);
    for (const auto& [table, cols] : columns) {
        QStringList mods;
        for (const TextColumn& c : cols)
            if (const QString t = type(c); !t.isEmpty())
                mods << "MODIFY `" + c.name + "` " + t + (c.nullable ? "" : " NOT NULL");
        if (!tableOptions.isEmpty()) mods << tableOptions;
        const QString sql = "ALTER TABLE `" + table + "` " + mods.join(',');
        if (!mods.isEmpty() && !q.exec(sql)) return (sql + ": " + q.lastError().text()).toStdString();
    }
    return std::string();
}

std::string execAll(QSqlDatabase& db, const QStringList& sql) {
    QSqlQuery q(db);
    for (const QString& s : sql)
        if (!q.exec(s)) return (s + ": " + q.lastError().text()).toStdString();
    return std::string();
}

QStringList serverTables(QSqlDatabase& db) {
    QStringList t;
    QSqlQuery q(db);
    q.exec("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA=DATABASE()");
    while (q.next())
        t << q.value(0).toString();
    return t;
}

std::string toGbk(QSqlDatabase& db) {
    QStringList sql{"ALTER DATABASE CHARACTER SET gbk COLLATE gbk_bin"};
    for (const QString& t : serverTables(db))
        sql << "ALTER TABLE `" + t + "` CONVERT TO CHARACTER SET gbk COLLATE gbk_bin";
    return execAll(db, sql);
}

// Every text value as its GB18030 bytes; CAST keeps them TEXT without checking them.
std::string sqliteBytes(QSqlDatabase& db) {
    QSqlQuery read(db), write(db);
    db.transaction();
    for (const QString& t : db.tables()) {
        const QSqlRecord r = db.record(t);
        for (int i = 0; i < r.count(); ++i) {
            const QString col = "\"" + r.fieldName(i) + "\"", table = "\"" + t + "\"";
            if (!read.exec("SELECT rowid," + col + " FROM " + table + " WHERE typeof(" + col + ")='text'"))
                return read.lastError().text().toStdString();
            write.prepare("UPDATE " + table + " SET " + col + "=CAST(? AS TEXT) WHERE rowid=?");
            while (read.next()) {
                write.addBindValue(QByteArray::fromStdString(textcodec::toLocal8(read.value(1).toString())));
                write.addBindValue(read.value(0));
                if (!write.exec()) return write.lastError().text().toStdString();
            }
        }
    }
    return db.commit() ? std::string() : db.lastError().text().toStdString();
}

} // namespace

// The character set and data types the text columns have, "varchar gbk" and so on.
static QStringList textKinds(QSqlDatabase& db) {
    QSqlQuery q(db);
    q.exec("SELECT DISTINCT CONCAT(DATA_TYPE,' ',CHARACTER_SET_NAME) FROM information_schema.COLUMNS WHERE "
           "TABLE_SCHEMA=DATABASE() AND CHARACTER_SET_NAME IS NOT NULL ORDER BY 1");
    QStringList kinds;
    while (q.next())
        kinds << q.value(0).toString();
    return kinds;
}

std::string convert(const testdb::CaseDb& db, Variant v) {
    std::string err;
    db.with([&](QSqlDatabase& c) {
        if (v == Variant::SqliteBytes) {
            err = sqliteBytes(c);
            return;
        }
        err = toGbk(c);
        const Columns cols = textColumns(c);
        QStringList want{"mediumtext gbk", "varchar gbk"};
        if (err.empty() && v == Variant::Latin1Bytes) {
            err = modifyColumns(c, cols, binaryType);
            if (err.empty())
                err = modifyColumns(c, cols, latin1Type, "DEFAULT CHARSET=latin1 COLLATE latin1_bin");
            want = QStringList{"mediumtext latin1", "varchar latin1"};
        } else if (err.empty() && v == Variant::BinaryNames) {
            err = modifyColumns(c, cols, [](const TextColumn& col) {
                return col.dataType == "varchar" ? binaryType(col) : QString();
            });
            want = QStringList{"mediumtext gbk"};
        } else if (err.empty() && v == Variant::LowerCaseTables) {
            QSqlQuery q(c);
            if (!q.exec("SELECT @@lower_case_table_names") || !q.next() || q.value(0).toInt() != 0) {
                err = "the server stores table names in lower case";
                return;
            }
            QStringList renames;
            for (const QString& t : serverTables(c))
                renames << "`" + t + "` TO `" + t.toLower() + "`";
            err = execAll(c, {"RENAME TABLE " + renames.join(',')});
        }
        if (err.empty() && textKinds(c) != want)
            err = "text columns are " + textKinds(c).join(", ").toStdString();
    });
    return err;
}

void rename(const testdb::CaseDb& db, const char* fromUtf8, const char* toUtf8) {
    db.with([&](QSqlDatabase& c) {
        QSqlQuery q(c);
        c.transaction();
        for (const schema::Table& t : schema::tables())
            for (const schema::Column& col : t.columns)
                if (col.type == schema::ColType::Name) {
                    const QString name = QString("`%1`").arg(col.name);
                    q.prepare(
                        QString("UPDATE %1 SET %2=? WHERE %2=?").arg(QString::fromStdString(t.name), name));
                    q.addBindValue(QString::fromUtf8(toUtf8));
                    q.addBindValue(QString::fromUtf8(fromUtf8));
                    EXPECT_TRUE(q.exec()) << q.lastError().text().toStdString();
                }
        c.commit();
    });
}

QString gbHex(const char* utf8) {
    return QString::fromLatin1(QByteArray::fromStdString(textcodec::gb(utf8)).toHex().toUpper());
}

} // namespace legacydb

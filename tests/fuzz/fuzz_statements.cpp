// Random names and numbers through statement composition: whatever the text, it is
// bound, never pasted, and the trusted part of the statement stays as written.
#include "db/sqldialect.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string name = in.ConsumeRandomLengthString(300);
    const std::string number = in.ConsumeRandomLengthString(30);
    const std::string rest = in.ConsumeRemainingBytesAsString();

    SqlStmt s("select a from T where N=");
    s.str(name);
    s << " and M like ";
    s.containing(rest);
    s << " and K=";
    s.number(number);
    const QString sql = s.sql();
    const qsizetype marks = sql.count(QLatin1Char('?'));
    const bool numberBound = !isIntegerText(number);
    if (marks != s.values().size() || marks != 2 + (numberBound ? 1 : 0)) std::abort();
    const QString expect = QString("select a from T where N=? and M like ? ESCAPE '!' and K=") +
                           (numberBound ? QString("?") : QString::fromStdString(number));
    if (sql != expect) std::abort();
    if (textcodec::fromLocal8(name) != s.values()[0].toString()) std::abort();
    // The LIKE operand, with its escapes taken out again, is the text.
    QString like = s.values()[1].toString();
    if (!like.startsWith('%') || !like.endsWith('%') || like.size() < 2) std::abort();
    like = like.mid(1, like.size() - 2);
    QString plain;
    for (qsizetype i = 0; i < like.size(); ++i) {
        if (like[i] == '!') {
            if (++i == like.size() || !QString("!%_").contains(like[i])) std::abort();
        } else if (like[i] == '%' || like[i] == '_') {
            std::abort(); // a wildcard the text did not ask for
        }
        plain += like[i];
    }
    if (plain != textcodec::fromLocal8(rest)) std::abort();

    for (SqlDialect::Backend b : {SqlDialect::MySql, SqlDialect::Sqlite}) {
        SqlDialect d(b);
        const SqlStmt del = d.deleteByCaseName("SCR_OUT", "SC_CASE", name, "");
        if (del.values().isEmpty() || del.values()[0].toString() != textcodec::fromLocal8(name)) std::abort();
        if (del.sql().count(QLatin1Char('?')) != del.values().size()) std::abort();
    }
    return 0;
}

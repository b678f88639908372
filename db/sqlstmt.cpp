#include "sqlstmt.h"

#include "textcodec.h"

SqlStmt& SqlStmt::operator<<(const std::string& sql8) {
    m_text += sql8;
    m_sql += textcodec::fromLocal8(sql8);
    return *this;
}

SqlStmt& SqlStmt::operator<<(const char* sql8) {
    return *this << std::string(sql8 ? sql8 : "");
}

SqlStmt& SqlStmt::str(const std::string& value8) {
    m_text += "'" + value8 + "'";
    m_sql += QLatin1Char('?');
    m_values << QByteArray::fromStdString(value8);
    return *this;
}

SqlStmt& SqlStmt::containing(const std::string& value8) {
    m_text += "'%" + value8 + "%'";
    // Our own escape character: % and _ in the text match as themselves, and a backslash
    // stays a plain character on the server, whose LIKE otherwise escapes with it.
    m_sql += QLatin1String("? ESCAPE '!'");
    QString v = textcodec::fromLocal8(value8);
    v.replace(QLatin1Char('!'), QLatin1String("!!"));
    v.replace(QLatin1Char('%'), QLatin1String("!%"));
    v.replace(QLatin1Char('_'), QLatin1String("!_"));
    m_values << QByteArray::fromStdString(textcodec::toLocal8(QLatin1Char('%') + v + QLatin1Char('%')));
    return *this;
}

SqlStmt& SqlStmt::number(const std::string& numText) {
    if (isIntegerText(numText)) return *this << numText;
    m_text += numText;
    m_sql += QLatin1Char('?');
    m_values << QByteArray::fromStdString(numText);
    return *this;
}

SqlStmt& SqlStmt::number(long long n) {
    return *this << std::to_string(n);
}

bool isPlainIdentifier(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

bool isIntegerText(const std::string& s) {
    size_t i = (!s.empty() && s[0] == '-') ? 1 : 0;
    if (i >= s.size() || s.size() > 19) return false;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

#pragma once
// A statement composed from trusted SQL pieces and bound values. `text()` is what
// the statement reads like (values shown between single quotes), for the log;
// `sql()` carries placeholders, so no name or note can change what it does.
#include "export.h"

#include <QString>
#include <QVariant>
#include <string>

class SCREPORT_CORE_EXPORT SqlStmt {
  public:
    SqlStmt() = default;
    SqlStmt(const char* sql8) { *this << sql8; }
    SqlStmt(const std::string& sql8) { *this << sql8; }

    // Trusted SQL text (GB18030), copied as it stands.
    SqlStmt& operator<<(const std::string& sql8);
    SqlStmt& operator<<(const char* sql8);
    // A text value that the statement shows between single quotes.
    SqlStmt& str(const std::string& value8);
    // The operand of a LIKE that matches the texts containing `value8` as written: "? ESCAPE
    // '!'" with the value bound, its % and _ matched as themselves.
    SqlStmt& containing(const std::string& value8);
    // A case or record number held as text: written as a literal when it is an integer,
    // otherwise bound (so a malformed number cannot become SQL).
    SqlStmt& number(const std::string& numText);
    SqlStmt& number(long long n);

    const std::string& text() const { return m_text; }
    QString sql() const { return m_sql; }
    // Text values are their GB18030 bytes (QByteArray); the database's encoding is applied
    // when they are bound.
    const QVariantList& values() const { return m_values; }

  private:
    std::string m_text;
    QString m_sql;
    QVariantList m_values;
};

// True when `name` is a plain identifier ([A-Za-z0-9_]+): the only table and column
// names the program puts into a statement as text.
SCREPORT_CORE_EXPORT bool isPlainIdentifier(const std::string& name);
// True when `s` is an optional minus followed by decimal digits.
SCREPORT_CORE_EXPORT bool isIntegerText(const std::string& s);

#pragma once
// Case databases as older clients and tools leave them, made from a freshly generated
// case so that their reports can be compared with the clean database's.
#include "testdb.h"

#include <QString>
#include <string>

namespace legacydb {

enum class Variant {
    Gbk,             // MariaDB: every text column in gbk; the server converts
    Latin1Bytes,     // MariaDB: latin1 columns holding the GBK bytes
    BinaryNames,     // MariaDB: as Gbk, name columns VARBINARY holding the GBK bytes
    LowerCaseTables, // MariaDB: as Gbk, every table renamed to lower case
    SqliteBytes,     // SQLite: every TEXT value its GB18030 bytes
};

// Rewrites the case database `db` in place; empty on success, else what failed.
// LowerCaseTables needs a server that keeps table names as given.
std::string convert(const testdb::CaseDb& db, Variant v);

// Two names whose GB18030 bytes give the same text when read as UTF-8.
constexpr const char* kLookAlike[2] = {"甲站", "乙站"};
// Renames the names `fromUtf8` to `toUtf8` in every name column.
void rename(const testdb::CaseDb& db, const char* fromUtf8, const char* toUtf8);

// HEX() of the GB18030 bytes of a UTF-8 literal.
QString gbHex(const char* utf8);

} // namespace legacydb

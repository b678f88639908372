#pragma once
// A case database that stands in for the package's own: every table and column the
// program reads or writes, for both back ends. The package owns the real schema;
// the program must also read databases whose column types differ from these.
#include "export.h"
#include "sqldialect.h"

#include <QString>
#include <string>
#include <vector>

class QSqlDatabase;

namespace schema {

enum class ColType { Int, Real, Name, Text };

struct Column {
    const char* name;
    ColType type;
    const char* defaultValue = nullptr; // SQL literal or null
};

struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<std::string> indexColumns; // one index over these, if any
};

// Every table, with a "BAK" copy of each network-model (CDB_) table. SCR_OUT has the
// columns common to all cases here; the report kinds add one each
// (reportkinds::caseTables() is the whole schema).
SCREPORT_CORE_EXPORT const std::vector<Table>& tables();
SCREPORT_CORE_EXPORT std::vector<std::string> ddl(const SqlDialect& d, const std::vector<Table>& tables);

// Creates the tables on an open connection; false and *err on the first failure.
SCREPORT_CORE_EXPORT bool createTables(QSqlDatabase& db, const SqlDialect& d,
                                       const std::vector<Table>& tables, QString* err);

// Creates an empty case database with these tables: a new SQLite file, or a database on
// the server (reached as CDBUtility would). Refuses to touch one that already has tables.
SCREPORT_CORE_EXPORT bool createCaseDatabase(const std::string& dbArg, const std::vector<Table>& tables,
                                             QString* err);

} // namespace schema

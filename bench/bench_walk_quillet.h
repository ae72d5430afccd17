// The walk benchmark through Quillet, as a host walks a table with it.
#pragma once

#include <string>

#include "bench_walk_servers.h"

namespace benchwalk {

// OpenRecordset, then IsEOF, the typed getters and MoveNext over every row: on the SQLite
// file by name and by position, on its PostgreSQL copy and on the file through the SQLite
// ODBC driver by name.
ServerWalkResult WalkQuilletSqlite(const std::string& sqliteFile);
ServerWalkResult WalkQuilletSqliteIndex(const std::string& sqliteFile);
ServerWalkResult WalkQuilletPg(const std::string& sqliteFile);
ServerWalkResult WalkQuilletOdbc(const std::string& sqliteFile);

}  // namespace benchwalk

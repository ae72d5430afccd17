// The walk benchmark through Quillet, as a host walks a table with it.
#pragma once

#include <string>

#include "bench_walk_servers.h"

namespace benchwalk {

// OpenRecordset, then IsEOF, the typed getters and MoveNext over every row of the SQLite file.
ServerWalkResult WalkQuilletSqlite(const std::string& sqliteFile);

}  // namespace benchwalk

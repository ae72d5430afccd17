// How SQLite's declared column types and stored values look to the cursor engine.
#pragma once

#include <string_view>

#include <dbplatform/ado/AdoEnums.h>
#include <dbplatform/providers/common/ColumnType.h>

namespace dbplatform::sqlite {

using provider::ColumnType;

// Maps a declared type ("VARCHAR(20)", "DATETIME", "BIGINT") by SQLite's affinity rules,
// refined so that dates, booleans, 64-bit and single-precision columns keep their
// meaning. `declared` must not be empty: a column without a declared type takes its
// type from its values (TypeOfStorageClass).
ColumnType MapDeclaredType(std::string_view declared);

// The type of a column without a declared type, from the storage class (SQLITE_INTEGER,
// SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL) of its first value.
ColumnType TypeOfStorageClass(int storageClass);

}  // namespace dbplatform::sqlite

// The statements that write one row back and read a new row again, for every provider.
//
// A row is found again by its row identity (a pseudo-column such as rowid or ctid) where
// the product has one and the locator carries it, else by its key or the values it was
// read with. Where that may match several identical rows only one of them must change:
// how the product picks one is part of its RowDialect. An update also requires each
// changed column to still hold the value it had when read, so that a row someone else
// changed meanwhile is left alone (the caller then sees 0 rows changed).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::provider {

// How values of one kind are compared with the column they were read from where a plain
// `column = value` would miss them. Each form holds "{}" where the quoted column (or the
// parameter marker) goes.
struct Comparison {
    ValueKind kind = ValueKind::Null;
    std::string column;
    std::string value;
};

// What one product offers to reach exactly one row, and to read a new row back.
struct RowDialect {
    enum class OneRow : std::uint8_t {
        IdentitySubquery,  // identity = (SELECT identity FROM table WHERE ... LIMIT 1)
        LimitSuffix,       // WHERE ... LIMIT 1
        Unbounded,         // the product has no way: every matching row changes
        Refused,           // the row cannot be located (RowNotLocated)
    };
    enum class ReadBack : std::uint8_t {
        Returning,   // INSERT ... RETURNING identity, *
        ByIdentity,  // SELECT identity, * FROM table WHERE identity = lastIdentity
        ByKey,       // the key as written (or generatedKey), then SELECT * by that key
    };

    char quote = '"';              // identifier quote; '\0' writes names as they are
    bool namesIgnoreCase = true;   // whether "A" and "a" name the same column
    std::string identity;          // the row identity pseudo-column; empty: none
    std::string identityCast;      // the type a value compared with it is cast to; or empty
    std::vector<std::string> identityAliases;  // other locator names meaning the identity
    OneRow oneRow = OneRow::Unbounded;  // where the locator is not known to be unique
    std::vector<Comparison> comparisons;
    ReadBack readBack = ReadBack::ByKey;
    std::string lastIdentity;      // SQL giving the identity of the row just inserted
    std::string generatedKey;      // query giving the key the server generated; or empty
    std::string emptyInsert = " DEFAULT VALUES";  // after INSERT INTO table without columns
};

// Adds a parameter holding `value`, written for a column of `type`, and returns the
// marker that stands for it in the statement ("?", "$3"). Markers are asked for in the
// order they appear in the statement text.
using AddParameter = std::function<std::string(const Value& value, DataTypeEnum type)>;

// `name` quoted as `dialect` quotes identifiers.
std::string QuotedName(const RowDialect& dialect, std::string_view name);

// True when locator entry `name` is the row identity.
bool IsRowIdentity(const RowDialect& dialect, std::string_view name);

// The identity's value in `locator`, or null when the locator has none or the product
// has no row identity.
const Value* IdentityOf(const RowDialect& dialect, const RowLocator& locator);

// The condition (the text after WHERE, with its LIMIT where the product limits that way)
// that reaches exactly the row at `locator` whose `changed` columns (may be null) still
// hold their originals. The locator counts as unique when it holds the identity or
// every column of `keyColumns` (empty: the key is not known). Throws RowNotLocated when
// there is nothing to locate the row by, or the product cannot pick one of several.
std::string TargetOneRow(const RowDialect& dialect, std::string_view table, const RowLocator& locator,
                         const std::vector<ColumnWrite>* changed, const std::vector<std::string>& keyColumns,
                         const AddParameter& add);

// INSERT of `columns` (the others take their defaults), with RETURNING where the
// product reads the new row back that way.
std::string InsertStatement(const RowDialect& dialect, std::string_view table, const std::vector<ColumnWrite>& columns,
                            const AddParameter& add);

// UPDATE of `columns` in the row at `locator` (see TargetOneRow), returning the row's new
// identity where the product reads it back with RETURNING. `columns` must not be empty.
std::string UpdateStatement(const RowDialect& dialect, std::string_view table, const std::vector<ColumnWrite>& columns,
                            const RowLocator& locator, const std::vector<std::string>& keyColumns,
                            const AddParameter& add);

// DELETE of the row at `locator`.
std::string DeleteStatement(const RowDialect& dialect, std::string_view table, const RowLocator& locator,
                            const std::vector<std::string>& keyColumns, const AddParameter& add);

// SELECT 1 from the row at `locator`: whether it is still there.
std::string ExistsStatement(const RowDialect& dialect, std::string_view table, const RowLocator& locator,
                            const std::vector<std::string>& keyColumns, const AddParameter& add);

// The row just inserted, identity first: for ReadBack::ByIdentity. The row is the one
// whose identity is `identity` (a parameter marker), else the last one inserted.
std::string SelectInsertedStatement(const RowDialect& dialect, std::string_view table, std::string_view identity = {});

// The row whose columns hold `key`'s values, at most one: for ReadBack::ByKey.
std::string SelectByKeyStatement(const RowDialect& dialect, std::string_view table, const RowLocator& key,
                                 const AddParameter& add);

// After an update changed exactly the row at `locator`: the locator follows it. A
// written column moves its entry; the identity takes `newIdentity` when given (an
// update that moves the row, or writes the column the identity is).
void FollowUpdate(const RowDialect& dialect, const std::vector<ColumnWrite>& columns, const Value* newIdentity,
                  RowLocator* locator);

}  // namespace dbplatform::provider

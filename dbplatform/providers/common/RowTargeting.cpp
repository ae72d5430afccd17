#include <dbplatform/providers/common/RowTargeting.h>

#include <algorithm>
#include <cassert>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/providers/common/Failure.h>
#include <dbplatform/providers/common/Identifiers.h>

namespace dbplatform::provider {
namespace {

bool SameColumn(const RowDialect& dialect, std::string_view a, std::string_view b) {
    return dialect.namesIgnoreCase ? EqualNoCase(a, b) : a == b;
}

// `form` with its "{}" replaced by `text`.
std::string Fill(std::string_view form, std::string_view text) {
    std::string filled(form);
    std::size_t at = filled.find("{}");
    assert(at != std::string::npos);
    filled.replace(at, 2, text);
    return filled;
}

// "column holds `read`": NULL through IS NULL, other kinds as the dialect compares them.
std::string Condition(const RowDialect& dialect, std::string_view column, const Value& read, DataTypeEnum type,
                      const AddParameter& add) {
    const std::string quoted = QuotedName(dialect, column);
    if (read.kind == ValueKind::Null) return quoted + " IS NULL";
    const std::string marker = add(read, type);
    for (const Comparison& comparison : dialect.comparisons)
        if (comparison.kind == read.kind) return Fill(comparison.column, quoted) + " = " + Fill(comparison.value, marker);
    return quoted + " = " + marker;
}

std::string IdentityCondition(const RowDialect& dialect, const Value& identity, const AddParameter& add) {
    std::string marker = add(identity, adVarWChar);
    if (!dialect.identityCast.empty()) marker = "CAST(" + marker + " AS " + dialect.identityCast + ")";
    return dialect.identity + " = " + marker;
}

bool CoversKey(const RowDialect& dialect, const RowLocator& locator, const std::vector<std::string>& keyColumns) {
    if (keyColumns.empty()) return false;
    return std::all_of(keyColumns.begin(), keyColumns.end(), [&](const std::string& key) {
        return std::any_of(locator.columns.begin(), locator.columns.end(), [&](const auto& entry) {
            return !IsRowIdentity(dialect, entry.first) && SameColumn(dialect, entry.first, key);
        });
    });
}

}  // namespace

std::string QuotedName(const RowDialect& dialect, std::string_view name) { return QuoteIdentifier(name, dialect.quote); }

bool IsRowIdentity(const RowDialect& dialect, std::string_view name) {
    if (name == kRowIdentityName) return true;
    return std::any_of(dialect.identityAliases.begin(), dialect.identityAliases.end(),
                       [&](const std::string& alias) { return EqualNoCase(alias, name); });
}

const Value* IdentityOf(const RowDialect& dialect, const RowLocator& locator) {
    if (dialect.identity.empty()) return nullptr;
    for (const auto& [name, value] : locator.columns)
        if (IsRowIdentity(dialect, name)) return &value;
    return nullptr;
}

std::string TargetOneRow(const RowDialect& dialect, std::string_view table, const RowLocator& locator,
                         const std::vector<ColumnWrite>* changed, const std::vector<std::string>& keyColumns,
                         const AddParameter& add) {
    std::string conditions;
    auto append = [&](const std::string& condition) { conditions += (conditions.empty() ? "" : " AND ") + condition; };
    const Value* identity = IdentityOf(dialect, locator);
    if (identity) append(IdentityCondition(dialect, *identity, add));
    for (const auto& [name, value] : locator.columns)
        if (!IsRowIdentity(dialect, name)) append(Condition(dialect, name, value, adVarWChar, add));
    if (changed)
        for (const ColumnWrite& write : *changed) append(Condition(dialect, write.column, write.original, write.type, add));
    const std::string tableName(table);
    if (conditions.empty())
        ThrowFailure(FailureKind::RowNotLocated, "Cannot locate the row in " + tableName + ": no key, row identity or value.");
    if (identity || CoversKey(dialect, locator, keyColumns)) return conditions;
    switch (dialect.oneRow) {
        case RowDialect::OneRow::IdentitySubquery:
            if (dialect.identity.empty()) break;
            return dialect.identity + " = (SELECT " + dialect.identity + " FROM " + QuotedName(dialect, table) +
                   " WHERE " + conditions + " LIMIT 1)";
        case RowDialect::OneRow::LimitSuffix: return conditions + " LIMIT 1";
        case RowDialect::OneRow::Unbounded: return conditions;
        case RowDialect::OneRow::Refused: break;
    }
    ThrowFailure(FailureKind::RowNotLocated,
                 "Cannot locate a single row in " + tableName + ": the locator does not cover its primary key.");
}

std::string InsertStatement(const RowDialect& dialect, std::string_view table, const std::vector<ColumnWrite>& columns,
                            const AddParameter& add) {
    std::string sql = "INSERT INTO " + QuotedName(dialect, table);
    if (columns.empty()) {
        sql += dialect.emptyInsert;
    } else {
        std::string names, markers;
        for (const ColumnWrite& write : columns) {
            if (!names.empty()) {
                names += ", ";
                markers += ", ";
            }
            names += QuotedName(dialect, write.column);
            markers += add(write.value, write.type);
        }
        sql += " (" + names + ") VALUES (" + markers + ")";
    }
    if (dialect.readBack == RowDialect::ReadBack::Returning) sql += " RETURNING " + dialect.identity + ", *";
    return sql;
}

std::string UpdateStatement(const RowDialect& dialect, std::string_view table, const std::vector<ColumnWrite>& columns,
                            const RowLocator& locator, const std::vector<std::string>& keyColumns,
                            const AddParameter& add) {
    assert(!columns.empty());
    std::string assignments;
    for (const ColumnWrite& write : columns) {
        if (!assignments.empty()) assignments += ", ";
        assignments += QuotedName(dialect, write.column) + " = " + add(write.value, write.type);
    }
    std::string sql = "UPDATE " + QuotedName(dialect, table) + " SET " + assignments + " WHERE " +
                      TargetOneRow(dialect, table, locator, &columns, keyColumns, add);
    if (dialect.readBack == RowDialect::ReadBack::Returning) sql += " RETURNING " + dialect.identity;
    return sql;
}

std::string DeleteStatement(const RowDialect& dialect, std::string_view table, const RowLocator& locator,
                            const std::vector<std::string>& keyColumns, const AddParameter& add) {
    return "DELETE FROM " + QuotedName(dialect, table) + " WHERE " +
           TargetOneRow(dialect, table, locator, nullptr, keyColumns, add);
}

std::string ExistsStatement(const RowDialect& dialect, std::string_view table, const RowLocator& locator,
                            const std::vector<std::string>& keyColumns, const AddParameter& add) {
    return "SELECT 1 FROM " + QuotedName(dialect, table) + " WHERE " +
           TargetOneRow(dialect, table, locator, nullptr, keyColumns, add);
}

std::string SelectInsertedStatement(const RowDialect& dialect, std::string_view table, std::string_view identity) {
    assert(!dialect.identity.empty() && !dialect.lastIdentity.empty());
    return "SELECT " + dialect.identity + ", * FROM " + QuotedName(dialect, table) + " WHERE " + dialect.identity +
           " = " + std::string(identity.empty() ? std::string_view(dialect.lastIdentity) : identity);
}

std::string SelectByKeyStatement(const RowDialect& dialect, std::string_view table, const RowLocator& key,
                                 const AddParameter& add) {
    assert(!key.columns.empty());
    std::string where;
    for (const auto& [column, value] : key.columns) {
        if (!where.empty()) where += " AND ";
        where += QuotedName(dialect, column) + " = " + add(value, adVarWChar);
    }
    std::string sql = "SELECT * FROM " + QuotedName(dialect, table) + " WHERE " + where;
    if (dialect.oneRow == RowDialect::OneRow::LimitSuffix) sql += " LIMIT 1";
    return sql;
}

void FollowUpdate(const RowDialect& dialect, const std::vector<ColumnWrite>& columns, const Value* newIdentity,
                  RowLocator* locator) {
    for (auto& [name, value] : locator->columns) {
        if (IsRowIdentity(dialect, name)) {
            if (newIdentity) value = *newIdentity;
            continue;
        }
        for (const ColumnWrite& write : columns)
            if (SameColumn(dialect, write.column, name)) value = write.value;
    }
}

}  // namespace dbplatform::provider

// The statements each product gets to write one row back, from the one builder: what a
// row is located by (identity, key, every value), how NULL and the product's awkward kinds
// are compared, how a product without a unique locator changes only one row, and the
// parameters in the order the markers stand in the text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <dbplatform/providers/common/Identifiers.h>
#include <dbplatform/providers/common/RowDialects.h>

#include "ComFailure.h"

namespace {

using namespace dbplatform::provider;
using testcom::FailureOf;

Value Int(std::int64_t value) { return Value{ValueKind::Integer, value, 0, {}}; }
Value Text(const std::string& value) { return Value{ValueKind::Text, 0, 0, value}; }
Value Real(double value) { return Value{ValueKind::Double, 0, value, {}}; }
Value Null() { return Value{}; }

struct ProductCase {
    const char* name;
    RowDialect dialect;
    bool numbered;  // markers $1, $2 (libpq) instead of ?
};

std::vector<ProductCase> Products() {
    RowDialect odbcSqlite = RowDialectOf(dbplatform::provider::Product::SQLite);
    RowDialect other = RowDialectOf(dbplatform::provider::Product::Other);
    other.quote = '\0';
    return {
        {"sqlite", EmbeddedSqliteRowDialect("rowid", false), false},
        {"sqlite-without-rowid", EmbeddedSqliteRowDialect("", false), false},
        {"sqlite-without-rowid-limits", EmbeddedSqliteRowDialect("", true), false},
        {"sqlite-odbc", odbcSqlite, false},
        {"postgresql", RowDialectOf(dbplatform::provider::Product::PostgreSQL), true},
        {"mariadb", RowDialectOf(dbplatform::provider::Product::MariaDB), false},
        {"other", other, false},
    };
}

const RowDialect& DialectNamed(const std::string& name) {
    static const std::vector<ProductCase> products = Products();
    for (const ProductCase& product : products)
        if (name == product.name) return product.dialect;
    throw std::runtime_error("no product " + name);
}

bool Numbered(const std::string& name) { return name == "postgresql"; }

// Records parameters and hands out markers; Shown() lists their values in order.
struct Parameters {
    std::vector<Value> values;
    bool numbered = false;

    AddParameter Add() {
        return [this](const Value& value, DataTypeEnum) {
            values.push_back(value);
            return numbered ? "$" + std::to_string(values.size()) : std::string("?");
        };
    }
    std::string Shown() const {
        std::string shown;
        for (const Value& value : values) {
            if (&value != &values.front()) shown += "|";
            if (value.kind == ValueKind::Integer) shown += std::to_string(value.integer);
            else if (value.kind == ValueKind::Double) shown += std::to_string(value.real);
            else shown += value.bytes;
        }
        return shown;
    }
};

RowLocator ById(std::int64_t id) { return RowLocator{{{"id", Int(id)}}}; }
RowLocator ByIdentity(const Value& identity) { return RowLocator{{{kRowIdentityName, identity}}}; }
RowLocator ByValues() { return RowLocator{{{"id", Int(7)}, {"name", Text("a")}}}; }

ColumnWrite NameFromTo(const Value& before, const Value& after) { return ColumnWrite{"name", adVarWChar, after, before}; }

TEST(RowTargeting, UpdatesReachOneRowInEachProductsWay) {
    struct Case {
        const char* product;
        RowLocator locator;
        std::vector<std::string> keys;  // the table's key, where the provider knows it
        ColumnWrite write;
        const char* sql;
        const char* parameters;
    };
    const Case cases[] = {
        // By row identity: unique, no limit needed.
        {"sqlite", ByIdentity(Int(3)), {}, NameFromTo(Text("a"), Text("b")),
         R"(UPDATE "t" SET "name" = ? WHERE rowid = ? AND "name" = ?)", "b|3|a"},
        {"sqlite-odbc", ByIdentity(Int(3)), {}, NameFromTo(Text("a"), Text("b")),
         R"(UPDATE "t" SET "name" = ? WHERE rowid = ? AND "name" = ?)", "b|3|a"},
        {"postgresql", ByIdentity(Text("(0,4)")), {}, NameFromTo(Text("a"), Text("b")),
         R"(UPDATE "t" SET "name" = $1 WHERE ctid = CAST($2 AS tid) AND "name" = $3 RETURNING ctid)", "b|(0,4)|a"},
        // By a complete key the provider knows: unique.
        {"sqlite", ById(7), {"ID"}, NameFromTo(Text("a"), Text("b")),
         R"(UPDATE "t" SET "name" = ? WHERE "id" = ? AND "name" = ?)", "b|7|a"},
        {"sqlite-without-rowid", ById(7), {"id"}, NameFromTo(Text("a"), Text("b")),
         R"(UPDATE "t" SET "name" = ? WHERE "id" = ? AND "name" = ?)", "b|7|a"},
        // A key the provider does not know to be unique: one row of those matching.
        {"sqlite", ByValues(), {}, NameFromTo(Text("a"), Text("b")),
         R"(UPDATE "t" SET "name" = ? WHERE rowid = (SELECT rowid FROM "t" WHERE "id" = ? AND "name" = ? AND "name" = ? LIMIT 1))",
         "b|7|a|a"},
        {"sqlite-odbc", ById(7), {}, NameFromTo(Text("a"), Text("b")),
         R"(UPDATE "t" SET "name" = ? WHERE rowid = (SELECT rowid FROM "t" WHERE "id" = ? AND "name" = ? LIMIT 1))", "b|7|a"},
        {"postgresql", ById(7), {}, NameFromTo(Text("a"), Text("b")),
         R"(UPDATE "t" SET "name" = $1 WHERE ctid = (SELECT ctid FROM "t" WHERE "id" = $2 AND "name" = $3 LIMIT 1) RETURNING ctid)",
         "b|7|a"},
        {"mariadb", ById(7), {}, NameFromTo(Text("a"), Text("b")),
         "UPDATE `t` SET `name` = ? WHERE `id` = ? AND `name` = ? LIMIT 1", "b|7|a"},
        {"other", ById(7), {}, NameFromTo(Text("a"), Text("b")), "UPDATE t SET name = ? WHERE id = ? AND name = ?", "b|7|a"},
        // An identity the product does not have is no locator; the rest still is.
        {"mariadb", RowLocator{{{kRowIdentityName, Int(3)}, {"id", Int(7)}}}, {}, NameFromTo(Text("a"), Text("b")),
         "UPDATE `t` SET `name` = ? WHERE `id` = ? AND `name` = ? LIMIT 1", "b|7|a"},
        // NULL originals are compared with IS NULL and take no parameter.
        {"sqlite", ByIdentity(Int(3)), {}, NameFromTo(Null(), Text("b")),
         R"(UPDATE "t" SET "name" = ? WHERE rowid = ? AND "name" IS NULL)", "b|3"},
        {"postgresql", RowLocator{{{"id", Null()}}}, {}, NameFromTo(Null(), Text("b")),
         R"(UPDATE "t" SET "name" = $1 WHERE ctid = (SELECT ctid FROM "t" WHERE "id" IS NULL AND "name" IS NULL LIMIT 1) RETURNING ctid)",
         "b"},
        {"other", ById(7), {}, NameFromTo(Null(), Null()), "UPDATE t SET name = ? WHERE id = ? AND name IS NULL", "|7"},
        // Kinds the product cannot compare as they are.
        {"sqlite", ByIdentity(Int(3)), {}, ColumnWrite{"d", adDBTimeStamp, Value{ValueKind::Date, 0, 2.0, {}}, Value{ValueKind::Date, 0, 1.0, {}}},
         R"(UPDATE "t" SET "d" = ? WHERE rowid = ? AND canonical_date_text("d") = ?)", "|3|"},
        {"sqlite", ByIdentity(Int(3)), {}, ColumnWrite{"f", adBoolean, Value{ValueKind::Boolean, 0, 0, {}}, Value{ValueKind::Boolean, 1, 0, {}}},
         R"(UPDATE "t" SET "f" = ? WHERE rowid = ? AND ("f" <> 0) = ?)", "|3|"},
        {"sqlite", ByIdentity(Int(3)), {}, ColumnWrite{"g", adLongVarBinary, Value{ValueKind::Bytes, 0, 0, "x"}, Value{ValueKind::Bytes, 0, 0, "y"}},
         R"(UPDATE "t" SET "g" = ? WHERE rowid = ? AND CAST("g" AS BLOB) = ?)", "x|3|y"},
        {"sqlite-odbc", ByIdentity(Int(3)), {}, ColumnWrite{"w", adDouble, Real(2.5), Real(0.1)},
         R"(UPDATE "t" SET "w" = ? WHERE rowid = ? AND CAST("w" AS TEXT) = CAST(? AS TEXT))", "2.500000|3|0.100000"},
        {"postgresql", ByIdentity(Text("(0,1)")), {}, ColumnWrite{"w", adDouble, Real(2.5), Real(0.1)},
         R"(UPDATE "t" SET "w" = $1 WHERE ctid = CAST($2 AS tid) AND "w" = $3 RETURNING ctid)", "2.500000|(0,1)|0.100000"},
    };
    for (const Case& c : cases) {
        Parameters parameters{{}, Numbered(c.product)};
        const std::string sql =
            UpdateStatement(DialectNamed(c.product), "t", {c.write}, c.locator, c.keys, parameters.Add());
        EXPECT_EQ(c.sql, sql) << c.product;
        EXPECT_EQ(c.parameters, parameters.Shown()) << c.product << ": " << sql;
    }
}

TEST(RowTargeting, DeletesAndExistenceChecksUseTheSameTarget) {
    struct Case {
        const char* product;
        RowLocator locator;
        const char* deleteSql;
        const char* existsSql;
    };
    const Case cases[] = {
        {"sqlite", ByIdentity(Int(3)), R"(DELETE FROM "t" WHERE rowid = ?)", R"(SELECT 1 FROM "t" WHERE rowid = ?)"},
        {"sqlite-without-rowid", ById(7), nullptr, nullptr},  // the key is not known complete: refused
        {"sqlite-without-rowid-limits", ById(7), R"(DELETE FROM "t" WHERE "id" = ? LIMIT 1)",
         R"(SELECT 1 FROM "t" WHERE "id" = ? LIMIT 1)"},
        {"postgresql", ById(7), R"(DELETE FROM "t" WHERE ctid = (SELECT ctid FROM "t" WHERE "id" = $1 LIMIT 1))",
         R"(SELECT 1 FROM "t" WHERE ctid = (SELECT ctid FROM "t" WHERE "id" = $1 LIMIT 1))"},
        {"mariadb", ById(7), "DELETE FROM `t` WHERE `id` = ? LIMIT 1", "SELECT 1 FROM `t` WHERE `id` = ? LIMIT 1"},
        {"other", ById(7), "DELETE FROM t WHERE id = ?", "SELECT 1 FROM t WHERE id = ?"},
    };
    for (const Case& c : cases) {
        Parameters parameters{{}, Numbered(c.product)};
        const RowDialect& dialect = DialectNamed(c.product);
        if (!c.deleteSql) {
            EXPECT_EQ(DB_E_CONCURRENCYVIOLATION,
                      FailureOf([&] { DeleteStatement(dialect, "t", c.locator, {}, parameters.Add()); }).hr);
            continue;
        }
        EXPECT_EQ(c.deleteSql, DeleteStatement(dialect, "t", c.locator, {}, parameters.Add())) << c.product;
        EXPECT_EQ(c.existsSql, ExistsStatement(dialect, "t", c.locator, {}, Parameters{{}, Numbered(c.product)}.Add()))
            << c.product;
    }
}

// A row with nothing to locate it by cannot be located, on every product alike.
TEST(RowTargeting, NothingToLocateByIsAConcurrencyViolationEverywhere) {
    for (const ProductCase& product : Products()) {
        Parameters parameters;
        auto failure = FailureOf([&] { DeleteStatement(product.dialect, "t", RowLocator{}, {}, parameters.Add()); });
        EXPECT_EQ(DB_E_CONCURRENCYVIOLATION, failure.hr) << product.name;
        EXPECT_EQ("Cannot locate the row in t: no key, row identity or value.", failure.description) << product.name;
        // An identity the product does not have locates nothing either.
        if (product.dialect.identity.empty()) {
            failure = FailureOf(
                [&] { DeleteStatement(product.dialect, "t", ByIdentity(Int(1)), {}, parameters.Add()); });
            EXPECT_EQ(DB_E_CONCURRENCYVIOLATION, failure.hr) << product.name;
        }
    }
}

TEST(RowTargeting, InsertsAndReadBackPerProduct) {
    struct Case {
        const char* product;
        std::vector<ColumnWrite> columns;
        const char* insertSql;
        const char* readBackSql;  // SelectInserted, or SelectByKey for id 7
    };
    const std::vector<ColumnWrite> name{{"name", adVarWChar, Text("n"), {}}};
    const Case cases[] = {
        {"sqlite", name, R"(INSERT INTO "t" ("name") VALUES (?))", R"(SELECT rowid, * FROM "t" WHERE rowid = last_insert_rowid())"},
        {"sqlite", {}, R"(INSERT INTO "t" DEFAULT VALUES)", R"(SELECT rowid, * FROM "t" WHERE rowid = last_insert_rowid())"},
        {"sqlite-without-rowid", name, R"(INSERT INTO "t" ("name") VALUES (?))", R"(SELECT * FROM "t" WHERE "id" = ?)"},
        {"postgresql", name, R"(INSERT INTO "t" ("name") VALUES ($1) RETURNING ctid, *)", nullptr},
        {"postgresql", {}, R"(INSERT INTO "t" DEFAULT VALUES RETURNING ctid, *)", nullptr},
        {"mariadb", {}, "INSERT INTO `t` () VALUES ()", "SELECT * FROM `t` WHERE `id` = ? LIMIT 1"},
        {"other", name, "INSERT INTO t (name) VALUES (?)", "SELECT * FROM t WHERE id = ?"},
    };
    for (const Case& c : cases) {
        const RowDialect& dialect = DialectNamed(c.product);
        Parameters parameters{{}, Numbered(c.product)};
        EXPECT_EQ(c.insertSql, InsertStatement(dialect, "t", c.columns, parameters.Add())) << c.product;
        EXPECT_EQ(c.columns.size(), parameters.values.size()) << c.product;
        if (!c.readBackSql) continue;
        const std::string readBack = dialect.readBack == RowDialect::ReadBack::ByIdentity
                                         ? SelectInsertedStatement(dialect, "t")
                                         : SelectByKeyStatement(dialect, "t", ById(7), parameters.Add());
        EXPECT_EQ(c.readBackSql, readBack) << c.product;
    }
}

// After an update the locator follows the row: written columns move their entries (as the
// product compares names), and the identity takes the new one where the row moved.
TEST(RowTargeting, LocatorFollowsTheUpdatedRow) {
    struct Case {
        const char* product;
        bool moved;  // a new identity comes back
        const char* id;
        const char* identity;
    };
    const Case cases[] = {
        {"sqlite", false, "8", "3"},
        {"postgresql", true, "7", "(0,9)"},  // "ID" and "id" are two columns there
        {"sqlite-odbc", true, "8", "(0,9)"},
    };
    for (const Case& c : cases) {
        RowLocator locator{{{"ID", Int(7)}, {kRowIdentityName, Text("3")}}};
        const Value moved = Text("(0,9)");
        FollowUpdate(DialectNamed(c.product), {{"id", adInteger, Int(8), Int(7)}}, c.moved ? &moved : nullptr, &locator);
        EXPECT_EQ(c.id, std::to_string(locator.columns[0].second.integer)) << c.product;
        EXPECT_EQ(c.identity, locator.columns[1].second.bytes) << c.product;
    }
}

TEST(Identifiers, QuoteDoublesTheQuoteOrLeavesNamesBare) {
    struct Case {
        const char* name;
        char quote;
        const char* quoted;
    };
    const Case cases[] = {
        {"plain", '"', R"("plain")"},
        {R"(say "hi")", '"', R"("say ""hi""")"},
        {"back`tick", '`', "`back``tick`"},
        {R"(mixed"`)", '`', "`mixed\"```"},
        {"as is", '\0', "as is"},
        {"", '"', R"("")"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.quoted, QuoteIdentifier(c.name, c.quote)) << c.name;
}

TEST(Products, DbmsNamesPickTheirProduct) {
    struct Case {
        const char* name;
        dbplatform::provider::Product product;
    };
    const Case cases[] = {
        {"PostgreSQL", dbplatform::provider::Product::PostgreSQL},
        {"sqlite", dbplatform::provider::Product::SQLite},
        {"MariaDB", dbplatform::provider::Product::MariaDB},
        {"MySQL", dbplatform::provider::Product::MariaDB},
        {"Microsoft SQL Server", dbplatform::provider::Product::Other},
        {"", dbplatform::provider::Product::Other},
    };
    for (const Case& c : cases) EXPECT_EQ(c.product, ProductOfDbmsName(c.name)) << c.name;
}

}  // namespace

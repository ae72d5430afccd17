// The CREATE TABLE texts and the column type words by product.
#include <quillet/Quillet.h>
#include <quillet/SqlDialect.h>

#include <cstdlib>

namespace quillet {

namespace {

// Walks several caller-owned lists in step; a null list counts as an empty one.
class ListWalker {
public:
    explicit ListWalker(const CStringList* list) : list_(list), position_(list ? list->GetHeadPosition() : nullptr) {}
    bool AtEnd() const { return position_ == nullptr; }
    const CString& Next() { return list_->GetNext(position_); }

private:
    const CStringList* list_;
    POSITION position_;
};

CString NullabilityText(const CString& nullability) {
    CString text = nullability;
    text.MakeUpper();
    text.Trim();
    return text;
}

// Removes the comma after the last column, then wraps the columns into the statement.
CString FinishCreateStatement(const CString& table, CString columns) {
    if (!columns.IsEmpty()) columns.Delete(columns.GetLength() - 1, 1);
    return CString("CREATE TABLE ") + "[" + table + "] " + " (" + columns + ")";
}

}  // namespace

// PostgreSQL has no IMAGE type: binary columns are BYTEA there.
CString ColumnTypeText(const CString& type, int kind, int varcharLength) {
    CString word = type;
    word.MakeUpper();
    word.Trim();
    if (word == "DATETIME") {
        if (kind == DB_ORACLE) return "DATE";
        if (kind == DB_POSTGRESQL) return "TIMESTAMP";
        return word;
    }
    if (word == "IMAGE") {
        if (kind == DB_ORACLE || kind == DB_MYSQL) return "BLOB";
        if (kind == DB_POSTGRESQL) return "BYTEA";
        return word;
    }
    if (word == "VARCHAR") {
        CString sized;
        sized.Format("%s(%d)", "VARCHAR", varcharLength);
        return sized;
    }
    return word;
}

const char* const kNoColumnRefusal = "CREATE TABLE needs at least one column with both a name and a type.";

bool RefusesAsColumnless(const CString& statement, int kind) {
    // Every product but PostgreSQL fails on "()" itself and names the fault in its own
    // words; PostgreSQL would create a table without columns.
    if (kind != DB_POSTGRESQL) return false;
    const int length = statement.GetLength();
    return length >= 2 && statement.Right(2) == "()";
}

bool TranslatesCreateStatement(int kind) { return kind != DB_ACCESS && kind != DB_EXCEL; }

bool ComposeCreateTable(const CString& table, const CStringList* names, const CStringList* types, int kind,
                        int varcharLength, CString* statement) {
    int nameCount = names ? names->GetCount() : 0;
    int typeCount = types ? types->GetCount() : 0;
    if (nameCount != typeCount && nameCount == 0) return false;
    CString columns;
    ListWalker name(names), type(types);
    while (!name.AtEnd() && !type.AtEnd()) {
        const CString& columnName = name.Next();
        const CString& columnType = type.Next();
        if (columnName.IsEmpty() || columnType.IsEmpty()) continue;
        columns.AppendFormat("[%s] %s ,", columnName.GetString(),
                             ColumnTypeText(columnType, kind, varcharLength).GetString());
    }
    *statement = FinishCreateStatement(table, columns);
    return true;
}

CString ComposeCreateTableEx(const CString& table, const CStringList* names, const CStringList* types,
                             const CStringList* sizes, const CStringList* extras, const CStringList* nullability,
                             int kind, int* varcharLength) {
    CString columns;
    ListWalker name(names), type(types), size(sizes), extra(extras), null(nullability);
    while (!name.AtEnd() && !type.AtEnd() && !size.AtEnd() && !extra.AtEnd() && !null.AtEnd()) {
        const CString& columnName = name.Next();
        const CString& columnType = type.Next();
        const CString& columnSize = size.Next();
        extra.Next();  // read and, as always, not used
        const CString& columnNull = null.Next();
        if (columnName.IsEmpty() || columnType.IsEmpty()) continue;
        if (columnType == "VARCHAR") {
            int length = std::atoi(columnSize.GetString());
            if (length > 0) *varcharLength = length;
        }
        columns.AppendFormat("[%s] %s %s,", columnName.GetString(),
                             ColumnTypeText(columnType, kind, *varcharLength).GetString(),
                             NullabilityText(columnNull).GetString());
    }
    return FinishCreateStatement(table, columns);
}

}  // namespace quillet

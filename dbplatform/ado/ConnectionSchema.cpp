#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/automation/VariantArgument.h>
#include <dbplatform/com/ComError.h>

#include "AdoErrors.h"
#include "ConnectionImpl.h"
#include "RecordsetImpl.h"
#include "ValueConversion.h"

namespace dbplatform::ado {
namespace {

using provider::ColumnInfo;
using provider::Value;
using provider::ValueKind;

// Rows built in memory (the tables listing), served through the provider interface so
// that the cursor engine treats them like any query's rows.
class MemoryResultSet : public provider::ResultSet {
public:
    MemoryResultSet(std::vector<ColumnInfo> columns, std::vector<std::vector<Value>> rows)
        : columns_(std::move(columns)), rows_(std::move(rows)) {}
    const std::vector<ColumnInfo>& Columns() const override { return columns_; }
    bool Fetch() override { return ++next_ <= rows_.size(); }
    provider::CellView Cell(std::size_t column) override { return rows_[next_ - 1][column].View(); }

private:
    std::vector<ColumnInfo> columns_;
    std::vector<std::vector<Value>> rows_;
    std::size_t next_ = 0;
};

Value TextOrNull(const std::string& text) {
    Value value;
    if (text.empty()) return value;
    value.kind = ValueKind::Text;
    value.bytes = text;
    return value;
}

// Criteria: one-dimensional array of VARIANTs in the order catalog, schema, table
// name, table type; VT_EMPTY (or a missing element) restricts nothing.
provider::TableFilter FilterOf(const _variant_t& restrictions) {
    provider::TableFilter filter;
    const VARIANT* v = &Dereferenced(restrictions);
    if (v->vt == VT_NULL || IsMissingArgument(*v)) return filter;
    if (v->vt != (VT_ARRAY | VT_VARIANT) || !v->parray) RaiseAdo(adErrInvalidArgumentHr);
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(v->parray, 1, &lower)) || FAILED(SafeArrayGetUBound(v->parray, 1, &upper)))
        RaiseAdo(adErrInvalidArgumentHr);
    std::string* slots[] = {&filter.catalog, &filter.schema, &filter.name, &filter.type};
    for (LONG i = lower; i <= upper && i - lower < 4; ++i) {
        VARIANT element;
        VariantInit(&element);
        LONG index = i;
        if (FAILED(SafeArrayGetElement(v->parray, &index, &element))) RaiseAdo(adErrInvalidArgumentHr);
        if (element.vt == VT_BSTR) *slots[i - lower] = Utf8OfBstr(element.bstrVal);
        else if (element.vt != VT_EMPTY && element.vt != VT_NULL) {
            VariantClear(&element);
            RaiseAdo(adErrInvalidArgumentHr);
        }
        VariantClear(&element);
    }
    return filter;
}

}  // namespace

// The tables listing as ADO gives it: a static, read-only recordset of the entries the
// restrictions admit, sorted by type, catalog, schema and name, as the provider lists them.
_RecordsetPtr ConnectionImpl::OpenSchema(SchemaEnum schema, const _variant_t& restrictions, const _variant_t&) {
    const auto& session = Session();
    if (schema != adSchemaTables) RaiseAdo(adErrFeatureNotAvailableHr);
    std::vector<provider::TableEntry> tables = session->ListTables(FilterOf(restrictions));
    std::vector<ColumnInfo> columns;
    for (const char* name : {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE", "DESCRIPTION"}) {
        ColumnInfo column;
        column.name = name;
        column.type = adVarWChar;
        column.definedSize = 128;
        columns.push_back(column);
    }
    std::vector<std::vector<Value>> rows;
    rows.reserve(tables.size());
    for (const auto& table : tables)
        rows.push_back({TextOrNull(table.catalog), TextOrNull(table.schema), TextOrNull(table.name),
                        TextOrNull(table.type), Value{}});
    RecordsetImpl* recordset = new RecordsetImpl();
    _RecordsetPtr pointer(recordset, false);
    recordset->OpenOver(this, std::make_unique<MemoryResultSet>(std::move(columns), std::move(rows)), "", false);
    return pointer;
}

}  // namespace dbplatform::ado

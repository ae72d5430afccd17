#include <morvane/StoreSupport.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>

namespace morvane {

// The template is one of the store's own texts with exactly one %s; the error text
// can be any length, so the buffer is sized from it rather than fixed.
std::string FormatMessageText(const char* messageTemplate, const char* errorText) {
    if (!errorText) errorText = "";
    int needed = std::snprintf(nullptr, 0, messageTemplate, errorText);
    if (needed < 0) return messageTemplate;
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(text.data(), text.size(), messageTemplate, errorText);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

// The query operations show their failures in the framework's box: OK button, no help
// context, caption and owner as the framework gives them for the host.
void ReportFailure(const char* messageTemplate, const _com_error& error) {
    ReportProblem(messageTemplate, error.ErrorMessage());
}

void ReportProblem(const char* messageTemplate, const std::string& problem) {
    std::string text = FormatMessageText(messageTemplate, problem.c_str());
    AfxMessageBox(text.c_str(), MB_OK, 0);
}

// Every query runs in a Recordset of its own, so a copy of the object that shares the
// connection never shares a cursor after its next query. The creation result is not
// tested: an empty handle makes the Open below fail with E_POINTER, which is reported.
void OpenQuery(_RecordsetPtr& recordset, const _ConnectionPtr& connection, const std::string& sql) {
    recordset.CreateInstance("ADODB.Recordset", nullptr, kCreateContext);
    if (!connection) _com_issue_error(E_POINTER);
    _variant_t activeConnection(static_cast<IDispatch*>(connection.GetInterfacePtr()), true);
    Check(recordset->Open(_variant_t(sql.c_str()), activeConnection, adOpenStatic, adLockOptimistic,
                                     adCmdText));
}

bool Found(const _RecordsetPtr& recordset) { return recordset->GetRecordCount() > 0; }

_variant_t Fetch(const _RecordsetPtr& recordset, const char* column) {
    return recordset->GetCollect(_variant_t(column));
}

void StoreText(const _variant_t& value, char (&slot)[kSlotSize]) {
    _bstr_t wide = static_cast<_bstr_t>(value);
    const char* text = static_cast<const char*>(wide);
    std::size_t length = text ? std::strlen(text) : 0;
    if (length >= kSlotSize) _com_issue_error(DISP_E_OVERFLOW);
    if (length) std::memcpy(slot, text, length);
    slot[length] = '\0';
}

bool ReadText(const _RecordsetPtr& recordset, const char* column, char (&slot)[kSlotSize]) {
    _variant_t value = Fetch(recordset, column);
    if (value.vt == VT_NULL) return false;
    StoreText(value, slot);
    return true;
}

std::int32_t ToInt32(const _variant_t& value) {
    _variant_t converted;
    Check(VariantChangeType(&converted, &value, 0, VT_I4));
    return converted.lVal;
}

double ToDouble(const _variant_t& value) {
    _variant_t converted;
    Check(VariantChangeType(&converted, &value, 0, VT_R8));
    return converted.dblVal;
}

static float ToSingle(const _variant_t& value) {
    _variant_t converted;
    Check(VariantChangeType(&converted, &value, 0, VT_R4));
    return converted.fltVal;
}

// A number is tested for NULL on the first fetch and converted from a second one.
template <class Convert>
static bool ReadNumber(const _RecordsetPtr& recordset, const char* column, Convert convert) {
    if (Fetch(recordset, column).vt == VT_NULL) return false;
    convert(Fetch(recordset, column));
    return true;
}

bool ReadInt32(const _RecordsetPtr& recordset, const char* column, std::int32_t& member) {
    return ReadNumber(recordset, column, [&](const _variant_t& v) { member = ToInt32(v); });
}

bool ReadSingle(const _RecordsetPtr& recordset, const char* column, float& member) {
    return ReadNumber(recordset, column, [&](const _variant_t& v) { member = ToSingle(v); });
}

bool ReadSingleAsDouble(const _RecordsetPtr& recordset, const char* column, double& member) {
    return ReadNumber(recordset, column, [&](const _variant_t& v) { member = static_cast<double>(ToSingle(v)); });
}

bool ReadDouble(const _RecordsetPtr& recordset, const char* column, double& member) {
    return ReadNumber(recordset, column, [&](const _variant_t& v) { member = ToDouble(v); });
}

// Time keys come from host memory and go into SQL text, so they are checked first:
// only a text that reads as a date and time reaches a statement, and it goes there in
// its canonical form, which no quote or comment can survive.
std::string CheckedTimeKey(const char* key, std::size_t capacity) {
    if (!key) _com_issue_error(E_POINTER);
    std::size_t length = 0;
    if (capacity == std::numeric_limits<std::size_t>::max()) {
        length = std::strlen(key);
    } else {
        const void* terminator = std::memchr(key, '\0', capacity);
        if (!terminator) _com_issue_error(DISP_E_TYPEMISMATCH);
        length = static_cast<std::size_t>(static_cast<const char*>(terminator) - key);
    }
    std::string canonical;
    HRESULT hr = dbplatform::CanonicalDateText(std::string_view(key, length), &canonical);
    Check(hr);
    return canonical;
}

// The product is asked of the open connection, not guessed from the kind name: an
// "MicroSoft Access" kind reaches whatever database its ODBC data source names. When
// the connection cannot tell (not open, no such property) the answer is empty, and
// the query itself reports what is wrong with the connection.
static std::string ProductName(const _ConnectionPtr& connection) {
    try {
        _variant_t name = connection->GetProperties()->GetItem(_variant_t("DBMS Name"))->GetValue();
        if (name.vt != VT_NULL && name.vt != VT_EMPTY) return CString(static_cast<_bstr_t>(name).str()).MakeUpper().str();
    } catch (const _com_error&) {
    }
    return std::string();
}

// Named by the product's own words, so that a driver's spelling ("PostgreSQL",
// "MariaDB", "MySQL", "SQLite", "ACCESS", "Oracle") all find their product.
Product ProductOf(const _ConnectionPtr& connection) {
    std::string product = ProductName(connection);
    auto names = [&](const char* part) { return product.find(part) != std::string::npos; };
    if (names("ACCESS") || names("JET")) return Product::Jet;
    if (names("ORACLE")) return Product::Oracle;
    if (names("SQLITE")) return Product::Sqlite;
    if (names("POSTGRES")) return Product::Postgres;
    if (names("MARIADB") || names("MYSQL")) return Product::Maria;
    return Product::Unknown;
}

// The #...# form is Jet's own; every other product refuses it. An unknown product gets
// the standard quoted form.
std::string TimeLiteral(const _ConnectionPtr& connection, const std::string& canonicalTime) {
    std::string product = ProductName(connection);
    if (product.find("ACCESS") != std::string::npos || product.find("JET") != std::string::npos)
        return "#" + canonicalTime + "#";
    if (product.find("ORACLE") != std::string::npos)
        return "to_date('" + canonicalTime + "','YYYY-MM-DD hh24:MI:SS')";
    return "'" + canonicalTime + "'";
}

// SQLite's cast returns a text column's bytes unchanged, PostgreSQL's gives the full
// stored precision of a timestamp; neither Jet nor Oracle has a cast that does either.
std::string StoredTextExpression(const _ConnectionPtr& connection, const char* column) {
    std::string product = ProductName(connection);
    if (product.find("SQLITE") != std::string::npos || product.find("POSTGRES") != std::string::npos)
        return std::string("CAST(") + column + " AS TEXT)";
    if (product.find("MARIADB") != std::string::npos || product.find("MYSQL") != std::string::npos)
        return std::string("CAST(") + column + " AS CHAR)";
    return column;
}

}  // namespace morvane

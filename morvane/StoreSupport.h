// The steps every operation of CMorvane is made of: protected stretches that show a
// failed database call and turn it into status -1, opening a query in a fresh
// recordset, reading a column into a member, and putting a checked time key into SQL.
// Internal to libMorvane; not installed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <dbplatform/dbplatform.h>

namespace morvane {

// Class context of every object the store creates: in-process server, in-process
// handler or local server.
inline constexpr DWORD kCreateContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// Capacity of a text slot: 19 characters and the terminating NUL.
inline constexpr std::size_t kSlotSize = 20;

// Raises _com_error(hr) when hr is a failure; success codes pass.
inline void Check(HRESULT hr) {
    if (FAILED(hr)) _com_issue_error(hr);
}

// The message template with its one %s replaced by `errorText` (no length limit).
std::string FormatMessageText(const char* messageTemplate, const char* errorText);

// Shows a failed query operation's error through the framework message box.
void ReportFailure(const char* messageTemplate, const _com_error& error);

// Shows `problem` (a text of the store's own, not a COM error) in the same box and
// form as ReportFailure.
void ReportProblem(const char* messageTemplate, const std::string& problem);

// Runs `body` as one protected stretch: a COM error ends it, is shown with the
// operation's message, and sets `status` to -1. Returns true when the body finished.
template <class Body>
bool RunStretch(const char* messageTemplate, int& status, Body&& body) {
    try {
        body();
        return true;
    } catch (const _com_error& error) {
        ReportFailure(messageTemplate, error);
        status = -1;
        return false;
    }
}

// Creates a new Recordset in `recordset` (releasing the one held before) and opens
// `sql` on `connection` with a static, optimistic cursor as a text command. Without a
// Connection object this raises E_POINTER before anything is sent.
void OpenQuery(_RecordsetPtr& recordset, const _ConnectionPtr& connection, const std::string& sql);

// True when the open recordset holds at least one row.
bool Found(const _RecordsetPtr& recordset);

// Fetches column `column` of the current row.
_variant_t Fetch(const _RecordsetPtr& recordset, const char* column);

// Copies the text form of `value` into `slot`. A text longer than 19 characters is
// refused with DISP_E_OVERFLOW and the slot keeps its content: a cut time would be a
// different, wrong key.
void StoreText(const _variant_t& value, char (&slot)[kSlotSize]);

// "Read C into M": a NULL leaves the member unchanged (returns false). Numbers are
// converted from a second fetch of the column, as the store always did.
bool ReadText(const _RecordsetPtr& recordset, const char* column, char (&slot)[kSlotSize]);
bool ReadInt32(const _RecordsetPtr& recordset, const char* column, std::int32_t& member);
bool ReadSingle(const _RecordsetPtr& recordset, const char* column, float& member);
bool ReadSingleAsDouble(const _RecordsetPtr& recordset, const char* column, double& member);
bool ReadDouble(const _RecordsetPtr& recordset, const char* column, double& member);

// Conversions of one fetched value; a NULL or a non-number raises DISP_E_TYPEMISMATCH.
std::int32_t ToInt32(const _variant_t& value);
double ToDouble(const _variant_t& value);

// The canonical text of a time key held in a slot of `capacity` characters. A key
// without a NUL inside the slot, or one that does not read as a date and time, raises
// DISP_E_TYPEMISMATCH; a null key raises E_POINTER. Nothing past the slot is read.
std::string CheckedTimeKey(const char* key, std::size_t capacity);

// The product behind an open connection, as its "DBMS Name" says. Unknown when the
// connection cannot tell (not open, no such property) or names a product not listed.
enum class Product { Unknown, Jet, Oracle, Sqlite, Postgres, Maria };
Product ProductOf(const _ConnectionPtr& connection);

// The time literal for `canonicalTime` in the dialect of the product behind the
// connection: #...# for Access and Jet, to_date(...) for Oracle, '...' for the rest.
std::string TimeLiteral(const _ConnectionPtr& connection, const std::string& canonicalTime);

// A select-list expression giving `column` as the product stores it, as text: a cast
// where the product has one that keeps the stored form (SQLite, PostgreSQL, MariaDB and
// MySQL), else the bare column (its value's own text form is then all there is).
std::string StoredTextExpression(const _ConnectionPtr& connection, const char* column);

// The 250 points of the standard profile that seeds the result table.
extern const float g_fStandardSeq[250];

}  // namespace morvane

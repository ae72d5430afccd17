#include <algorithm>
#include <cctype>
#include <vector>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/base/Diagnostics.h>
#include <dbplatform/com/ComError.h>

#include "AdoErrors.h"
#include "ConnectionImpl.h"
#include "RecordsetImpl.h"
#include "TableName.h"

namespace dbplatform::ado {

std::string Utf8Of(const _bstr_t& text) { return text.length() ? text.str() : std::string(); }

namespace {

// The Properties collection of a connection: a snapshot of the session's values.
class PropertyImpl : public AdoObject<Property> {
public:
    PropertyImpl(std::string name, std::string value) : name_(std::move(name)), value_(std::move(value)) {}
    _bstr_t GetName() override { return _bstr_t(name_); }
    _variant_t GetValue() override { return _variant_t(_bstr_t(value_)); }

private:
    std::string name_;
    std::string value_;
};

class PropertiesImpl : public AdoObject<Properties> {
public:
    explicit PropertiesImpl(std::vector<std::pair<std::string, std::string>> items) : items_(std::move(items)) {}
    long GetCount() override { return static_cast<long>(items_.size()); }
    PropertyPtr GetItem(const _variant_t& index) override {
        std::size_t found = items_.size();
        if (index.vt == VT_BSTR) {
            std::string wanted = Utf8Of(_bstr_t(index.bstrVal));
            for (std::size_t i = 0; i < items_.size(); ++i)
                if (EqualNoCase(wanted, items_[i].first))
                    found = i;
        } else {
            VARIANT number;
            VariantInit(&number);
            if (SUCCEEDED(VariantChangeType(&number, &index, 0, VT_I4)) && number.lVal >= 0 &&
                static_cast<std::size_t>(number.lVal) < items_.size())
                found = static_cast<std::size_t>(number.lVal);
        }
        if (found == items_.size()) RaiseAdo(adErrItemNotFoundHr);
        return PropertyPtr(new PropertyImpl(items_[found].first, items_[found].second), false);
    }

private:
    std::vector<std::pair<std::string, std::string>> items_;
};

}  // namespace

// Releasing an open connection ends its session; an open transaction is rolled back
// by the engine when its session ends.
ConnectionImpl::~ConnectionImpl() {
    cursors_.CloseAll();
    transaction_.reset();
    session_.reset();
}

_bstr_t ConnectionImpl::GetConnectionString() { return _bstr_t(connectionString_); }

void ConnectionImpl::PutConnectionString(const _bstr_t& text) {
    if (session_) RaiseAdo(adErrObjectOpenHr);
    connectionString_ = Utf8Of(text);
}

void ConnectionImpl::PutConnectionTimeout(long seconds) {
    if (session_) RaiseAdo(adErrObjectOpenHr);
    if (seconds < 0) RaiseAdo(adErrInvalidArgumentHr);
    timeout_ = seconds;
}

void ConnectionImpl::PutCommandTimeout(long seconds) {
    if (seconds < 0) RaiseAdo(adErrInvalidArgumentHr);
    commandTimeout_ = seconds;
    if (session_) session_->SetCommandTimeout(seconds);
}

void ConnectionImpl::PutCursorLocation(CursorLocationEnum location) {
    if (location != adUseNone && location != adUseServer && location != adUseClient) RaiseAdo(adErrInvalidArgumentHr);
    location_ = location;
}

_bstr_t ConnectionImpl::GetProvider() {
    if (!providerName_.empty()) return _bstr_t(providerName_);
    ConnectionString parsed;
    if (SUCCEEDED(ConnectionString::Parse(connectionString_, &parsed, nullptr))) {
        auto provider = parsed.Get("Provider");
        if (provider && !provider->empty()) return _bstr_t(*provider);
    }
    return _bstr_t("MSDASQL.1");
}

PropertiesPtr ConnectionImpl::GetProperties() {
    std::vector<std::pair<std::string, std::string>> items;
    if (session_) {
        items.emplace_back("DBMS Name", session_->DbmsName());
        items.emplace_back("DBMS Version", session_->DbmsVersion());
    }
    items.emplace_back("Provider Name", Utf8Of(GetProvider()));
    return PropertiesPtr(new PropertiesImpl(std::move(items)), false);
}

// Chooses the provider by the Provider key (none: the provider registered under ""),
// lets Open's non-empty UserID and Password replace the string's, and, unless
// Persist Security Info is true, forgets the password once the connection is open.
HRESULT ConnectionImpl::Open(const _bstr_t& connectionString, const _bstr_t& userId, const _bstr_t& password,
                             long /*options*/) {
    if (session_) RaiseAdo(adErrObjectOpenHr);
    std::string text = connectionString.length() ? Utf8Of(connectionString) : connectionString_;
    const std::string openPassword = Utf8Of(password);
    // The connection string is the "SQL" of an Open; its password is masked when reported,
    // and Open's own password argument is blanked from every text.
    DiagnosticScope scope("ADODB.Connection", "Open", text, openPassword);
    ConnectionString parsed;
    std::string why;
    if (FAILED(ConnectionString::Parse(text, &parsed, &why)))
        throw _com_error(E_INVALIDARG, "The connection string is not valid: " + why);
    std::string providerName = parsed.Get("Provider").value_or("");
    provider::ProviderFactory factory = provider::FindProvider(providerName);
    if (!factory) RaiseAdo(adErrProviderNotFoundHr);

    provider::OpenRequest request;
    request.properties = parsed;
    request.userId = userId.length() ? Utf8Of(userId) : parsed.Get("User ID").value_or("");
    request.password = !openPassword.empty() ? openPassword : parsed.Get("Password").value_or("");
    // Like the connection string, the credentials reach the providers as C strings.
    if (request.userId.find('\0') != std::string::npos || request.password.find('\0') != std::string::npos)
        throw _com_error(E_INVALIDARG, "The user name or password holds a NUL character.");
    request.timeoutSeconds = timeout_;
    std::unique_ptr<provider::Session> session = factory(request);
    if (!session) throw _com_error(E_FAIL, "The provider could not open the data source.");
    session->SetCommandTimeout(commandTimeout_);
    session_ = std::move(session);
    transaction_ = std::make_shared<TransactionState>(session_);
    providerName_ = providerName.empty() ? "MSDASQL.1" : providerName;

    if (!IsTrueText(parsed.Get("Persist Security Info").value_or(""))) {
        parsed.Remove("Password");
        parsed.Remove("PWD");
    }
    connectionString_ = parsed.ToString();
    return S_OK;
}

void ConnectionImpl::OpenWith(const std::string& connectionString) {
    connectionString_ = connectionString;
    Open(_bstr_t(), _bstr_t(), _bstr_t(), adConnectUnspecified);
}

// Closing inside a transaction is refused, as ADO does, rather than silently rolling
// back (or committing) the work; a transaction that died with the server connection
// does not hold the object.
HRESULT ConnectionImpl::Close() {
    if (!session_) RaiseAdo(adErrObjectClosedHr);
    transaction_->ForgetIfLost();
    if (transaction_->Open()) RaiseAdo(adErrInTransactionHr);
    cursors_.CloseAll();
    transaction_.reset();
    session_.reset();
    return S_OK;
}

const std::shared_ptr<provider::Session>& ConnectionImpl::Session() {
    if (!session_) RaiseAdo(adErrObjectClosedHr);
    return session_;
}

TransactionState& ConnectionImpl::Transaction() {
    if (!transaction_) RaiseAdo(adErrObjectClosedHr);
    return *transaction_;
}

std::shared_ptr<CursorSlot> ConnectionImpl::OpenCursor(std::unique_ptr<provider::ResultSet> rows,
                                                       Cursor::Options options) {
    const auto& session = Session();
    options.transaction = transaction_;
    return cursors_.Add(std::make_unique<Cursor>(session, std::move(rows), std::move(options)));
}

_RecordsetPtr ConnectionImpl::Execute(const _bstr_t& commandText, VARIANT* recordsAffected, long options) {
    std::string sql = Utf8Of(commandText);
    if (!sql.empty()) {
        RequireNoNul(sql);
        // A table command names one table; its source never becomes statement text of its own.
        if (options != adCmdUnspecified && (options & (adCmdTable | adCmdTableDirect))) {
            RequireTableName(sql);
            sql = "select * from " + sql;
        }
    }
    // Declared once `sql` is final: the scope keeps a view of it.
    DiagnosticScope scope("ADODB.Connection", "Execute", sql);
    const auto& session = Session();
    if (sql.empty()) RaiseAdo(adErrInvalidArgumentHr);
    provider::CommandResult result = session->Execute(sql, provider::ExecuteOptions{});
    if (recordsAffected) {
        VariantClear(recordsAffected);
        recordsAffected->vt = VT_I4;
        recordsAffected->lVal = static_cast<LONG>(result.recordsAffected);
    }
    if (options != adCmdUnspecified && (options & adExecuteNoRecords)) return _RecordsetPtr();
    RecordsetImpl* recordset = new RecordsetImpl();
    _RecordsetPtr pointer(recordset, false);
    if (result.rows) recordset->OpenOver(this, std::move(result.rows), sql, true);
    return pointer;
}

// Answers the new nesting level: always 1, as the engines here do not nest.
long ConnectionImpl::BeginTrans() {
    DiagnosticScope scope("ADODB.Connection", "BeginTrans", {});
    Transaction().Begin();
    return 1;
}

HRESULT ConnectionImpl::CommitTrans() {
    DiagnosticScope scope("ADODB.Connection", "CommitTrans", {});
    Transaction().Commit();
    return S_OK;
}

HRESULT ConnectionImpl::RollbackTrans() {
    DiagnosticScope scope("ADODB.Connection", "RollbackTrans", {});
    Transaction().Rollback();
    return S_OK;
}

}  // namespace dbplatform::ado

// The ADO Connection object: one provider session, its transaction state, and the
// recordsets opened on it (closed with it).
//
// Threads: a connection and everything opened on it (recordsets, their fields, the
// transaction) are one unit, used by one thread at a time; references to them may be
// released on any thread.
#pragma once

#include <memory>
#include <string>

#include <dbplatform/ado/Ado.h>
#include <dbplatform/ado/Provider.h>

#include "AdoObject.h"
#include "Cursor.h"
#include "OpenCursors.h"
#include "TransactionState.h"

namespace dbplatform::ado {

class ConnectionImpl : public AdoObject<_Connection> {
public:
    ConnectionImpl() = default;

    _bstr_t GetConnectionString() override;
    void PutConnectionString(const _bstr_t& text) override;
    long GetConnectionTimeout() override { return timeout_; }
    void PutConnectionTimeout(long seconds) override;
    long GetCommandTimeout() override { return commandTimeout_; }
    void PutCommandTimeout(long seconds) override;
    CursorLocationEnum GetCursorLocation() override { return location_; }
    void PutCursorLocation(CursorLocationEnum location) override;
    long GetState() override { return session_ ? adStateOpen : adStateClosed; }
    _bstr_t GetProvider() override;
    PropertiesPtr GetProperties() override;

    HRESULT Open(const _bstr_t& connectionString, const _bstr_t& userId, const _bstr_t& password,
                 long options) override;
    HRESULT Close() override;
    _RecordsetPtr Execute(const _bstr_t& commandText, VARIANT* recordsAffected, long options) override;
    _RecordsetPtr OpenSchema(SchemaEnum schema, const _variant_t& restrictions, const _variant_t& schemaId) override;
    long BeginTrans() override;
    HRESULT CommitTrans() override;
    HRESULT RollbackTrans() override;

    // For the recordsets of this connection.
    bool IsOpen() const { return session_ != nullptr; }
    const std::shared_ptr<provider::Session>& Session();  // 3704 when closed
    // A cursor over `rows` on this connection's session, answering to its transaction,
    // in a slot that Close empties. 3704 when closed.
    std::shared_ptr<CursorSlot> OpenCursor(std::unique_ptr<provider::ResultSet> rows, Cursor::Options options);
    // Opens with a connection string given to Recordset.Open in place of a connection.
    void OpenWith(const std::string& connectionString);

private:
    ~ConnectionImpl() override;
    TransactionState& Transaction();  // 3704 when closed

    std::string connectionString_;
    std::string providerName_;
    long timeout_ = 15;
    long commandTimeout_ = 30;
    CursorLocationEnum location_ = adUseServer;
    std::shared_ptr<provider::Session> session_;
    std::shared_ptr<TransactionState> transaction_;  // while open; shared with its cursors
    OpenCursors cursors_;
};

// Text helpers shared by the object model.
std::string Utf8Of(const _bstr_t& text);

}  // namespace dbplatform::ado

// Opening a recordset as most tests do: a text command on an open connection, a static
// cursor with optimistic locking, so that rows can be written back.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <dbplatform/dbplatform.h>

namespace testado {

inline _RecordsetPtr OpenEditable(const _ConnectionPtr& connection, const std::string& sql) {
    _RecordsetPtr recordset;
    EXPECT_EQ(S_OK, recordset.CreateInstance("ADODB.Recordset"));
    recordset->Open(_variant_t(sql.c_str()), _variant_t(static_cast<IDispatch*>(connection)), adOpenStatic,
                    adLockOptimistic, adCmdText);
    return recordset;
}

}  // namespace testado

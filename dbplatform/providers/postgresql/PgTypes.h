// PostgreSQL type OIDs (the server's catalog headers are not installed, so they are
// written out here) and how each maps to an ADO type and a cell kind.
#pragma once

#include <libpq-fe.h>

#include <dbplatform/ado/Provider.h>
#include <dbplatform/providers/common/ColumnType.h>

namespace dbplatform::provider::postgresql {

enum : Oid {
    kBoolOid = 16,
    kByteaOid = 17,
    kInt8Oid = 20,
    kInt2Oid = 21,
    kInt4Oid = 23,
    kTextOid = 25,
    kOidOid = 26,
    kFloat4Oid = 700,
    kFloat8Oid = 701,
    kBpcharOid = 1042,
    kVarcharOid = 1043,
    kDateOid = 1082,
    kTimestampOid = 1114,
    kTimestampTzOid = 1184,
    kNumericOid = 1700,
};

// The ADO type of a column of `oid` with type modifier `modifier` (PQfmod). Types this
// layer does not know read as text.
ColumnType TypeForOid(Oid oid, int modifier);

}  // namespace dbplatform::provider::postgresql

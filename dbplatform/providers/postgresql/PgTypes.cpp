#include <dbplatform/providers/postgresql/PgTypes.h>

namespace dbplatform::provider::postgresql {

ColumnType TypeForOid(Oid oid, int modifier) {
    switch (oid) {
        case kBoolOid: return {adBoolean, ValueKind::Boolean, 2};
        case kByteaOid: return {adLongVarBinary, ValueKind::Bytes, 2147483647};
        case kInt8Oid: return {adBigInt, ValueKind::Integer, 8};
        case kInt2Oid: return {adSmallInt, ValueKind::Integer, 2};
        case kInt4Oid: return {adInteger, ValueKind::Integer, 4};
        case kOidOid: return {adBigInt, ValueKind::Integer, 8};
        case kFloat4Oid: return {adSingle, ValueKind::Double, 4};
        case kFloat8Oid: return {adDouble, ValueKind::Double, 8};
        case kNumericOid: return {adNumeric, ValueKind::Double, 19};
        case kDateOid:
        case kTimestampOid:
        case kTimestampTzOid: return {adDBTimeStamp, ValueKind::Date, 16};
        case kBpcharOid:
        case kVarcharOid:
            // The modifier of a sized character type is its length plus 4; -1 when unsized.
            return {adVarWChar, ValueKind::Text, modifier >= 4 ? modifier - 4 : 0};
        default: return {adVarWChar, ValueKind::Text, 0};
    }
}

}  // namespace dbplatform::provider::postgresql

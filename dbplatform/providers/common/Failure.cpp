#include <dbplatform/providers/common/Failure.h>

#include <cassert>

#include <dbplatform/ado/CommandTimeout.h>
#include <dbplatform/com/ComError.h>

namespace dbplatform::provider {

HRESULT HResultOf(FailureKind kind) {
    switch (kind) {
        case FailureKind::None: return S_OK;
        case FailureKind::Command: return DB_E_ERRORSINCOMMAND;
        case FailureKind::UnknownTable: return DB_E_NOTABLE;
        case FailureKind::Constraint: return DB_E_INTEGRITYVIOLATION;
        case FailureKind::Conversion: return DB_E_CANTCONVERTVALUE;
        case FailureKind::NotADate: return DISP_E_TYPEMISMATCH;
        case FailureKind::Unavailable: return E_FAIL;
        case FailureKind::RowNotLocated: return DB_E_CONCURRENCYVIOLATION;
        case FailureKind::Timeout: return kQueryTimeoutHr;
    }
    return E_FAIL;
}

void ThrowFailure(FailureKind kind, const std::string& description) {
    assert(kind != FailureKind::None);
    throw _com_error(HResultOf(kind), description);
}

}  // namespace dbplatform::provider

#include "AdoErrors.h"

#include <dbplatform/com/ComError.h>

namespace dbplatform::ado {

const char* AdoErrorText(HRESULT hr) {
    switch (hr) {
        case adErrInvalidArgumentHr:
            return "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.";
        case adErrNoCurrentRecordHr:
            return "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires "
                   "a current record.";
        case adErrIllegalOperationHr: return "Operation is not allowed in this context.";
        case adErrInTransactionHr: return "Connection object cannot be explicitly closed while in a transaction.";
        case adErrFeatureNotAvailableHr: return "Object or provider is not able to perform requested operation.";
        case adErrItemNotFoundHr:
            return "Item cannot be found in the collection corresponding to the requested name or ordinal.";
        case adErrObjectNotSetHr: return "Object is no longer valid.";
        case adErrDataConversionHr: return "Application uses a value of the wrong type for the current operation.";
        case adErrObjectClosedHr: return "Operation is not allowed when the object is closed.";
        case adErrObjectOpenHr: return "Operation is not allowed when the object is open.";
        case adErrProviderNotFoundHr: return "Provider cannot be found. It may not be properly installed.";
        case adErrInvalidConnectionHr:
            return "The connection cannot be used to perform this operation. It is either closed or invalid in this "
                   "context.";
        case DB_E_CONCURRENCYVIOLATION:
            return "Row cannot be located for updating. Some values may have been changed since it was last read.";
        case DB_E_CANTFETCHBACKWARDS: return "The rowset does not support fetching backward.";
        case DB_E_DELETEDROW: return "A given HROW referred to a hard- or soft-deleted row.";
        case DB_E_ERRORSOCCURRED: return "Multiple-step operation generated errors. Check each status value.";
        case DISP_E_TYPEMISMATCH: return "Type mismatch.";
        default: return "";
    }
}

void RaiseAdo(HRESULT hr) { throw _com_error(hr, AdoErrorText(hr)); }

void RaiseNotUpdatable() {
    throw _com_error(adErrFeatureNotAvailableHr,
                     "Current Recordset does not support updating. This may be a limitation of the provider or of "
                     "the selected locktype.");
}

}  // namespace dbplatform::ado

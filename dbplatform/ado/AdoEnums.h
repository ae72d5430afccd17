// ADO's enumerations, with ADO's values.
#pragma once

#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

enum CursorTypeEnum { adOpenUnspecified = -1, adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum LockTypeEnum {
    adLockUnspecified = -1, adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3, adLockBatchOptimistic = 4
};
enum CursorLocationEnum { adUseNone = 1, adUseServer = 2, adUseClient = 3 };
enum ObjectStateEnum { adStateClosed = 0, adStateOpen = 1, adStateConnecting = 2, adStateExecuting = 4, adStateFetching = 8 };
enum CommandTypeEnum {
    adCmdUnspecified = -1, adCmdText = 1, adCmdTable = 2, adCmdStoredProc = 4, adCmdUnknown = 8,
    adCmdFile = 0x100, adCmdTableDirect = 0x200
};
enum ExecuteOptionEnum {
    adOptionUnspecified = -1, adAsyncExecute = 0x10, adAsyncFetch = 0x20, adAsyncFetchNonBlocking = 0x40,
    adExecuteNoRecords = 0x80, adExecuteStream = 0x400, adExecuteRecord = 0x800
};
enum ConnectOptionEnum { adConnectUnspecified = -1, adAsyncConnect = 0x10 };
enum BookmarkEnum { adBookmarkCurrent = 0, adBookmarkFirst = 1, adBookmarkLast = 2 };
enum PositionEnum { adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3 };
enum AffectEnum { adAffectCurrent = 1, adAffectGroup = 2, adAffectAll = 3, adAffectAllChapters = 4 };
enum EditModeEnum { adEditNone = 0, adEditInProgress = 1, adEditAdd = 2, adEditDelete = 4 };
enum SchemaEnum { adSchemaColumns = 4, adSchemaTables = 20, adSchemaProviderTypes = 22 };
enum CursorOptionEnum {
    adHoldRecords = 0x100, adMovePrevious = 0x200, adAddNew = 0x1000400, adDelete = 0x1000800,
    adUpdate = 0x1008000, adBookmark = 0x2000, adApproxPosition = 0x4000, adUpdateBatch = 0x10000,
    adResync = 0x20000, adNotify = 0x40000, adFind = 0x80000, adSeek = 0x400000, adIndex = 0x800000
};
enum DataTypeEnum {
    adEmpty = 0, adTinyInt = 16, adSmallInt = 2, adInteger = 3, adBigInt = 20, adUnsignedTinyInt = 17,
    adUnsignedSmallInt = 18, adUnsignedInt = 19, adUnsignedBigInt = 21, adSingle = 4, adDouble = 5,
    adCurrency = 6, adDecimal = 14, adNumeric = 131, adBoolean = 11, adError = 10, adUserDefined = 132,
    adVariant = 12, adIDispatch = 9, adIUnknown = 13, adGUID = 72, adDate = 7, adDBDate = 133,
    adDBTime = 134, adDBTimeStamp = 135, adBSTR = 8, adChar = 129, adVarChar = 200,
    adLongVarChar = 201, adWChar = 130, adVarWChar = 202, adLongVarWChar = 203, adBinary = 128,
    adVarBinary = 204, adLongVarBinary = 205, adChapter = 136, adFileTime = 64, adPropVariant = 138,
    adVarNumeric = 139
};
enum FieldAttributeEnum {
    adFldUnspecified = -1, adFldMayDefer = 0x2, adFldUpdatable = 0x4, adFldUnknownUpdatable = 0x8,
    adFldFixed = 0x10, adFldIsNullable = 0x20, adFldMayBeNull = 0x40, adFldLong = 0x80,
    adFldRowID = 0x100, adFldRowVersion = 0x200, adFldCacheDeferred = 0x1000, adFldKeyColumn = 0x8000
};
enum ErrorValueEnum {
    adErrInvalidArgument = 3001, adErrNoCurrentRecord = 3021, adErrIllegalOperation = 3219,
    adErrInTransaction = 3246, adErrFeatureNotAvailable = 3251, adErrItemNotFound = 3265,
    adErrObjectNotSet = 3420, adErrDataConversion = 3421, adErrObjectClosed = 3704, adErrObjectOpen = 3705,
    adErrProviderNotFound = 3706, adErrInvalidConnection = 3709
};

DBPLATFORM_PUBLIC_END

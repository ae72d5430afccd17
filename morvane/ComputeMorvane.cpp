// The operations of CMorvane. Each runs its database work in protected stretches: a
// failed call ends the stretch, is shown in a message box with the operation's own
// text, and turns the status into -1; the operation then goes on with its next
// stretch. Values stored before a failure stay where they are.
#include <morvane/Morvane.h>

#include <cassert>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <morvane/ChargeKey.h>
#include <morvane/FieldOrdinals.h>
#include <morvane/ResultKeyLock.h>
#include <morvane/StoreSupport.h>


using morvane::Check;
using morvane::CheckedTimeKey;
using morvane::Fetch;
using morvane::Found;
using morvane::OpenQuery;
using morvane::ReadDouble;
using morvane::ReadInt32;
using morvane::ReadSingle;
using morvane::ReadSingleAsDouble;
using morvane::ReadText;
using morvane::RunStretch;
using morvane::TimeLiteral;
using morvane::ToDouble;
using morvane::ToInt32;

namespace {

constexpr char kAccessKind[] = "MicroSoft Access";
constexpr char kOracleKind[] = "Oracle9i";
constexpr char kAccessConnection[] = "Provider=MSDASQL.1;Persist Security Info=False;Data Source=%s;";
constexpr char kOracleConnection[] = "Provider=OraOLEDB.Oracle.1;Persist Security Info=False;Data Source=%s;";
constexpr long kAccessTimeoutSeconds = 3;

constexpr char kConnectMessage[] = "连接数据库错误信息:%s";
constexpr char kConnectCaption[] = "提示信息";
constexpr char kDumpSelectNewBDMessage[] = "错误编号DumpSelectNewBD，错误信息:%s";
constexpr char kDumpSelectBDMessage[] = "错误编号DumpSelectBD，错误信息:%s";
constexpr char kDumpGetRecentMessage[] = "错误编号DumpGetRecent，错误信息:%s";
constexpr char kDumpGetExceptionMessage[] = "错误编号DumpGetException，错误信息:%s";
constexpr char kAngleSelectNewMessage[] = "错误编号AngleSelectNew，错误信息:%s";
constexpr char kAngleUpdateMessage[] = "错误编号AngleUpdate，错误信息:%s";
constexpr char kTraceSelectMessage[] = "错误编号TraceSelect，错误信息:%s";
constexpr char kResultGetBurdenDisMessage[] = "错误编号ResultGetBurdenDis，错误信息:%s";
constexpr char kResultInsertBDMessage[] = "错误编号ResultInsertBD，错误信息:%s";
constexpr char kResultUpdateBDMessage[] = "错误编号ResultUpdateBD，错误信息:%s";
constexpr char kResultStandBDMessage[] = "错误编号ResultStandBD，错误信息:%s";
constexpr char kResultDeleteBDMessage[] = "错误编号ResultDeleteBD，错误信息:%s";

// The statements, character for character as the plant's database has always seen them.
constexpr char kNewestChargeSql[] =
    "SELECT RECEIVETIME,CHARGE,ANGLE1_WEIGHT,ANGLE2_WEIGHT,ANGLE3_WEIGHT,ANGLE4_WEIGHT, ANGLE5_WEIGHT,ANGLE6_WEIGHT,"
    "ANGLE7_WEIGHT,ANGLE8_WEIGHT,ANGLE9_WEIGHT,ANGLE10_WEIGHT,ANGLE11_WEIGHT,OC_FLAG FROM matrix_bl_roof_weight_new   "
    "WHERE RECEIVETIME = (SELECT MAX(RECEIVETIME) FROM matrix_bl_roof_weight_new   WHERE RECEIVETIME > (SELECT "
    "MAX(TIMESTAMP) FROM  MODEL_RESULTBURDENDIS))";
constexpr char kNewestRulerSql[] =
    "select  RECEIVETIME,RULER_HEIGHT1,RULER_HEIGHT2,RULER_HEIGHT3 from matrix_bl_roof_ruler where RECEIVETIME = "
    "(select max(RECEIVETIME) from matrix_bl_roof_ruler)";
constexpr char kChargeAtSql[] =
    "SELECT RECEIVETIME,CHARGE,ANGLE1_WEIGHT,ANGLE2_WEIGHT,ANGLE3_WEIGHT,ANGLE4_WEIGHT,ANGLE5_WEIGHT,ANGLE6_WEIGHT,"
    "ANGLE7_WEIGHT,ANGLE8_WEIGHT,ANGLE9_WEIGHT,ANGLE10_WEIGHT,ANGLE11_WEIGHT FROM matrix_bl_roof_weight_new WHERE "
    "RECEIVETIME = ";
constexpr char kProcessedCountSql[] =
    "SELECT RECEIVETIME FROM matrix_bl_roof_weight_new,MODEL_RESULTBURDENDIS WHERE "
    "matrix_bl_roof_weight_new.RECEIVETIME = MODEL_RESULTBURDENDIS.TIMESTAMP ORDER BY "
    "matrix_bl_roof_weight_new.RECEIVETIME";
constexpr char kProcessedHistorySql[] =
    "SELECT matrix_bl_roof_weight_new.RECEIVETIME,matrix_bl_roof_weight_new.CHARGE,ANGLE1_WEIGHT,ANGLE2_WEIGHT,"
    "ANGLE3_WEIGHT,ANGLE4_WEIGHT, ANGLE5_WEIGHT,ANGLE6_WEIGHT,ANGLE7_WEIGHT,ANGLE8_WEIGHT,ANGLE9_WEIGHT,"
    "ANGLE10_WEIGHT,ANGLE11_WEIGHT FROM matrix_bl_roof_weight_new,MODEL_RESULTBURDENDIS WHERE "
    "MODEL_RESULTBURDENDIS.TIMESTAMP = matrix_bl_roof_weight_new.RECEIVETIME order by "
    "matrix_bl_roof_weight_new.RECEIVETIME";
constexpr char kRulerBeforeSql[] =
    "select RECEIVETIME, RULER_HEIGHT1,RULER_HEIGHT2 from matrix_bl_roof_ruler where RECEIVETIME = (select "
    "max(RECEIVETIME) from matrix_bl_roof_ruler where RECEIVETIME < ";
constexpr char kAngleBeforeSql[] =
    "select RECEIVETIME,ANGLE1_ANGLE,ANGLE2_ANGLE,ANGLE3_ANGLE,ANGLE4_ANGLE,ANGLE5_ANGLE,ANGLE6_ANGLE,ANGLE7_ANGLE,"
    "ANGLE8_ANGLE,ANGLE9_ANGLE,ANGLE10_ANGLE,ANGLE11_ANGLE  from matrix_bl_roof_angle  where "
    "matrix_bl_roof_angle.RECEIVETIME =  (select max(matrix_bl_roof_angle.RECEIVETIME) from matrix_bl_roof_angle  "
    "              where matrix_bl_roof_angle.RECEIVETIME < ";
constexpr char kFurnaceSql[] = "SELECT * from MODEL_RESULTFURNACE";
constexpr char kFurnaceRowSql[] = " select * from MODEL_RESULTFURNACE where BURDENID = %d";
constexpr char kResultKeySql[] = "SELECT * FROM MODEL_RESULTBURDENDIS WHERE TIMESTAMP = ";
constexpr char kResultKeyForUpdateSql[] = " select * from MODEL_RESULTBURDENDIS where TIMESTAMP = ";
constexpr char kResultTableSql[] = " select * from MODEL_RESULTBURDENDIS";
constexpr char kResultClearSql[] = " select * from MODEL_RESULTBURDENDIS ";
constexpr char kEarliestChargeSql[] = "select min(RECEIVETIME) as Receive_time from matrix_bl_roof_weight_new";
// The charge number comes from the charging record: a bare CHARGE would name a column
// that both joined tables have, and every database refuses that as ambiguous.
constexpr char kResultsHead[] = " SELECT TIMESTAMP,MATERIAL,LEFTPOINT,matrix_bl_roof_weight_new.CHARGE,";
constexpr char kResultsTail[] =
    "   FROM MODEL_RESULTBURDENDIS, matrix_bl_roof_weight_new WHERE matrix_bl_roof_weight_new.RECEIVETIME = "
    "MODEL_RESULTBURDENDIS.TIMESTAMP ORDER BY TIMESTAMP asc";

constexpr int kAnglePositions = 11;
constexpr int kHistoryRows = 30;
constexpr int kResultRows = 30;
constexpr int kProfilePoints = 250;
constexpr int kFurnaceRows = 11;
constexpr int kFurnacePoints = 71;
constexpr std::int32_t kResultColumns = 253;

// Column names of the numbered groups, made once.
struct ColumnNames {
    std::vector<std::string> weight;   // ANGLEk_WEIGHT at k-1
    std::vector<std::string> angle;    // ANGLEk_ANGLE at k-1
    std::vector<std::string> profile;  // SEQ_n at n-1
    std::vector<std::string> furnace;  // SEQ_k at k
    ColumnNames() {
        for (int k = 1; k <= kAnglePositions; ++k) {
            weight.push_back("ANGLE" + std::to_string(k) + "_WEIGHT");
            angle.push_back("ANGLE" + std::to_string(k) + "_ANGLE");
        }
        for (int n = 1; n <= kProfilePoints; ++n) profile.push_back("SEQ_" + std::to_string(n));
        for (int k = 0; k < kFurnacePoints; ++k) furnace.push_back("SEQ_" + std::to_string(k));
    }
};

const ColumnNames& Columns() {
    static const ColumnNames names;
    return names;
}

const std::string& ResultsSql() {
    static const std::string sql = [] {
        std::string text = kResultsHead;
        for (int n = 0; n < kProfilePoints; ++n) {
            if (n) text += ',';
            text += Columns().profile[n];
        }
        return text + kResultsTail;
    }();
    return sql;
}

bool AtEnd(const _RecordsetPtr& recordset) { return recordset->GetadoEOF() != VARIANT_FALSE; }

void Close(const _RecordsetPtr& recordset) { Check(recordset->Close()); }

// Opens `sql` and runs `onRow` on its first row; a query without rows sets `status` to
// 0. The recordset is closed afterwards unless a failure has already ended the stretch.
template <class OnRow>
void OnFirstRow(_RecordsetPtr& recordset, const _ConnectionPtr& connection, const std::string& sql, int& status,
                OnRow&& onRow) {
    OpenQuery(recordset, connection, sql);
    if (Found(recordset)) {
        onRow();
    } else {
        status = 0;
    }
    Close(recordset);
}

// The eleven chute weights of the current row.
void ReadWeights(const _RecordsetPtr& recordset, float (&weights)[kAnglePositions]) {
    for (int k = 0; k < kAnglePositions; ++k) ReadSingle(recordset, Columns().weight[k].c_str(), weights[k]);
}

// Writes the profile into SEQ_1..SEQ_250 of the current row, each value as the variant
// its own element type makes, each field found by its name.
template <class Value>
void PutProfile(const _RecordsetPtr& recordset, const Value (&values)[kProfilePoints]) {
    const std::vector<long> ordinals = morvane::FieldOrdinals(recordset, Columns().profile);
    for (int n = 0; n < kProfilePoints; ++n) {
        const _variant_t field = ordinals[n] >= 0 ? _variant_t(ordinals[n]) : _variant_t(Columns().profile[n].c_str());
        recordset->PutCollect(field, _variant_t(values[n]));
    }
}

// The key of the result and charge lookups, checked, in the connection's literal form.
std::string KeyLiteral(const _ConnectionPtr& connection, const char* key) {
    return TimeLiteral(connection, CheckedTimeKey(key, morvane::kSlotSize));
}

// Opens the key lookup in `recordset` and tells whether it found a row. The recordset
// stays open either way: when it found none, it is where the new result row is added,
// its columns (the whole table's) already described, so that the table need not be
// opened a second time for the insert.
bool LookUpResultKey(_RecordsetPtr& recordset, const _ConnectionPtr& connection, const std::string& canonicalKey) {
    OpenQuery(recordset, connection, kResultKeySql + TimeLiteral(connection, canonicalKey));
    return Found(recordset);
}

// The key lookup that leaves nothing open when it found no row.
bool ResultKeyExists(_RecordsetPtr& recordset, const _ConnectionPtr& connection, const std::string& canonicalKey) {
    if (LookUpResultKey(recordset, connection, canonicalKey)) return true;
    Close(recordset);
    return false;
}

// After the store refused the insert for an integrity rule: a row with the key that
// now exists means another host stored it first, and the refusal is the "row exists"
// answer. Any other rule (a NOT NULL column the insert leaves empty, a check) leaves
// no such row, and the refusal stays the failure it is. The refused row is dropped
// from the recordset so that nothing of it can reach the store later.
bool RefusedAsDuplicate(_RecordsetPtr& recordset, const _ConnectionPtr& connection, const std::string& canonicalKey) {
    try {
        if (recordset) recordset->CancelUpdate();
    } catch (const _com_error&) {
    }
    try {
        return ResultKeyExists(recordset, connection, canonicalKey);
    } catch (const _com_error&) {
        return false;  // the lookup's own failure does not hide the insert's
    }
}

}  // namespace

// The buffers start zeroed by their member initialisers: hosts never see stale memory.
CMorvane::CMorvane() = default;

// Member by member in declaration order: the copy takes its own reference on the
// connection, the recordset and each text.
CMorvane::CMorvane(const CMorvane& other) = default;

// Members end in reverse declaration order: the texts from password to kind, then the
// recordset, then the connection, which closes when its last holder lets go.
CMorvane::~CMorvane() = default;

// Handles and texts take the new reference before dropping the old one, so assigning
// an object to itself keeps everything alive.
CMorvane& CMorvane::operator=(const CMorvane& other) = default;

// The template with its %s replaced by the data source as one connection-string value,
// quoted only when it holds what would end or change it (a ';', a leading quote or '=',
// blanks at its ends), so that no data source can add or replace a key such as Provider.
// Ordinary names give the same string as plain formatting. The text is spliced whole,
// so a NUL in it reaches Open, which refuses it, instead of cutting the string.
static std::string ConnectionStringFor(const char* connectionTemplate, const std::string& dataSource) {
    std::string text = connectionTemplate;
    std::size_t at = text.find("%s");
    assert(at != std::string::npos);
    text.replace(at, 2, dbplatform::ConnectionStringValue(dataSource));
    return text;
}

// Connect recognises the kind by its exact name and nothing else. Failures, including
// a Connection object that cannot be created, are shown in the "提示信息" box and
// give 0, so a host never goes on believing it is connected.
int CMorvane::Connect() {
    const bool access = m_bstrDbType == _bstr_t(kAccessKind);
    if (!access && !(m_bstrDbType == _bstr_t(kOracleKind))) return 0;
    try {
        Check(m_pConnection.CreateInstance("ADODB.Connection", nullptr, morvane::kCreateContext));
        std::string connectionString =
            ConnectionStringFor(access ? kAccessConnection : kOracleConnection, m_bstrDataSource.str());
        if (access) m_pConnection->PutConnectionTimeout(kAccessTimeoutSeconds);
        Check(m_pConnection->Open(_bstr_t(connectionString), m_bstrUserID, m_bstrPassword, 0));
    } catch (const _com_error& error) {
        std::string text = morvane::FormatMessageText(kConnectMessage, error.ErrorMessage());
        MessageBoxA(nullptr, text.c_str(), kConnectCaption, MB_OK);
        return 0;
    }
    return 1;
}

// How often DumpSelectNewBD reads the newest charge again when newer charges keep
// arriving between reading a charge and checking its key.
constexpr int kNewestChargeReads = 3;

// The newest charge after the newest result (so an older unprocessed charge is
// skipped for good), then the newest gauge reading whatever its time.
//
// A charge whose stored time is not exactly the canonical second its key would carry
// cannot be handed out: the result stored under that key would leave it unprocessed
// (handed out again on every call) or sit at a time no charge has. Keying it exactly
// is impossible, since a key holds 19 characters and the result table's time column
// stores the canonical form, so such a charge is reported, every time it is met, and
// none of the charge's members change: a host that loops until -1 or 0 ends, and the
// row is repaired in the database (the README says how).
int CMorvane::DumpSelectNewBD() {
    int status = 1;
    RunStretch(kDumpSelectNewBDMessage, status, [&] {
        for (int read = 1; read <= kNewestChargeReads; ++read) {
            OpenQuery(m_pRecordset, m_pConnection, kNewestChargeSql);
            if (!Found(m_pRecordset)) {
                status = 0;
                Close(m_pRecordset);
                return;
            }
            char key[morvane::kSlotSize] = {};
            if (ReadText(m_pRecordset, "RECEIVETIME", key)) {
                morvane::ChargeKeyVerdict verdict = morvane::CheckChargeKey(m_pConnection, key);
                if (verdict.kind == morvane::ChargeKeyVerdict::Moved && read < kNewestChargeReads) {
                    Close(m_pRecordset);
                    continue;
                }
                if (verdict.kind == morvane::ChargeKeyVerdict::Unkeyable) {
                    Close(m_pRecordset);
                    morvane::ReportProblem(kDumpSelectNewBDMessage,
                                           morvane::UnkeyableChargeText(verdict.storedTime, key));
                    status = -1;
                    return;
                }
                std::memcpy(m_szNewTime, key, sizeof(m_szNewTime));
            }
            ReadInt32(m_pRecordset, "CHARGE", m_nNewCharge);
            ReadWeights(m_pRecordset, m_fAngleWeight);
            if (ReadInt32(m_pRecordset, "OC_FLAG", m_nOCFlag)) {
                if (m_nOCFlag == 1) {
                    m_nMaterialCode = 10;
                    m_nOCFlag = 10;
                } else if (m_nOCFlag == 0) {
                    m_nMaterialCode = 20;
                    m_nOCFlag = 20;
                }
            }
            Close(m_pRecordset);
            return;
        }
    });
    RunStretch(kDumpSelectNewBDMessage, status, [&] {
        OnFirstRow(m_pRecordset, m_pConnection, kNewestRulerSql, status, [&] {
            ReadSingleAsDouble(m_pRecordset, "RULER_HEIGHT1", m_dRulerHeight[0]);
            ReadSingleAsDouble(m_pRecordset, "RULER_HEIGHT2", m_dRulerHeight[1]);
        });
    });
    return status;
}

// Ore (code 10) and coke (code 20) have fixed repose angle and density; any other
// code leaves the constants of the previous charge in place.
int CMorvane::SkipSelectNewBD() {
    if (m_nMaterialCode == 10) {
        m_dMaterialAngle = 36.2;
        m_dMaterialDensity = 0.565;
    } else if (m_nMaterialCode == 20) {
        m_dMaterialAngle = 35.8;
        m_dMaterialDensity = 1.75;
    }
    return m_nOCFlag;
}

int CMorvane::DumpSelectBD() {
    int status = 1;
    RunStretch(kDumpSelectBDMessage, status, [&] {
        std::string sql = kChargeAtSql + KeyLiteral(m_pConnection, m_szBDTime);
        OnFirstRow(m_pRecordset, m_pConnection, sql, status, [&] {
            ReadText(m_pRecordset, "RECEIVETIME", m_szRecentTime[0]);
            ReadInt32(m_pRecordset, "CHARGE", m_nRecentCharge[0]);
            ReadWeights(m_pRecordset, m_fAngleWeight);
        });
    });
    return status;
}

// The count covers every processed charge; the history holds the 30 earliest, with
// whole-number weights (the history query reads them as integers).
int CMorvane::DumpGetRecent() {
    int status = 1;
    RunStretch(kDumpGetRecentMessage, status, [&] {
        OnFirstRow(m_pRecordset, m_pConnection, kProcessedCountSql, status, [&] {
            if (Fetch(m_pRecordset, "RECEIVETIME").vt != VT_NULL)
                m_nRecordCount = static_cast<std::int32_t>(m_pRecordset->GetRecordCount());
        });
    });
    RunStretch(kDumpGetRecentMessage, status, [&] {
        OnFirstRow(m_pRecordset, m_pConnection, kProcessedHistorySql, status, [&] {
            for (int i = 0; i < kHistoryRows && !AtEnd(m_pRecordset); ++i) {
                ReadText(m_pRecordset, "RECEIVETIME", m_szRecentTime[i]);
                ReadInt32(m_pRecordset, "CHARGE", m_nRecentCharge[i]);
                for (int k = 0; k < kAnglePositions; ++k) {
                    std::int32_t weight = 0;
                    if (ReadInt32(m_pRecordset, Columns().weight[k].c_str(), weight))
                        m_dRecentWeight[k][i] = static_cast<double>(weight);
                }
                Check(m_pRecordset->MoveNext());
            }
        });
    });
    return status;
}

int CMorvane::DumpGetException() {
    int status = 1;
    RunStretch(kDumpGetExceptionMessage, status, [&] {
        std::string sql = kRulerBeforeSql + KeyLiteral(m_pConnection, m_szBDTime) + ")";
        OnFirstRow(m_pRecordset, m_pConnection, sql, status, [&] {
            ReadDouble(m_pRecordset, "RULER_HEIGHT1", m_dRulerHeight[0]);
            ReadDouble(m_pRecordset, "RULER_HEIGHT2", m_dRulerHeight[1]);
        });
    });
    return status;
}

// The angle record strictly before `time`: a record at exactly that time is not yet
// in force.
int CMorvane::AngleSelectNew(char* const time) {
    int status = 1;
    RunStretch(kAngleSelectNewMessage, status, [&] {
        std::string key = CheckedTimeKey(time, std::numeric_limits<std::size_t>::max());
        std::string sql = kAngleBeforeSql + TimeLiteral(m_pConnection, key) + ")";
        OnFirstRow(m_pRecordset, m_pConnection, sql, status, [&] {
            for (int k = 0; k < kAnglePositions; ++k)
                ReadSingleAsDouble(m_pRecordset, Columns().angle[k].c_str(), m_dChuteAngle[k]);
        });
    });
    return status;
}

// m_dFurnaceSeq holds 11 rows; reading stops there instead of writing past it.
// A NULL value is not a number and fails the stretch.
int CMorvane::TraceSelect() {
    int status = 1;
    RunStretch(kTraceSelectMessage, status, [&] {
        OnFirstRow(m_pRecordset, m_pConnection, kFurnaceSql, status, [&] {
            for (int i = 0; i < kFurnaceRows && !AtEnd(m_pRecordset); ++i) {
                for (int k = 0; k < kFurnacePoints; ++k)
                    m_dFurnaceSeq[k][i] = ToDouble(Fetch(m_pRecordset, Columns().furnace[k].c_str()));
                Check(m_pRecordset->MoveNext());
            }
        });
    });
    return status;
}

// Only the first row with the id changes. A null `values` is refused before anything
// is sent, rather than read through.
int CMorvane::AngleUpdate(double* const values, int burdenId) {
    int status = 1;
    RunStretch(kAngleUpdateMessage, status, [&] {
        if (!values) _com_issue_error(E_POINTER);
        char sql[sizeof(kFurnaceRowSql) + 16];
        std::snprintf(sql, sizeof(sql), kFurnaceRowSql, burdenId);
        OnFirstRow(m_pRecordset, m_pConnection, sql, status, [&] {
            for (int k = 0; k < kFurnacePoints; ++k)
                m_pRecordset->PutCollect(_variant_t(Columns().furnace[k].c_str()), _variant_t(values[k]));
            Check(m_pRecordset->Update());
        });
    });
    return status;
}

// Up to 30 stored results whose charging record still exists, earliest first. The
// profile values have no NULL test: a result with a hole in its profile is an error.
int CMorvane::ResultGetBurdenDis() {
    int status = 1;
    RunStretch(kResultGetBurdenDisMessage, status, [&] {
        OpenQuery(m_pRecordset, m_pConnection, ResultsSql());
        m_nRecordCount = static_cast<std::int32_t>(m_pRecordset->GetRecordCount());
        if (m_nRecordCount < 1) {
            status = 0;
        } else {
            for (int i = 0; i < kResultRows && !AtEnd(m_pRecordset); ++i) {
                _variant_t value = Fetch(m_pRecordset, "TIMESTAMP");
                if (value.vt != VT_NULL) morvane::StoreText(value, m_szResultTime[i]);
                value = Fetch(m_pRecordset, "CHARGE");
                if (value.vt != VT_NULL) m_nResultCharge[i] = ToInt32(value);
                value = Fetch(m_pRecordset, "MATERIAL");
                if (value.vt != VT_NULL) m_nResultMaterial[i] = ToInt32(value);
                value = Fetch(m_pRecordset, "LEFTPOINT");
                if (value.vt != VT_NULL) m_nResultLeftPoint[i] = ToInt32(value);
                for (int n = 0; n < kProfilePoints; ++n)
                    m_dResultSeq[n][i] = ToDouble(Fetch(m_pRecordset, Columns().profile[n].c_str()));
                Check(m_pRecordset->MoveNext());
            }
            m_nRecordCount = static_cast<std::int32_t>(m_pRecordset->GetRecordCount());
        }
        Close(m_pRecordset);
    });
    m_nResultColumns = kResultColumns;
    return status;
}

// A charge counts as processed once its row exists, so an existing row is never
// written twice, also when other hosts store results in the same table at the same
// time: the check and the insert run under one ResultKeyLock. A duplicate that the
// store itself refuses (a unique key on TIMESTAMP, written by a host that takes no
// lock) counts as the existing row it is: nothing written, status 1, nothing shown.
// The row is stored under the canonical text of the key, the same text the lookups
// compare with.
int CMorvane::ResultInsertBD() {
    int status = 1;
    bool exists = false;
    std::optional<morvane::ResultKeyLock> lock;
    RunStretch(kResultInsertBDMessage, status, [&] {
        std::string key = CheckedTimeKey(m_szBDTime, morvane::kSlotSize);
        lock.emplace(m_pConnection, key);
        try {
            exists = LookUpResultKey(m_pRecordset, m_pConnection, key);
        } catch (const _com_error&) {
            lock.reset();  // before the failure is shown: other hosts must not wait on a message box
            throw;
        }
    });
    if (exists) {
        // Nothing was written; the hold only ends. The recordset stays open for the host.
        lock.reset();
        return 1;
    }
    // A failed check has ended its transaction (PostgreSQL refuses every later statement
    // of it): the insert takes a hold of its own, and looks for the key once more under
    // it, since the failure may have been the hold itself (another host writing past
    // the busy timeout) and that host may have stored this very charge.
    if (status != 1) lock.reset();
    RunStretch(kResultInsertBDMessage, status, [&] {
        std::string key = CheckedTimeKey(m_szBDTime, morvane::kSlotSize);
        const bool checked = lock.has_value();
        if (!lock) lock.emplace(m_pConnection, key);
        try {
            if (!checked && LookUpResultKey(m_pRecordset, m_pConnection, key)) {
                lock.reset();
                return;
            }
            // The lookup's empty recordset, still open, takes the new row.
            Check(m_pRecordset->AddNew());
            m_pRecordset->PutCollect(_variant_t("TIMESTAMP"), _variant_t(key.c_str()));
            m_pRecordset->PutCollect(_variant_t("MATERIAL"), _variant_t(static_cast<int>(m_nBDMaterial)));
            m_pRecordset->PutCollect(_variant_t("LEFTPOINT"), _variant_t(static_cast<float>(m_dBDLeftPoint)));
            PutProfile(m_pRecordset, m_dBDSeq);
            Check(m_pRecordset->Update());
            Close(m_pRecordset);
            lock->Commit();
        } catch (const _com_error& error) {
            lock.reset();  // rolls back, before any message box is shown
            if (error.Error() != DB_E_INTEGRITYVIOLATION || !RefusedAsDuplicate(m_pRecordset, m_pConnection, key)) throw;
        }
    });
    return status;
}

// Only the profile changes; the first row with the key is the one updated.
int CMorvane::ResultUpdateBD() {
    int status = 1;
    RunStretch(kResultUpdateBDMessage, status, [&] {
        std::string sql = kResultKeyForUpdateSql + KeyLiteral(m_pConnection, m_szBDTime);
        OnFirstRow(m_pRecordset, m_pConnection, sql, status, [&] {
            PutProfile(m_pRecordset, m_dBDSeq);
            Check(m_pRecordset->Update());
        });
    });
    return status;
}

int CMorvane::ResultDeleteBD() {
    int status = 1;
    RunStretch(kResultDeleteBDMessage, status, [&] {
        OnFirstRow(m_pRecordset, m_pConnection, kResultKeySql + KeyLiteral(m_pConnection, m_szBDTime), status, [&] {
            Check(m_pRecordset->Delete(adAffectCurrent));
        });
    });
    return status;
}

// Empties the result table and seeds it with the standard profile at the earliest
// charge, so every later charge counts as unprocessed again. Without any charge there
// is no time for the seed row, and none is written.
int CMorvane::ResultStandBD() {
    int status = 1;
    RunStretch(kResultStandBDMessage, status, [&] {
        OnFirstRow(m_pRecordset, m_pConnection, kResultClearSql, status, [&] {
            while (!AtEnd(m_pRecordset)) {
                Check(m_pRecordset->Delete(adAffectCurrent));
                Check(m_pRecordset->MoveNext());
            }
        });
    });

    char earliest[morvane::kSlotSize] = {};
    bool haveEarliest = false;
    RunStretch(kResultStandBDMessage, status, [&] {
        OnFirstRow(m_pRecordset, m_pConnection, kEarliestChargeSql, status, [&] {
            _variant_t value = Fetch(m_pRecordset, "Receive_time");
            if (value.vt != VT_NULL) {
                morvane::StoreText(value, earliest);
                haveEarliest = true;
            } else {
                status = 0;
            }
        });
    });
    if (!haveEarliest) return status;

    RunStretch(kResultStandBDMessage, status, [&] {
        OpenQuery(m_pRecordset, m_pConnection, kResultTableSql);
        Check(m_pRecordset->AddNew());
        m_pRecordset->PutCollect(_variant_t("TIMESTAMP"), _variant_t(earliest));
        m_pRecordset->PutCollect(_variant_t("MATERIAL"), _variant_t(10));
        m_pRecordset->PutCollect(_variant_t("LEFTPOINT"), _variant_t(0));
        PutProfile(m_pRecordset, morvane::g_fStandardSeq);
        Check(m_pRecordset->Update());
        Close(m_pRecordset);
    });
    return status;
}

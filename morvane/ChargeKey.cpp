#include <morvane/ChargeKey.h>

#include <morvane/StoreSupport.h>

namespace morvane {
namespace {

constexpr char kNewestUnprocessedTime[] =
    "(SELECT MAX(RECEIVETIME) FROM matrix_bl_roof_weight_new WHERE RECEIVETIME > (SELECT MAX(TIMESTAMP) FROM "
    "MODEL_RESULTBURDENDIS))";

}  // namespace

// A charge whose time carries a fraction of a second (a PostgreSQL timestamp) or is
// kept as another text (SQLite compares texts) reads back as the canonical second,
// which is all a 19-character key can hold. A result stored under that key would not
// equal the charge's time: the charge would come back forever, or the result would sit
// at a time no charge has. So the database is asked whether the newest unprocessed
// charge differs from the key; a row that differs and still reads as the same second
// is that charge. A row at another second is a charge recorded since the key was read.
ChargeKeyVerdict CheckChargeKey(const _ConnectionPtr& connection, const std::string& key) {
    std::string sql = "SELECT RECEIVETIME, " + StoredTextExpression(connection, "RECEIVETIME") +
                      " AS STORED_TIME FROM matrix_bl_roof_weight_new WHERE RECEIVETIME = " + kNewestUnprocessedTime +
                      " AND RECEIVETIME <> " + TimeLiteral(connection, key);
    _RecordsetPtr recordset;
    OpenQuery(recordset, connection, sql);
    ChargeKeyVerdict verdict;
    if (Found(recordset)) {
        char newest[kSlotSize] = {};
        _variant_t time = Fetch(recordset, "RECEIVETIME");
        if (time.vt != VT_NULL) StoreText(time, newest);
        if (key != newest) {
            verdict.kind = ChargeKeyVerdict::Moved;
        } else {
            verdict.kind = ChargeKeyVerdict::Unkeyable;
            _variant_t stored = Fetch(recordset, "STORED_TIME");
            verdict.storedTime = stored.vt == VT_NULL ? key : static_cast<_bstr_t>(stored).str();
        }
    }
    Check(recordset->Close());
    return verdict;
}

std::string UnkeyableChargeText(const std::string& storedTime, const std::string& key) {
    return "装料记录的 RECEIVETIME 存储为 \"" + storedTime + "\"，不是整秒的标准时间 \"" + key +
           "\"，模型结果无法以它为键；请把该记录的 RECEIVETIME 改为标准时间";
}

}  // namespace morvane

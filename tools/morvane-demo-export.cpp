// The processed results as CSV, for a spreadsheet or another program: one line per
// stored result, oldest first.
#include "morvane-demo.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace demo {

namespace {

constexpr long kPageRows = 1000;  // rows read per query, so memory stays small at any table size

// The shortest text that reads back as the same double.
std::string Number(double value) {
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("nan");
}

std::string OptionalInteger(const _variant_t& value) {
    return value.vt == VT_NULL || value.vt == VT_EMPTY ? "" : std::to_string(static_cast<long>(value));
}

// Text as one CSV field: quoted when it holds a separator, quote or line break.
std::string Field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// Writes the rows of one page; returns how many there were.
long WritePage(CMorvane& store, long offset, std::ofstream& csv) {
    // The charge number comes from a subquery, not a join: two charging records with the
    // same time must not turn one result into two lines.
    std::string sql =
        "SELECT r.*, (SELECT MIN(w.CHARGE) FROM matrix_bl_roof_weight_new w WHERE w.RECEIVETIME = r.TIMESTAMP) "
        "AS CHARGE_NUMBER FROM MODEL_RESULTBURDENDIS r ORDER BY r.TIMESTAMP LIMIT " +
        std::to_string(kPageRows) + " OFFSET " + std::to_string(offset);
    _RecordsetPtr rows = store.m_pConnection->Execute(_bstr_t(sql.c_str()), nullptr, adCmdText);
    long count = 0;
    std::string line;
    while (rows->GetadoEOF() == VARIANT_FALSE) {
        _variant_t time = rows->GetCollect(_variant_t("TIMESTAMP"));
        line = Field(time.vt == VT_NULL ? "" : static_cast<_bstr_t>(time).str());
        line += "," + OptionalInteger(rows->GetCollect(_variant_t("CHARGE_NUMBER")));
        line += "," + OptionalInteger(rows->GetCollect(_variant_t("MATERIAL")));
        for (int n = 1; n <= kProfilePoints; ++n) {
            _variant_t value = rows->GetCollect(_variant_t(("SEQ_" + std::to_string(n)).c_str()));
            line += ",";
            if (value.vt != VT_NULL) line += Number(static_cast<double>(value));
        }
        csv << line << '\n';
        ++count;
        rows->MoveNext();
    }
    return count;
}

}  // namespace

std::string ExportResults(CMorvane& store, const std::string& path, long* rows) {
    *rows = 0;
    const std::string partial = path + ".partial-" + std::to_string(getpid());
    std::ofstream csv(partial);
    if (!csv) return "cannot write " + partial + ": " + std::strerror(errno);
    csv << "time,charge,material";
    for (int n = 1; n <= kProfilePoints; ++n) csv << ",seq_" << n;
    csv << '\n';
    try {
        for (;;) {
            long page = WritePage(store, *rows, csv);
            *rows += page;
            if (page < kPageRows) break;
        }
    } catch (...) {
        csv.close();
        std::remove(partial.c_str());
        throw;
    }
    csv.close();
    if (!csv) {
        std::remove(partial.c_str());
        return "cannot write " + path + ": " + std::strerror(errno);
    }
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    if (error) {
        std::remove(partial.c_str());
        return "cannot write " + path + ": " + error.message();
    }
    return "";
}

}  // namespace demo

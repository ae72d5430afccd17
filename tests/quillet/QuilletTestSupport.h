// Objects made through the exported factory, as hosts make them, and small helpers.
#pragma once

#include <quillet/Quillet.h>

#include <dbplatform/com/ComError.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace quillettest {

struct Deleter {
    void operator()(IQuillet* object) const { DeleteQuillet(object); }
};
using QuilletPtr = std::unique_ptr<IQuillet, Deleter>;

inline QuilletPtr Make(const std::string& connectionString = "") {
    QuilletPtr object(CreateQuillet());
    if (!connectionString.empty()) object->SetConnectionString(CString(connectionString));
    return object;
}

inline std::string SystemMessage(HRESULT hr) { return _com_error(hr).ErrorMessage(); }

inline std::unique_ptr<CStringList> List(std::initializer_list<std::string> items) {
    auto list = std::make_unique<CStringList>();
    for (const auto& item : items) list->AddTail(CString(item));
    return list;
}

inline std::vector<std::string> Items(const CStringList& list) {
    std::vector<std::string> items;
    for (POSITION position = list.GetHeadPosition(); position;) items.push_back(list.GetNext(position).str());
    return items;
}

inline std::string SqliteConnection(const std::string& file) { return "Provider=SQLite;Data Source=" + file + ";Create=True"; }

// The start value of Move that designates the first row.
inline VARIANT FromFirstRow() {
    VARIANT start;
    VariantInit(&start);
    start.vt = VT_I4;
    start.lVal = 1;  // adBookmarkFirst
    return start;
}

}  // namespace quillettest

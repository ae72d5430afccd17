#include <dbplatform/providers/common/TableListing.h>

#include <dbplatform/base/AsciiText.h>

#include <algorithm>
#include <string_view>
#include <tuple>

namespace dbplatform::provider {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool NameAdmitted(const std::string& restriction, const std::string& value, NameMatch names) {
    if (restriction.empty()) return true;
    return names == NameMatch::IgnoreCase ? EqualNoCase(restriction, value) : restriction == value;
}

// The types of a comma-separated restriction, blanks trimmed, empty ones left out.
std::vector<std::string_view> TypesOf(std::string_view restriction) {
    std::vector<std::string_view> types;
    while (!restriction.empty()) {
        const std::size_t comma = restriction.find(',');
        const std::string_view one = TrimBlanks(restriction.substr(0, comma));
        if (!one.empty()) types.push_back(one);
        restriction = comma == std::string_view::npos ? std::string_view() : restriction.substr(comma + 1);
    }
    return types;
}

// A list holding only blanks and commas names no type, and so restricts nothing.
bool TypeAdmitted(std::string_view restriction, std::string_view type) {
    const std::vector<std::string_view> types = TypesOf(restriction);
    return types.empty() ||
           std::any_of(types.begin(), types.end(), [&](std::string_view one) { return EqualNoCase(one, type); });
}

}  // namespace

std::string TypeListForCatalog(const std::string& restriction) {
    std::string list;
    for (std::string_view type : TypesOf(restriction)) {
        if (!list.empty()) list += ',';
        list += AsciiUppered(type);
    }
    return list;
}

bool TableMatches(const TableEntry& entry, const TableFilter& filter, NameMatch names) {
    return NameAdmitted(filter.catalog, entry.catalog, names) && NameAdmitted(filter.schema, entry.schema, names) &&
           NameAdmitted(filter.name, entry.name, names) && TypeAdmitted(filter.type, entry.type);
}

std::vector<TableEntry> FilterAndSortTables(std::vector<TableEntry> entries, const TableFilter& filter,
                                            NameMatch names) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const TableEntry& entry) { return !TableMatches(entry, filter, names); }),
                  entries.end());
    std::stable_sort(entries.begin(), entries.end(), [](const TableEntry& a, const TableEntry& b) {
        return std::tie(a.type, a.catalog, a.schema, a.name) < std::tie(b.type, b.catalog, b.schema, b.name);
    });
    return entries;
}

}  // namespace dbplatform::provider

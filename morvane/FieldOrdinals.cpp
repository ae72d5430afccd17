#include "FieldOrdinals.h"

#include <unordered_map>

#include <dbplatform/base/AsciiText.h>

namespace morvane {
namespace {

// The UTF-16 units of `name` with A-Z folded, the recordset lookup's own comparison.
std::u16string Folded(std::u16string name) {
    for (char16_t& unit : name) unit = dbplatform::AsciiLower(unit);
    return name;
}

}  // namespace

// Names are compared as UTF-16 units, the whole length: a field name with a NUL or a
// unit outside ASCII matches only a name of the same units, as in the recordset.
std::vector<long> FieldOrdinals(const _RecordsetPtr& recordset, const std::vector<std::string>& names) {
    FieldsPtr fields = recordset->GetFields();
    const long count = fields->GetCount();
    std::unordered_map<std::u16string, long> ordinals;
    ordinals.reserve(static_cast<std::size_t>(count));
    for (long f = 0; f < count; ++f) ordinals.emplace(Folded(fields->GetItem(_variant_t(f))->GetName().wstr()), f);
    std::vector<long> found;
    found.reserve(names.size());
    for (const std::string& name : names) {
        auto hit = ordinals.find(Folded(_bstr_t(name).wstr()));
        found.push_back(hit == ordinals.end() ? -1 : hit->second);
    }
    return found;
}

}  // namespace morvane

#include "FieldCache.h"

#include <cstring>

#include <dbplatform/base/CodePage.h>
#include <dbplatform/com/ComError.h>

#include <quillet/CQuillet.h>

namespace quillet {

namespace {
char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::size_t FieldCache::FoldedHash::operator()(std::string_view name) const noexcept {
    std::size_t hash = 14695981039346656037ull;
    for (char c : name) hash = (hash ^ static_cast<unsigned char>(FoldAscii(c))) * 1099511628211ull;
    return hash;
}

bool FieldCache::FoldedEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

// A recordset is first read the ordinary way as many times as it has fields: a host that
// reads a few fields of a wide result never pays for the table, and one that walks it
// pays for it once.
Field* FieldCache::Find(_Recordset* recordset, const FieldKey& key) {
    if (recordset != seen_) {
        Forget();
        seen_ = recordset;
        try {
            readsBeforeBuild_ = recordset->GetFields()->GetCount();
        } catch (const _com_error&) {
            Forget();  // closed: asked again once it may have been reopened
            return nullptr;
        }
    }
    if (!built_) {
        if (readsBeforeBuild_-- > 0) return nullptr;
        Build(recordset);
        if (!built_) return nullptr;
    }
    if (!key.byName) {
        if (key.index < 0 || static_cast<unsigned long>(key.index) >= fields_.size()) return nullptr;
        return fields_[static_cast<std::size_t>(key.index)].GetInterfacePtr();
    }
    long index = IndexOfName(key.name);
    return index < 0 ? nullptr : fields_[static_cast<std::size_t>(index)].GetInterfacePtr();
}

namespace {
// `name` (NUL-terminated) equals `known` (without NUL) with ASCII letters folded; hosts
// mostly spell a name as the query does, which a plain comparison settles.
bool SameName(const char* name, const std::string& known) {
    const char* other = known.c_str();
    std::size_t at = 0;
    while (name[at] == other[at] && other[at] != '\0') ++at;
    if (name[at] == '\0' && at == known.size()) return true;
    for (; at < known.size(); ++at)
        if (name[at] == '\0' || FoldAscii(name[at]) != FoldAscii(other[at])) return false;
    return name[at] == '\0';
}
}  // namespace

// The guess is only a shortcut: it is taken when its name matches, and a name can match
// one field of the table only (the first of equal names is the one kept), so the answer
// is the table's.
long FieldCache::IndexOfName(const char* name) {
    if (name == nullptr) return -1;
    long guess = lastRead_ < 0 ? 0 : nextRead_[static_cast<std::size_t>(lastRead_)];
    long index = -1;
    if (guess >= 0 && static_cast<std::size_t>(guess) < names_.size() &&
        !names_[static_cast<std::size_t>(guess)].empty() && SameName(name, names_[static_cast<std::size_t>(guess)])) {
        index = guess;
    } else {
        auto found = byName_.find(std::string_view(name));
        if (found == byName_.end()) return -1;
        index = static_cast<long>(found->second);
    }
    if (lastRead_ >= 0) nextRead_[static_cast<std::size_t>(lastRead_)] = index;
    lastRead_ = index;
    return index;
}

// A name goes into the table only when its UTF-8 form stands for exactly its UTF-16 form
// and holds no NUL: such a name matches a host's name here exactly when the cursor would
// match the host's name converted to UTF-16. Any other name (none that a provider
// describes) is left to the ordinary lookup. The first of two equal names wins, as there.
void FieldCache::Build(_Recordset* recordset) {
    try {
        FieldsPtr fields = recordset->GetFields();
        long count = fields->GetCount();
        for (long index = 0; index < count; ++index) {
            FieldPtr field = fields->GetItem(_variant_t(index));
            _bstr_t name = field->GetName();
            std::u16string_view wide(static_cast<const OLECHAR*>(name), name.length());
            std::string utf8 = dbplatform::Utf8FromWide(wide);
            bool exact = wide.find(u'\0') == std::u16string_view::npos && dbplatform::WideFromUtf8(utf8) == wide;
            // Only the first of equal names can be found; a later one is never a guess.
            if (!exact || !byName_.emplace(utf8, static_cast<std::size_t>(index)).second) utf8.clear();
            names_.push_back(std::move(utf8));
            fields_.push_back(std::move(field));
            nextRead_.push_back(-1);
        }
        built_ = true;
    } catch (const _com_error&) {
        Forget();
    }
}

void FieldCache::Forget() {
    seen_ = nullptr;
    built_ = false;
    readsBeforeBuild_ = 0;
    fields_.clear();
    names_.clear();
    byName_.clear();
    nextRead_.clear();
    lastRead_ = -1;
}

}  // namespace quillet

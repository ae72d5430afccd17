// The fields of the current recordset as the typed getters find them: each field object
// fetched once, and names matched without building a BSTR key for every read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <dbplatform/ado/Ado.h>

namespace quillet {

struct FieldKey;

class FieldCache {
public:
    // The field `key` names in `recordset` (not null), or null when the cache does not
    // know it: a recordset it has not yet seen read often enough to be worth the lookup
    // table, a name or position it does not hold, a closed recordset, a failure while
    // building (tried again on a later call). Null sends the caller along
    // the ordinary lookup, which also reports every failure as before.
    Field* Find(_Recordset* recordset, const FieldKey& key);
    // Drops everything: the recordset was closed or replaced, or a read through a cached
    // field failed (the host may have reopened the recordset in place).
    void Forget();

private:
    // Names compare as the cursor compares them: ASCII letters without regard to case,
    // every other byte exactly (on UTF-8, the same as folding ASCII in UTF-16).
    struct FoldedHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const noexcept;
    };
    struct FoldedEqual {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const noexcept;
    };

    void Build(_Recordset* recordset);
    // The position of the field named `name`, or -1.
    long IndexOfName(const char* name);


    _Recordset* seen_ = nullptr;  // compared only, never used: fields_ hold the reference
    bool built_ = false;
    long readsBeforeBuild_ = 0;
    std::vector<FieldPtr> fields_;
    std::vector<std::string> names_;  // UTF-8, empty for a name left to the ordinary lookup
    std::unordered_map<std::string, std::size_t, FoldedHash, FoldedEqual> byName_;
    // A walk reads the same fields in the same order on every row: the name read after
    // field i last time is tried first (one comparison) before the table (a hash).
    std::vector<long> nextRead_;
    long lastRead_ = -1;
};

}  // namespace quillet

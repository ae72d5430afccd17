// ADO connection strings: `key=value` pairs separated by ';', keys case-insensitive,
// blanks around keys and values ignored, values optionally in "..." or '...' (the same
// quote inside is doubled), the last occurrence of a key wins.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <dbplatform/base/HResult.h>

namespace dbplatform::ado {

class ConnectionString {
public:
    // Parses `text`. On malformed input (a NUL character, an unterminated quote, text
    // after a closing quote, a pair without '=') returns E_INVALIDARG and says why in `error`.
    static HRESULT Parse(std::string_view text, ConnectionString* result, std::string* error);

    std::optional<std::string> Get(std::string_view key) const;  // case-insensitive
    void Set(std::string_view key, std::string_view value);      // replaces, keeps position
    void Remove(std::string_view key);
    // Entries in first-appearance order, keys as written (the last value of each key).
    const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }
    // The string rebuilt, quoting values that need it.
    std::string ToString() const;
    // `value` as it must be written after a key's '=' to read back as exactly that one
    // value: as it is when nothing in it would end or change it, else quoted.
    static std::string ValueText(std::string_view value);

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace dbplatform::ado

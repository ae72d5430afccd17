#include <dbplatform/ado/ConnectionString.h>
#include <dbplatform/ado/Ado.h>

#include <dbplatform/base/AsciiText.h>

namespace dbplatform::ado {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

// Reads pairs left to right. A key runs to the first single '=' ("==" stands for a
// literal '=' inside a key); a value runs to the next ';' unless it starts with a
// quote, in which case it runs to the matching quote (doubled quotes are literal) and
// only blanks may follow before the ';'. Empty segments (";;", a trailing ';') are
// skipped, as ADO does. Nothing is read past `text`. A NUL anywhere refuses the whole
// string: the providers hand values on as C strings, which would end at it.
HRESULT ConnectionString::Parse(std::string_view text, ConnectionString* result, std::string* error) {
    ConnectionString parsed;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return E_INVALIDARG;
    };
    if (std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        return fail("a NUL character at offset " + std::to_string(nul));
    while (i < n) {
        // Key.
        std::string key;
        bool sawEquals = false;
        std::size_t segmentStart = i;
        while (i < n) {
            char c = text[i];
            if (c == ';') break;
            if (c == '=') {
                if (i + 1 < n && text[i + 1] == '=') {
                    key += '=';
                    i += 2;
                    continue;
                }
                sawEquals = true;
                ++i;
                break;
            }
            key += c;
            ++i;
        }
        if (!sawEquals) {
            if (!Trim(text.substr(segmentStart, i - segmentStart)).empty())
                return fail("a pair without '=' at offset " + std::to_string(segmentStart));
            ++i;  // skip the ';' of an empty segment
            continue;
        }
        std::string_view trimmedKey = Trim(key);
        if (trimmedKey.empty()) return fail("a pair without a key at offset " + std::to_string(segmentStart));

        // Value.
        while (i < n && IsBlank(text[i])) ++i;
        std::string value;
        if (i < n && (text[i] == '"' || text[i] == '\'')) {
            char quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    closed = true;
                    ++i;
                    break;
                }
                value += text[i++];
            }
            if (!closed) return fail("an unterminated quote in the value of '" + std::string(trimmedKey) + "'");
            while (i < n && IsBlank(text[i])) ++i;
            if (i < n && text[i] != ';')
                return fail("text after the closing quote of '" + std::string(trimmedKey) + "'");
        } else {
            std::size_t start = i;
            while (i < n && text[i] != ';') ++i;
            value = std::string(Trim(text.substr(start, i - start)));
        }
        if (i < n) ++i;  // the ';'
        parsed.Set(trimmedKey, value);
    }
    if (result) *result = std::move(parsed);
    return S_OK;
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
    for (const auto& entry : entries_)
        if (EqualNoCase(entry.first, key)) return entry.second;
    return std::nullopt;
}

void ConnectionString::Set(std::string_view key, std::string_view value) {
    for (auto& entry : entries_) {
        if (EqualNoCase(entry.first, key)) {
            entry.second = std::string(value);
            return;
        }
    }
    entries_.emplace_back(std::string(key), std::string(value));
}

void ConnectionString::Remove(std::string_view key) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (EqualNoCase(it->first, key)) {
            entries_.erase(it);
            return;
        }
    }
}

// Quotes a value only when reading it back would otherwise change it: a ';', a
// leading quote or '=' (which would read back as part of a doubled '=' in the key), or
// blanks at either end. Prefers the quote the value does not contain.
std::string ConnectionString::ValueText(std::string_view value) {
    bool needsQuotes = value.find(';') != std::string_view::npos ||
                       (!value.empty() && (value.front() == '"' || value.front() == '\'' || value.front() == '=' ||
                                           IsBlank(value.front()) || IsBlank(value.back())));
    if (!needsQuotes) return std::string(value);
    char quote = value.find('"') == std::string_view::npos ? '"'
                 : (value.find('\'') == std::string_view::npos ? '\'' : '"');
    std::string out(1, quote);
    for (char c : value) {
        out += c;
        if (c == quote) out += quote;
    }
    out += quote;
    return out;
}

std::string ConnectionString::ToString() const {
    std::string out;
    for (const auto& [key, value] : entries_) {
        if (!out.empty()) out += ';';
        for (char c : key) {
            out += c;
            if (c == '=') out += '=';
        }
        out += '=';
        out += ValueText(value);
    }
    return out;
}

}  // namespace dbplatform::ado

namespace dbplatform {

std::string ConnectionStringValue(std::string_view value) { return ado::ConnectionString::ValueText(value); }

}  // namespace dbplatform

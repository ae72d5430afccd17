// CString: searching, editing, trimming and extraction, with MFC's clamping of
// positions and counts so that no argument can reach outside the text.
#include <dbplatform/mfc/String.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include <dbplatform/base/AsciiText.h>

namespace {
int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Length in bytes of the UTF-8 sequence that starts with `lead` (1 for stray bytes).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}
}  // namespace

int CString::Find(char ch, int start) const {
    if (start < 0) start = 0;
    if (start >= GetLength() || ch == '\0') return -1;
    std::size_t found = text_.find(ch, static_cast<std::size_t>(start));
    return found == std::string::npos ? -1 : static_cast<int>(found);
}

// An empty `sub` is found at `start` (when start lies within or at the end of the text).
int CString::Find(const char* sub, int start) const {
    if (!sub) return -1;
    if (start < 0) start = 0;
    if (start > GetLength()) return -1;
    std::size_t found = text_.find(sub, static_cast<std::size_t>(start));
    return found == std::string::npos ? -1 : static_cast<int>(found);
}

int CString::ReverseFind(char ch) const {
    if (ch == '\0') return -1;
    std::size_t found = text_.rfind(ch);
    return found == std::string::npos ? -1 : static_cast<int>(found);
}

int CString::FindOneOf(const char* set) const {
    if (!set || !*set) return -1;
    std::size_t found = text_.find_first_of(set);
    return found == std::string::npos ? -1 : static_cast<int>(found);
}

// Returns the new length; a position past either end inserts at that end.
int CString::Insert(int index, char ch) {
    text_.insert(static_cast<std::size_t>(Clamp(index, 0, GetLength())), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char* text) {
    if (text && *text) {
        std::string copy(text);  // `text` may point into this string
        text_.insert(static_cast<std::size_t>(Clamp(index, 0, GetLength())), copy);
    }
    return GetLength();
}

// Removes up to `count` characters from `index`; returns the new length. A negative
// index starts at 0, a count past the end stops there, an index past the end removes nothing.
int CString::Delete(int index, int count) {
    if (index < 0) index = 0;
    if (count > 0 && index < GetLength()) {
        int removable = GetLength() - index;
        text_.erase(static_cast<std::size_t>(index), static_cast<std::size_t>(std::min(count, removable)));
    }
    return GetLength();
}

// Returns how many characters were removed.
int CString::Remove(char ch) {
    std::size_t before = text_.size();
    text_.erase(std::remove(text_.begin(), text_.end(), ch), text_.end());
    return static_cast<int>(before - text_.size());
}

// Returns how many characters were replaced; 0 when old and new are the same, since
// then nothing changes.
int CString::Replace(char oldChar, char newChar) {
    if (oldChar == newChar) return 0;
    int replaced = 0;
    for (char& c : text_) {
        if (c == oldChar) {
            c = newChar;
            ++replaced;
        }
    }
    return replaced;
}

// Replaces every non-overlapping occurrence, scanning left to right; a null new text
// deletes the occurrences. Returns the number replaced; 0 for an empty or null old text.
int CString::Replace(const char* oldText, const char* newText) {
    if (!oldText || !*oldText) return 0;
    std::string from(oldText);
    std::string to(newText ? newText : "");
    std::string result;
    int replaced = 0;
    std::size_t at = 0;
    for (std::size_t found; (found = text_.find(from, at)) != std::string::npos; at = found + from.size()) {
        result.append(text_, at, found - at);
        result += to;
        ++replaced;
    }
    if (replaced == 0) return 0;
    result.append(text_, at, std::string::npos);
    text_.swap(result);
    return replaced;
}

// Letter case changes touch ASCII letters only, so the bytes of UTF-8 sequences stay intact.
CString& CString::MakeUpper() {
    for (char& c : text_) c = dbplatform::AsciiUpper(c);
    return *this;
}

CString& CString::MakeLower() {
    for (char& c : text_) c = dbplatform::AsciiLower(c);
    return *this;
}

// Reverses characters, not bytes: a multi-byte character keeps its byte order, as an
// MBCS build reverses double-byte characters whole.
CString& CString::MakeReverse() {
    std::string reversed;
    reversed.reserve(text_.size());
    std::size_t end = text_.size();
    std::size_t at = 0;
    // Split into characters front to back, then emit them back to front.
    std::vector<std::pair<std::size_t, std::size_t>> characters;
    while (at < end) {
        std::size_t length = std::min(SequenceLength(static_cast<unsigned char>(text_[at])), end - at);
        characters.emplace_back(at, length);
        at += length;
    }
    for (auto it = characters.rbegin(); it != characters.rend(); ++it) reversed.append(text_, it->first, it->second);
    text_.swap(reversed);
    return *this;
}

CString& CString::TrimLeft() {
    std::size_t first = 0;
    while (first < text_.size() && IsWhiteSpace(text_[first])) ++first;
    text_.erase(0, first);
    return *this;
}

CString& CString::TrimLeft(char target) {
    std::size_t first = 0;
    while (first < text_.size() && text_[first] == target) ++first;
    text_.erase(0, first);
    return *this;
}

CString& CString::TrimLeft(const char* targets) {
    if (!targets || !*targets) return *this;
    std::size_t first = text_.find_first_not_of(targets);
    text_.erase(0, first == std::string::npos ? text_.size() : first);
    return *this;
}

CString& CString::TrimRight() {
    std::size_t end = text_.size();
    while (end > 0 && IsWhiteSpace(text_[end - 1])) --end;
    text_.resize(end);
    return *this;
}

CString& CString::TrimRight(char target) {
    std::size_t end = text_.size();
    while (end > 0 && text_[end - 1] == target) --end;
    text_.resize(end);
    return *this;
}

CString& CString::TrimRight(const char* targets) {
    if (!targets || !*targets) return *this;
    std::size_t last = text_.find_last_not_of(targets);
    text_.resize(last == std::string::npos ? 0 : last + 1);
    return *this;
}

CString& CString::Trim() {
    TrimRight();
    return TrimLeft();
}

CString CString::Left(int count) const {
    return CString(text_.substr(0, static_cast<std::size_t>(Clamp(count, 0, GetLength()))));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

// A negative start counts from 0; a start past the end gives the empty text; the count
// is cut at the end of the text.
CString CString::Mid(int first, int count) const {
    first = Clamp(first, 0, GetLength());
    count = Clamp(count, 0, GetLength() - first);
    return CString(text_.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

CString CString::Right(int count) const {
    count = Clamp(count, 0, GetLength());
    return CString(text_.substr(static_cast<std::size_t>(GetLength() - count)));
}

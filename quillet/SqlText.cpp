#include "quillet/SqlText.h"

#include <cstring>

namespace quillet {

namespace {
// Does `word` match the text at `position`, ignoring letter case? The caller has checked
// that the word fits.
bool MatchesAt(const std::string& text, std::size_t position, const char* word, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (LowerAscii(text[position + i]) != LowerAscii(word[i])) return false;
    return true;
}
}  // namespace

// Linear scan; an empty word is found at `start` when it lies inside the text.
int CSqlText::FindWord(const char* word, int start) const {
    if (start < 0) start = 0;
    std::size_t length = std::strlen(word);
    if (static_cast<std::size_t>(start) > text_.size() || length > text_.size()) return -1;
    for (std::size_t position = start; position + length <= text_.size(); ++position)
        if (MatchesAt(text_, position, word, length)) return static_cast<int>(position);
    return -1;
}

int CSqlText::FindChar(char ch, int start) const {
    char sought = LowerAscii(ch);
    if (start < 0) start = 0;
    for (std::size_t position = start; position < text_.size(); ++position)
        if (LowerAscii(text_[position]) == sought) return static_cast<int>(position);
    return -1;
}

// Only equal lengths are accepted, so positions never shift while scanning.
void CSqlText::ReplaceEqualLength(const char* from, const char* to) {
    std::size_t length = std::strlen(from);
    if (length == 0 || std::strlen(to) != length) return;
    int position = FindWord(from, 0);
    while (position >= 0) {
        text_.replace(position, length, to);
        position = FindWord(from, position + static_cast<int>(length));
    }
}

void CSqlText::ReplaceChar(char from, char to) {
    char pair[2][2] = {{from, 0}, {to, 0}};
    ReplaceEqualLength(pair[0], pair[1]);
}

}  // namespace quillet

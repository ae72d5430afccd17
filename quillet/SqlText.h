// CSqlText: the text that the translator rewrites, with case-insensitive searching and
// equal-length replacement. Positions found are used on the text itself, whose letters
// keep their case.
#pragma once

#include <string>

#include <dbplatform/mfc/String.h>

namespace quillet {

class CSqlText {
public:
    explicit CSqlText(const CString& text) : text_(text.str()) {}
    virtual ~CSqlText() = default;

    // Position of the first case-insensitive occurrence of `word` at or after `start`, or -1.
    int FindWord(const char* word, int start) const;
    int FindChar(char ch, int start) const;
    // Overwrites every case-insensitive occurrence of `from` by `to` (same length),
    // left to right, resuming after each replacement.
    void ReplaceEqualLength(const char* from, const char* to);
    void ReplaceChar(char from, char to);

    std::string& Text() { return text_; }
    const std::string& Text() const { return text_; }
    int Length() const { return static_cast<int>(text_.size()); }

private:
    std::string text_;
};

// ASCII lower-casing of one byte; bytes of multi-byte characters are left alone.
inline char LowerAscii(char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch; }
inline char UpperAscii(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch; }
// Letters, digits and the underscore make up one identifier or keyword.
inline bool IsWordChar(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_';
}
inline bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }
inline bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n'; }

}  // namespace quillet

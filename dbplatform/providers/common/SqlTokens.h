// A small SQL tokenizer shared by the providers: just enough of the lexical rules of the
// engines behind them to tell words, numbers, quoted text and punctuation apart, so that
// neither rewriting nor recognising a statement ever looks inside a string, a quoted
// identifier or a comment. Comments are -- to the end of the line and /* ... */; quotes
// are '...', "...", `...` and [...], a doubled quote standing for itself except in [...];
// a backslash inside quotes is an ordinary byte, as in standard SQL.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace dbplatform::provider {

enum class TokenKind {
    End,        // no more tokens
    Word,       // keyword or bare identifier
    Number,     // numeric literal (digits, '.', exponent, hex, and any letters glued on)
    Quoted,     // '...', "...", `...` or [...], an unterminated one runs to the end
    Open,       // (
    Close,      // )
    Semicolon,  // ;
    Comma,      // ,
    Hash,       // #
    Other,      // any other single byte
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::size_t begin = 0;  // offsets into the text
    std::size_t end = 0;
};

// The first token at or after `position`, skipping blanks and comments. Stays inside
// `text`: a token's end never exceeds text.size().
Token NextToken(std::string_view text, std::size_t position);

// True when `token` is a word equal to `word` ignoring ASCII case.
bool IsWord(std::string_view text, const Token& token, std::string_view word);

// True when `token` is a number made of decimal digits only.
bool IsDigits(std::string_view text, const Token& token);

// True when `token` is a word equal to one of `words` ignoring ASCII case.
bool IsAnyWord(std::string_view text, const Token& token, std::initializer_list<std::string_view> words);

// True when `token` is a one-byte token equal to `c`.
bool IsByte(std::string_view text, const Token& token, char c);

// The name a word or a quoted identifier ("T", `T`, [T]) stands for, quotes removed and
// doubled quotes undone. False for any other token, a '...' text and an unterminated quote.
bool NameOf(std::string_view text, const Token& token, std::string* name);

// True when nothing but blanks, comments and ';' follows `position`.
bool OnlyBlanksFrom(std::string_view text, std::size_t position);

}  // namespace dbplatform::provider

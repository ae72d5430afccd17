// A small SQL tokenizer: just enough of SQLite's lexical rules to tell words, numbers,
// quoted text and punctuation apart, so that rewriting never touches what sits inside a
// string, a quoted identifier or a comment.
#pragma once

#include <cstddef>
#include <string_view>

namespace dbplatform::sqlite {

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

// True when nothing but blanks, comments and ';' follows `position`.
bool OnlyBlanksFrom(std::string_view text, std::size_t position);

}  // namespace dbplatform::sqlite

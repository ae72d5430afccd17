// What a name or a type word that a host passes may hold before it is pasted into a
// statement. Every check here accepts only texts that cannot leave their brackets or
// quotes, start a comment, end the statement or add a clause of their own.
#pragma once

#include <string_view>

#include <dbplatform/mfc/String.h>

namespace quillet {

// Letters, digits, '_', '$' and every byte of a non-ASCII character.
bool IsIdentifierByte(char ch);
// One non-empty identifier made of identifier bytes only.
bool IsPlainIdentifier(std::string_view name);
// A table name: plain identifiers joined by single dots (schema-qualified).
bool IsTableName(std::string_view name);
// A type or nullability text of a column: ASCII letters, digits, blanks and '_', with
// parentheses that are balanced, not nested and hold only digits, commas and blanks
// (VARCHAR(50), DECIMAL(10,2), NOT NULL, DOUBLE PRECISION).
bool IsColumnWords(std::string_view words);
// A table name that IsTableName accepts, each part bracketed on its own: [T1],
// [public].[t]. Brackets around the whole would make the dot part of one name.
CString BracketedTableName(const CString& table);

}  // namespace quillet

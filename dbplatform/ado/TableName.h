// Checks on command sources before they reach a provider: a table command (adCmdTable)
// names one table, never a statement; no command text holds a NUL.
#pragma once

#include <string_view>

namespace dbplatform::ado {

// True when `source` is one table name: dot-separated parts (schema or catalog first),
// each a plain identifier (a letter, '_' or a non-ASCII byte, then also digits and '$')
// or a name quoted whole with [], "" or backquotes. A quoted part holds no quote of any
// kind, no ';', no comment marker and no control character, so no engine can read the
// name as more than one token, whichever quotes it knows. Blanks around the whole are
// allowed.
bool IsTableName(std::string_view source);

// Throws _com_error(E_INVALIDARG) unless IsTableName(source): the table command is
// refused before anything reaches the provider.
void RequireTableName(std::string_view source);

// Throws _com_error(E_INVALIDARG) when `sql` holds a NUL: the engines take command text
// as a C string or stop reading at a NUL, so the command would run cut short (a DELETE
// without its WHERE) or not advance at all.
void RequireNoNul(std::string_view sql);

}  // namespace dbplatform::ado

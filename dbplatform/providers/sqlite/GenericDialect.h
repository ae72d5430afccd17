// The generic SQL dialect the libraries write, turned into SQLite's own SQL.
//
// The libraries write one dialect for every database: `[name]` identifiers, date-time
// literals between number signs (#2005-12-19 08:30:00#) and a row limit written as
// `select top n`. SQLite reads `[name]` itself; the other two are rewritten here.
#pragma once

#include <string>
#include <string_view>

namespace dbplatform::sqlite {

// Returns `sql` with
//  - every #date-time# literal outside quoted strings, quoted identifiers and comments
//    replaced by the canonical text literal '2005-12-19 08:30:00';
//  - every `select top n`, `select distinct top n` (and `select all top n`, `top (n)`),
//    any case, any blanks or comments between the words, turned into `LIMIT n` on that
//    select: before the closing parenthesis of its subquery, or at the end of its
//    statement (before a trailing ';' or comment). An ORDER BY stays before the LIMIT.
// Everything else is copied unchanged, byte for byte.
//
// Text between number signs that is not a date stays as written: SQLite then refuses
// the statement ("unrecognized token"), which reaches the caller as a command error
// naming the text, rather than a guess at what was meant. For the same reason a second
// `select top n` at the same level of a compound select (a UNION of two limited selects)
// is left for SQLite to refuse: one LIMIT cannot express both.
//
// Never reads outside `sql`, never throws except std::bad_alloc.
std::string RewriteGenericDialect(std::string_view sql);

}  // namespace dbplatform::sqlite

// A text read in place (UTF-8 bytes where the recordset keeps them) given to a CString
// exactly as the same text would arrive as a BSTR.
#pragma once

#include <string_view>

#include <dbplatform/mfc/String.h>

namespace quillet {

// `target` becomes what CString(bstr) gives for the BSTR of `utf8`: the text up to its
// first NUL, malformed bytes as U+FFFD. Well-formed text is copied as it is, into the
// room `target` already has.
void AssignTextInPlace(CString& target, std::string_view utf8);

}  // namespace quillet

// ADO's own error raising: every failure of the object model leaves as
// _com_error(hr, description) with the text ADO itself shows for that code.
#pragma once

#include <dbplatform/base/HResult.h>

namespace dbplatform::ado {

// The description ADO gives for `hr` ("" when it has none of its own).
const char* AdoErrorText(HRESULT hr);
// Throws _com_error(hr, AdoErrorText(hr)).
[[noreturn]] void RaiseAdo(HRESULT hr);
// 3251 with the wording ADO uses for writes to a read-only recordset.
[[noreturn]] void RaiseNotUpdatable();

}  // namespace dbplatform::ado

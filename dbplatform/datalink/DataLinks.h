// The Data Link Properties dialog: the DataLinks class ("DataLinks",
// {2206CDB2-19C1-11D1-89E0-00C04FD7A829}) with IDataSourceLocator, and the replaceable
// prompt behind it. The default prompt is a dialog on the controlling terminal; without
// a terminal it cancels.
#pragma once

#include <functional>
#include <string>

#include <dbplatform/com/Unknown.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

inline constexpr CLSID CLSID_DataLinks{0x2206CDB2, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};

struct IDataSourceLocator : IDispatch {
    static constexpr IID iid{0x2206CCB2, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};
    virtual HRESULT get_hWnd(long* window) = 0;
    virtual HRESULT put_hWnd(long window) = 0;
    // A new ADO Connection (as IDispatch, with the accepted connection string) or null
    // when the user cancels (S_FALSE).
    virtual HRESULT PromptNew(IDispatch** connection) = 0;
    // Edits the ConnectionString of an ADO Connection in place; *accepted is VARIANT_TRUE
    // when the user accepted.
    virtual HRESULT PromptEdit(IDispatch** connection, VARIANT_BOOL* accepted) = 0;
};

namespace dbplatform {
using DataLinkPrompt = std::function<bool(std::string& connectionString)>;
// Installs `prompt` (an empty function restores the terminal dialog); returns the previous one.
DataLinkPrompt SetDataLinkPrompt(DataLinkPrompt prompt);
}  // namespace dbplatform

DBPLATFORM_PUBLIC_END

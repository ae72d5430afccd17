// A one-file host built only with the flags pkg-config gives for the installed platform.
#include <cstdio>
#include <cstring>

#include <dbplatform/dbplatform.h>

int main() {
    _com_error error(DB_E_ERRORSINCOMMAND, "near \"selec\": syntax error");
    CString text;
    text.Format("%s / %s", error.ErrorMessage(), static_cast<const char*>(error.Description()));
    _bstr_t wide(text.GetString());
    CoInitialize(nullptr);
    CLSID clsid;
    HRESULT hr = dbplatform::ClassIdFromProgId("No.Such.Class", &clsid);
    CoUninitialize();
    // Thrown inside the library, caught here by type: its type information is exported.
    bool caught = false;
    try {
        _com_issue_errorex(E_FAIL, "raised in the library");
    } catch (const _com_error& raised) {
        caught = raised.Error() == E_FAIL && std::strcmp(static_cast<const char*>(raised.Description()), "raised in the library") == 0;
    }
    std::printf("%s (%u units); unknown class: %s; version %s, library %s\n", text.GetString(), wide.length(),
                _com_error(hr).ErrorMessage(), DBPLATFORM_VERSION_STRING, dbplatform::LibraryVersionText());
    bool sameVersion = std::strcmp(DBPLATFORM_VERSION_STRING, dbplatform::LibraryVersionText()) == 0 &&
                       dbplatform::LibraryVersionNumber() == DBPLATFORM_VERSION_NUMBER &&
                       DBPLATFORM_VERSION_NUMBER == MORVANE_VERSION_MAJOR * 10000 + MORVANE_VERSION_MINOR * 100 + MORVANE_VERSION_PATCH;
    return std::strcmp(text.GetString(), "IDispatch error #3092 / near \"selec\": syntax error") == 0 &&
                   hr == CO_E_CLASSSTRING && sameVersion && caught
               ? 0
               : 1;
}

// The object's life: the factory, construction, destruction and the error texts.
#include <quillet/CQuillet.h>

#include <new>

namespace quillet {

CString SystemMessageOf(const _com_error& error) { return CString(error.ErrorMessage()); }

CString DescriptionOf(const _com_error& error) {
    _bstr_t description = error.Description();
    return CString(static_cast<const char*>(description));
}

// A position outside 32 bits travels whole (as VT_I8) and matches no field; cut to an
// int it would name another field (2^32 + 1 would write field 1).
_variant_t FieldKey::ToVariant() const {
    if (byName) return _variant_t(name);
    return _variant_t(index);
}

// COM is initialised for the creating thread; the destructor balances it once.
CQuillet::CQuillet() { CoInitialize(nullptr); }

// Destruction always completes: closing reports into lastError like any other call, and
// nothing escapes to the host.
CQuillet::~CQuillet() {
    try {
        CloseDatabase();
    } catch (...) {
    }
    CoUninitialize();
}

CString CQuillet::GetErrorText() { return lastError; }

CString CQuillet::GetLastSql() { return lastSql; }

}  // namespace quillet

extern "C" {

IQuillet* CreateQuillet() { return new (std::nothrow) quillet::CQuillet(); }

void DeleteQuillet(IQuillet* object) { delete object; }
}

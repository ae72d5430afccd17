// Reading fields of the current row: the generic reader and the typed getters.
//
// A walk reads the same few fields on every row, so the fields of the current recordset
// are looked up once (FieldCache) and the typed getters take a text where the recordset
// keeps it and a date's local time from a table of the zone's offsets (LocalTimes). Each
// of those roads gives what the ordinary one gives; wherever one cannot say, or fails,
// the ordinary road runs and reports as it always did.
#include <quillet/CQuillet.h>

#include <dbplatform/automation/DateTime.h>

#include <cstring>

#include "TextInPlace.h"

namespace quillet {

namespace {
// True for the tags whose value is held in the variant itself, with nothing to free.
bool HoldsNothingToFree(VARTYPE type) {
    switch (type) {
        case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_DATE: case VT_BOOL:
        case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
            return true;
        default:
            return false;
    }
}

// Frees a variant's contents on every path out of a typed getter; a number or a date (a
// walk's every other read) has none, and is left without a call.
struct ScopedVariant {
    VARIANT value;
    ScopedVariant() { std::memset(static_cast<void*>(&value), 0, sizeof value); }
    ~ScopedVariant() {
        if (!HoldsNothingToFree(value.vt)) VariantClear(&value);
    }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
};
}  // namespace

// The cached field object when there is one; a failure through it (the host may have
// reopened the recordset in place) forgets the cache and asks Collect, which fails again
// with the error to report if there is one.
_variant_t CQuillet::FetchValue(const FieldKey& key) {
    if (Field* field = fields.Find(recordset.GetInterfacePtr(), key)) {
        try {
            return field->GetValue();
        } catch (const _com_error&) {
            fields.Forget();
        }
    }
    return recordset->GetCollect(key.ToVariant());
}

// A NULL comes back with its whole value area zeroed, so that readers of the raw variant
// see 0 rather than stale bytes.
int CQuillet::ReadValue(const FieldKey& key, VARIANT& value) {
    if (!IsRecordsetOpen()) return 0;
    try {
        _variant_t fetched = FetchValue(key);
        VariantClear(&value);
        value = fetched.Detach();
        if (value.vt == VT_NULL) {
            std::memset(&value, 0, sizeof value);
            value.vt = VT_NULL;
        }
        return 1;
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
}

int CQuillet::GetFieldValue(const char* name, VARIANT& value) { return ReadValue(FieldKey::Named(name), value); }
int CQuillet::GetFieldValueAt(long index, VARIANT& value) { return ReadValue(FieldKey::At(index), value); }

// The open check is left to the field, which fails on a closed recordset; the ordinary
// road then makes it and answers as it always did.
int CQuillet::FetchTyped(const FieldKey& key, VARIANT& fetched, std::string_view* text) {
    if (!recordset) return 0;
    if (Field* field = fields.Find(recordset.GetInterfacePtr(), key)) {
        try {
            std::string_view inPlace;
            if (!dbplatform::GetFieldValueInPlace(field, &fetched, &inPlace)) return 1;
            if (text) {
                *text = inPlace;
                return 2;
            }
        } catch (const _com_error&) {
            fields.Forget();
        }
    }
    return ReadValue(key, fetched);
}

// A value that does not fit the requested type is a failure with the conversion's
// message, never a number made of whatever bytes were left in the variant. A value that
// already has the type (a walk's usual case) is read where it was fetched.
template <class Value, class Extract>
int CQuillet::ReadNumber(const FieldKey& key, VARTYPE type, Value& value, Extract extract) {
    ScopedVariant fetched;
    if (!FetchTyped(key, fetched.value, nullptr)) return 0;
    if (fetched.value.vt == VT_NULL) {
        value = Value();
        return 1;
    }
    if (fetched.value.vt == type) {
        value = extract(fetched.value);
        return 1;
    }
    ScopedVariant converted;
    HRESULT hr = VariantChangeType(&converted.value, &fetched.value, 0, type);
    if (FAILED(hr)) {
        lastError = SystemMessageOf(_com_error(hr));
        return 0;
    }
    value = extract(converted.value);
    return 1;
}

int CQuillet::ReadBool(const FieldKey& key, bool& value) {
    return ReadNumber(key, VT_BOOL, value, [](const VARIANT& v) { return v.boolVal == VARIANT_TRUE; });
}

// Conversion failures here keep the text hosts have always seen for them.
int CQuillet::ReadString(const FieldKey& key, CString& value) {
    ScopedVariant fetched;
    std::string_view text;
    switch (FetchTyped(key, fetched.value, &text)) {
        case 0: return 0;
        case 2: AssignTextInPlace(value, text); return 1;
        default: break;
    }
    if (fetched.value.vt == VT_NULL) {
        value.Empty();
        return 1;
    }
    if (fetched.value.vt == VT_BSTR) {
        value = CString(static_cast<const OLECHAR*>(fetched.value.bstrVal));
        return 1;
    }
    ScopedVariant converted;
    HRESULT hr = VariantChangeType(&converted.value, &fetched.value, 0, VT_BSTR);
    if (FAILED(hr) || converted.value.vt != VT_BSTR) {
        lastError = "change date type error";
        return 0;
    }
    value = CString(static_cast<const OLECHAR*>(converted.value.bstrVal));
    return 1;
}

// A NULL reads as the automation date 0, 1899-12-30 00:00 local time.
int CQuillet::ReadTime(const FieldKey& key, CTime& value) {
    ScopedVariant fetched;
    if (!FetchTyped(key, fetched.value, nullptr)) return 0;
    DATE date = 0.0;
    if (fetched.value.vt == VT_DATE) {
        date = fetched.value.date;
    } else if (fetched.value.vt != VT_NULL) {
        ScopedVariant converted;
        HRESULT hr = VariantChangeType(&converted.value, &fetched.value, 0, VT_DATE);
        if (FAILED(hr) || converted.value.vt != VT_DATE) {
            lastError = "change date type error";
            return 0;
        }
        date = converted.value.date;
    }
    SYSTEMTIME calendar{};
    if (!VariantTimeToSystemTime(date, &calendar)) {
        lastError = "change date type error";
        return 0;
    }
    value = CTime(localTimes.FromCalendar(calendar));
    return 1;
}

int CQuillet::GetFieldTime(const char* name, CTime& value) { return ReadTime(FieldKey::Named(name), value); }
int CQuillet::GetFieldTimeAt(long index, CTime& value) { return ReadTime(FieldKey::At(index), value); }
int CQuillet::GetFieldBool(const char* name, bool& value) { return ReadBool(FieldKey::Named(name), value); }
int CQuillet::GetFieldBoolAt(long index, bool& value) { return ReadBool(FieldKey::At(index), value); }
int CQuillet::GetFieldString(const char* name, CString& value) { return ReadString(FieldKey::Named(name), value); }
int CQuillet::GetFieldStringAt(long index, CString& value) { return ReadString(FieldKey::At(index), value); }

namespace {
char ExtractChar(const VARIANT& v) { return v.cVal; }
short ExtractShort(const VARIANT& v) { return v.iVal; }
int ExtractInt(const VARIANT& v) { return v.lVal; }
long ExtractLong(const VARIANT& v) { return v.lVal; }
float ExtractFloat(const VARIANT& v) { return v.fltVal; }
double ExtractDouble(const VARIANT& v) { return v.dblVal; }
}  // namespace

int CQuillet::GetFieldChar(const char* name, char& value) {
    return ReadNumber(FieldKey::Named(name), VT_I1, value, ExtractChar);
}
int CQuillet::GetFieldCharAt(long index, char& value) { return ReadNumber(FieldKey::At(index), VT_I1, value, ExtractChar); }
int CQuillet::GetFieldShort(const char* name, short& value) {
    return ReadNumber(FieldKey::Named(name), VT_I2, value, ExtractShort);
}
int CQuillet::GetFieldShortAt(long index, short& value) {
    return ReadNumber(FieldKey::At(index), VT_I2, value, ExtractShort);
}
int CQuillet::GetFieldInt(const char* name, int& value) {
    return ReadNumber(FieldKey::Named(name), VT_I4, value, ExtractInt);
}
int CQuillet::GetFieldIntAt(long index, int& value) { return ReadNumber(FieldKey::At(index), VT_I4, value, ExtractInt); }
int CQuillet::GetFieldLong(const char* name, long& value) {
    return ReadNumber(FieldKey::Named(name), VT_I4, value, ExtractLong);
}
int CQuillet::GetFieldLongAt(long index, long& value) {
    return ReadNumber(FieldKey::At(index), VT_I4, value, ExtractLong);
}
int CQuillet::GetFieldFloat(const char* name, float& value) {
    return ReadNumber(FieldKey::Named(name), VT_R4, value, ExtractFloat);
}
int CQuillet::GetFieldFloatAt(long index, float& value) {
    return ReadNumber(FieldKey::At(index), VT_R4, value, ExtractFloat);
}
int CQuillet::GetFieldDouble(const char* name, double& value) {
    return ReadNumber(FieldKey::Named(name), VT_R8, value, ExtractDouble);
}
int CQuillet::GetFieldDoubleAt(long index, double& value) {
    return ReadNumber(FieldKey::At(index), VT_R8, value, ExtractDouble);
}

}  // namespace quillet

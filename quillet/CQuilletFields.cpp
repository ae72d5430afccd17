// Field access on the current row: the generic writers, the typed setters, byte chunks
// and field metadata. The readers are in CQuilletReads.cpp.
#include <quillet/CQuillet.h>

#include <dbplatform/automation/DateTime.h>
#include <dbplatform/automation/SafeArray.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quillet {

// A value ADO refuses (no edit in progress, a type the column cannot take) is a plain 0:
// only a failure to build the field key is reported.
int CQuillet::WriteValue(const FieldKey& key, const VARIANT& value) {
    if (!IsRecordsetOpen()) return 0;
    _variant_t keyValue;
    try {
        keyValue = key.ToVariant();
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
    try {
        recordset->PutCollect(keyValue, _variant_t(value));
        return 1;
    } catch (const _com_error&) {
        return 0;
    }
}

int CQuillet::SetFieldValue(const char* name, const VARIANT& value) { return WriteValue(FieldKey::Named(name), value); }
int CQuillet::SetFieldValueAt(long index, const VARIANT& value) { return WriteValue(FieldKey::At(index), value); }

// Typed setters: the host's value as the variant type the column is written with.
int CQuillet::WriteTime(const FieldKey& key, const CTime& value) {
    SYSTEMTIME calendar{};
    value.GetAsSystemTime(calendar);
    DATE date = 0.0;
    SystemTimeToVariantTime(&calendar, &date);
    _variant_t variant(date, VT_DATE);
    return WriteValue(key, variant);
}

namespace {
// Booleans travel as a 16-bit integer -1 or 0, which every product's column takes.
_variant_t BoolVariant(bool value) { return _variant_t(static_cast<short>(value ? -1 : 0), VT_I2); }
}  // namespace

int CQuillet::SetFieldTime(const char* name, const CTime& value) { return WriteTime(FieldKey::Named(name), value); }
int CQuillet::SetFieldTimeAt(long index, const CTime& value) { return WriteTime(FieldKey::At(index), value); }
int CQuillet::SetFieldBool(const char* name, const bool& value) { return SetFieldValue(name, BoolVariant(value)); }
int CQuillet::SetFieldBoolAt(long index, const bool& value) { return SetFieldValueAt(index, BoolVariant(value)); }
int CQuillet::SetFieldByte(const char* name, const unsigned char& value) { return SetFieldValue(name, _variant_t(value)); }
int CQuillet::SetFieldByteAt(long index, const unsigned char& value) { return SetFieldValueAt(index, _variant_t(value)); }
int CQuillet::SetFieldShort(const char* name, const short& value) { return SetFieldValue(name, _variant_t(value)); }
int CQuillet::SetFieldShortAt(long index, const short& value) { return SetFieldValueAt(index, _variant_t(value)); }
int CQuillet::SetFieldInt(const char* name, const int& value) { return SetFieldValue(name, _variant_t(value)); }
int CQuillet::SetFieldIntAt(long index, const int& value) { return SetFieldValueAt(index, _variant_t(value)); }
// A long that does not fit 32 bits travels as a 64-bit integer rather than being cut.
// The interface's long is 32 bits (VT_I4), as GetFieldLong reads it back: a wider value
// (this platform's long has 64) is refused with the overflow message, never cut or stored
// as a number GetFieldLong could not return. A closed recordset is reported as for every
// field operation, without a text.
int CQuillet::SetFieldLong(const char* name, const long& value) {
    if (value < INT32_MIN || value > INT32_MAX) {
        if (!IsRecordsetOpen()) return 0;
        lastError = SystemMessageOf(_com_error(DISP_E_OVERFLOW));
        return 0;
    }
    return SetFieldValue(name, _variant_t(value));
}
int CQuillet::SetFieldLongAt(long index, const long& value) {
    if (value < INT32_MIN || value > INT32_MAX) {
        if (!IsRecordsetOpen()) return 0;
        lastError = SystemMessageOf(_com_error(DISP_E_OVERFLOW));
        return 0;
    }
    return SetFieldValueAt(index, _variant_t(value));
}
int CQuillet::SetFieldFloat(const char* name, const float& value) { return SetFieldValue(name, _variant_t(value)); }
int CQuillet::SetFieldFloatAt(long index, const float& value) { return SetFieldValueAt(index, _variant_t(value)); }
int CQuillet::SetFieldDouble(const char* name, const double& value) { return SetFieldValue(name, _variant_t(value)); }
int CQuillet::SetFieldDoubleAt(long index, const double& value) { return SetFieldValueAt(index, _variant_t(value)); }
int CQuillet::SetFieldString(const char* name, const CString& value) {
    return SetFieldValue(name, _variant_t(value.GetString()));
}
int CQuillet::SetFieldStringAt(long index, const CString& value) {
    return SetFieldValueAt(index, _variant_t(value.GetString()));
}

// One call writes the whole value: the first chunk of an edit replaces the field. A
// length that a byte array cannot hold is refused before anything is allocated or
// copied; narrowed to the array's 32-bit count it would build a short array and copy
// the whole length into it.
int CQuillet::WriteChunk(const FieldKey& key, const unsigned char* data, long length) {
    if (length <= 0 || data == nullptr) return 0;
    if (!IsRecordsetOpen()) return 0;
    if (static_cast<unsigned long long>(length) > dbplatform::kMaxVectorElements) {
        lastError.Format("The byte count %ld is larger than one byte array can hold (at most %llu bytes)", length,
                         dbplatform::kMaxVectorElements);
        return 0;
    }
    try {
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(length));
        if (!array) _com_issue_error(E_OUTOFMEMORY);
        VARIANT bytes;
        VariantInit(&bytes);
        bytes.vt = VT_ARRAY | VT_UI1;
        bytes.parray = array;
        _variant_t chunk(bytes, false);
        void* target = nullptr;
        Check(SafeArrayAccessData(array, &target));
        std::memcpy(target, data, static_cast<std::size_t>(length));
        Check(SafeArrayUnaccessData(array));
        FieldPtr field = recordset->GetFields()->GetItem(key.ToVariant());
        Check(field->AppendChunk(chunk));
        return 1;
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
}

// Copies at most the bytes GetChunk returned, which may be fewer than asked for. Moving
// off the row and back resets the provider's chunk offset, so the next call reads the
// value from its start again.
int CQuillet::ReadChunk(const FieldKey& key, unsigned char*& buffer, long length) {
    if (!IsRecordsetOpen()) return 0;
    if (length <= 0 || buffer == nullptr) return 0;
    int result = 0;
    try {
        FieldPtr field = recordset->GetFields()->GetItem(key.ToVariant());
        _variant_t chunk = field->GetChunk(length);
        if (chunk.vt == (VT_ARRAY | VT_UI1) && chunk.parray) {
            LONG lower = 0, upper = -1;
            Check(SafeArrayGetLBound(chunk.parray, 1, &lower));
            Check(SafeArrayGetUBound(chunk.parray, 1, &upper));
            long available = upper >= lower ? static_cast<long>(upper) - lower + 1 : 0;
            void* source = nullptr;
            Check(SafeArrayAccessData(chunk.parray, &source));
            std::memcpy(buffer, source, static_cast<std::size_t>(std::min(length, available)));
            Check(SafeArrayUnaccessData(chunk.parray));
            result = 1;
        }
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
    MoveNext();
    MovePrevious();
    return result;
}

int CQuillet::SetFieldChunk(const char* name, const unsigned char* data, long length) {
    return WriteChunk(FieldKey::Named(name), data, length);
}
int CQuillet::SetFieldChunkAt(long index, const unsigned char* data, long length) {
    return WriteChunk(FieldKey::At(index), data, length);
}
int CQuillet::GetFieldChunk(const char* name, unsigned char*& buffer, long& length) {
    return ReadChunk(FieldKey::Named(name), buffer, length);
}
int CQuillet::GetFieldChunkAt(long index, unsigned char*& buffer, long& length) {
    return ReadChunk(FieldKey::At(index), buffer, length);
}

long CQuillet::GetFieldCount() {
    if (!IsRecordsetOpen()) return -1;
    try {
        return recordset->GetFields()->GetCount();
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return -1;
    }
}

long CQuillet::ReadActualSize(const FieldKey& key) {
    if (!IsRecordsetOpen()) return 0;
    try {
        return recordset->GetFields()->GetItem(key.ToVariant())->GetActualSize();
    } catch (const _com_error& error) {
        lastError = SystemMessageOf(error);
        return 0;
    }
}

// Any failure reads as adEmpty (0) and leaves the error text alone.
long CQuillet::ReadType(const FieldKey& key) {
    try {
        if (!IsRecordsetOpen()) return 0;
        return recordset->GetFields()->GetItem(key.ToVariant())->GetType();
    } catch (...) {
        return 0;
    }
}

long CQuillet::GetFieldActualSize(const char* name) { return ReadActualSize(FieldKey::Named(name)); }
long CQuillet::GetFieldActualSizeAt(long index) { return ReadActualSize(FieldKey::At(index)); }
long CQuillet::GetFieldType(const char* name) { return ReadType(FieldKey::Named(name)); }
long CQuillet::GetFieldTypeAt(long index) { return ReadType(FieldKey::At(index)); }

}  // namespace quillet

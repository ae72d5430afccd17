#include <typeinfo>

#include <dbplatform/com/ComError.h>

#include "AdoErrors.h"
#include "RecordsetImpl.h"
#include "ValueConversion.h"

namespace dbplatform::ado {
namespace {

// One field of a recordset. It reaches the values through the recordset, and refuses
// to work once the recordset has been closed or opened on something else.
class FieldImpl : public AdoObject<Field> {
public:
    FieldImpl(RecordsetImpl* recordset, std::size_t index)
        : holder_(recordset), recordset_(recordset), index_(index), generation_(recordset->Generation()) {}

    _bstr_t GetName() override { return _bstr_t(Info().name); }
    _variant_t GetValue() override {
        _variant_t value;
        Live().GetValue(index_, &value);
        return value;
    }
    void PutValue(const _variant_t& value) override { Live().PutValue(index_, value); }
    DataTypeEnum GetType() override { return Info().type; }
    long GetDefinedSize() override { return Info().definedSize; }
    long GetActualSize() override { return Live().ActualSize(index_); }
    long GetAttributes() override {
        Cursor& cursor = Live();
        const provider::ColumnInfo& info = cursor.FieldInfo(index_);
        long attributes = 0;
        if (cursor.FieldWritable(index_)) attributes |= adFldUpdatable;
        if (info.nullable) attributes |= adFldIsNullable | adFldMayBeNull;
        if (IsLongType(info.type)) attributes |= adFldLong;
        else if (!IsTextType(info.type) && !IsBinaryType(info.type)) attributes |= adFldFixed;
        if (info.key) attributes |= adFldKeyColumn;
        return attributes;
    }
    _variant_t GetOriginalValue() override {
        _variant_t value;
        Live().GetOriginalValue(index_, &value);
        return value;
    }
    HRESULT AppendChunk(const _variant_t& data) override {
        Live().AppendChunk(index_, data);
        return S_OK;
    }
    _variant_t GetChunk(long length) override {
        _variant_t value;
        Live().GetChunk(index_, length, &value);
        return value;
    }
    bool GetValueInPlace(VARIANT* value, std::string_view* text) { return Live().ReadInPlace(index_, value, text); }

private:
    Cursor& Live() {
        Cursor& cursor = recordset_->OpenCursor();
        if (recordset_->Generation() != generation_) RaiseAdo(adErrObjectNotSetHr);
        return cursor;
    }
    const provider::ColumnInfo& Info() { return Live().FieldInfo(index_); }

    _RecordsetPtr holder_;  // keeps the recordset alive as long as the field
    RecordsetImpl* recordset_;
    std::size_t index_;
    unsigned generation_;
};

class FieldsImpl : public AdoObject<Fields> {
public:
    explicit FieldsImpl(RecordsetImpl* recordset) : holder_(recordset), recordset_(recordset) {}

    long GetCount() override { return static_cast<long>(recordset_->OpenCursor().FieldCount()); }
    FieldPtr GetItem(const _variant_t& index) override {
        std::size_t field = recordset_->OpenCursor().FieldIndex(index);
        return FieldPtr(new FieldImpl(recordset_, field), false);
    }

private:
    _RecordsetPtr holder_;
    RecordsetImpl* recordset_;
};

}  // namespace

FieldsPtr RecordsetImpl::GetFields() { return FieldsPtr(new FieldsImpl(this), false); }

}  // namespace dbplatform::ado

// Our own fields are told apart by their exact type, which costs a comparison where a
// dynamic_cast would search; any other Field is asked for its value the ordinary way.
bool dbplatform::GetFieldValueInPlace(Field* field, VARIANT* value, std::string_view* text) {
    if (field == nullptr || value == nullptr || text == nullptr) _com_issue_error(E_POINTER);
    if (value->vt != VT_EMPTY) {
        HRESULT cleared = VariantClear(value);
        if (FAILED(cleared)) _com_issue_error(cleared);
    }
    if (typeid(*field) == typeid(ado::FieldImpl)) return static_cast<ado::FieldImpl*>(field)->GetValueInPlace(value, text);
    *value = field->GetValue().Detach();
    return false;
}

// What a cursor knows of its columns, decided once at open: which are fields, which
// can be written back, how a row is found again, and the one table writes go to.
//
// Invariants (fixed after construction): every field is a column that is not a row
// identity; a writable column is never a row identity and belongs to the table;
// locator columns exist only when the cursor is updatable; batch mode implies
// updatable; the per-column vectors are as long as the column list.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <dbplatform/ado/AdoEnums.h>
#include <dbplatform/ado/Provider.h>
#include <dbplatform/automation/Variant.h>

namespace dbplatform::ado {

class CursorColumns {
public:
    CursorColumns(std::vector<provider::ColumnInfo> columns, LockTypeEnum lockType);

    std::size_t Count() const { return columns_.size(); }
    const provider::ColumnInfo& Info(std::size_t column) const { return columns_[column]; }
    DataTypeEnum Type(std::size_t column) const { return columns_[column].type; }
    VARTYPE ReadType(std::size_t column) const { return readTypes_[column]; }
    bool Writable(std::size_t column) const { return writable_[column]; }

    std::size_t FieldCount() const { return fields_.size(); }
    std::size_t ColumnOfField(std::size_t field) const { return fields_[field]; }
    // A field by name (case-insensitive) or zero-based ordinal; 3265 when there is none.
    std::size_t FieldIndex(const VARIANT& index) const;

    bool Updatable() const { return updatable_; }
    bool Batch() const { return batch_; }
    const std::string& Table() const { return table_; }
    const std::vector<std::size_t>& LocatorColumns() const { return locatorColumns_; }

    // The column's name in the base table (a row identity keeps its own name).
    std::string WriteName(std::size_t column) const;
    // The column a provider's locator entry refers to: a locator column first, else a
    // writable or row-identity column of that name.
    std::optional<std::size_t> ColumnByWriteName(const std::string& name) const;

private:
    void CheckInvariants() const;
    // True when `text` (`length` UTF-16 units) is field `field`'s name, ignoring ASCII case.
    bool NameIs(std::size_t field, const OLECHAR* text, std::size_t length) const;

    std::vector<provider::ColumnInfo> columns_;
    std::vector<std::size_t> fields_;
    // Per field, for name lookup without conversions: the name with ASCII folded, and
    // whether no other field has that folded name.
    struct FieldName {
        std::u16string folded;
        bool unique = true;
    };
    std::vector<FieldName> names_;
    // The field after the last one found by name: a walk reads the same names in the
    // same order row after row, so the next name asked for is mostly this one's.
    mutable std::size_t guess_ = 0;
    std::vector<std::size_t> locatorColumns_;
    std::vector<bool> writable_;      // per column
    std::vector<VARTYPE> readTypes_;  // per column, the VARIANT type its values read as
    std::string table_;
    bool updatable_ = false;
    bool batch_ = false;
};

}  // namespace dbplatform::ado

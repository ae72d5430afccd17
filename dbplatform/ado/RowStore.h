// Compact storage of a cursor's rows: one 8-byte slot and one kind byte per cell, kept
// in fixed blocks of rows, and the bytes of texts and blobs beside them in the same slabs,
// each after its length in one to five bytes and unaligned. A
// million rows never live as a million vectors of VARIANTs; values become VARIANTs only
// when a field is read. Full blocks never move, so growing never copies what was read;
// only the first block starts small (a store's lookups hold a row or none, often of
// hundreds of columns) and doubles until it is full-sized.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <dbplatform/ado/Provider.h>

namespace dbplatform::ado {

class RowStore {
public:
    // Row flags.
    static constexpr std::uint8_t kDeleted = 0x1;        // gone from the cursor (hidden)
    static constexpr std::uint8_t kBatchNew = 0x2;       // inserted, not yet sent
    static constexpr std::uint8_t kBatchModified = 0x4;  // changed, not yet sent
    static constexpr std::uint8_t kBatchDeleted = 0x8;   // deleted, not yet sent

    explicit RowStore(std::size_t columns = 0);
    RowStore(RowStore&&) noexcept = default;
    RowStore& operator=(RowStore&&) noexcept = default;

    std::size_t ColumnCount() const { return columns_; }
    std::size_t RowCount() const { return rows_; }

    // Appends the current row of `source` (all its columns).
    void AppendFrom(provider::ResultSet& source);
    void AppendValues(const std::vector<provider::Value>& values);
    // Copies row `row` of `other` (same column count) with its flags.
    void AppendRowOf(const RowStore& other, std::size_t row);

    provider::CellView Cell(std::size_t row, std::size_t column) const;
    provider::Value GetValue(std::size_t row, std::size_t column) const {
        return provider::Value::FromCell(Cell(row, column));
    }
    // Replaces one cell. The old text, if any, stays in the arena until Clear.
    void SetCell(std::size_t row, std::size_t column, const provider::CellView& cell);

    std::uint8_t Flags(std::size_t row) const { return blocks_[row / kRowsPerBlock].flags[row % kRowsPerBlock]; }
    void SetFlags(std::size_t row, std::uint8_t flags) { blocks_[row / kRowsPerBlock].flags[row % kRowsPerBlock] = flags; }

    void Clear();

private:
    static constexpr std::size_t kRowsPerBlock = 1024;

    // Bump allocation from slabs, freed all at once. Slabs grow from 32 KiB by doubling;
    // once a store is large they are 2 MiB-aligned and offered to the kernel as huge
    // pages, because faulting in a big result 4 KiB at a time costs more than reading it.
    class Slabs {
    public:
        Slabs() = default;
        Slabs(Slabs&& other) noexcept;
        Slabs& operator=(Slabs&& other) noexcept;
        ~Slabs();
        // `bytes` at an address aligned to `alignment` (a power of two, at most 16).
        // Inline while the last slab has room: every stored text comes through here.
        void* Take(std::size_t bytes, std::size_t alignment = 8) {
            std::size_t at = (used_ + alignment - 1) & ~(alignment - 1);
            if (slabs_.empty() || slabs_.back().second < at || slabs_.back().second - at < bytes)
                return TakeNewSlab(bytes, alignment);
            used_ = at + bytes;
            return slabs_.back().first + at;
        }
        // Keeps the largest slab for reuse and frees the others.
        void Reset();

    private:
        void Release(std::size_t keep);
        void* TakeNewSlab(std::size_t bytes, std::size_t alignment);
        std::vector<std::pair<char*, std::size_t>> slabs_;
        std::size_t used_ = 0;   // in the last slab
        std::size_t total_ = 0;  // bytes of all slabs
    };

    struct Block {
        std::uint64_t* slots;
        std::uint8_t* kinds;
        std::uint8_t* flags;
        std::size_t capacity;  // rows; kRowsPerBlock but for a first block still growing
    };

    Block NewBlock(std::size_t capacity);
    std::size_t NewRow();
    void Put(std::size_t row, std::size_t column, const provider::CellView& cell);
    // Writes cell `index` (row within the block times the column count, plus the column).
    void PutAt(Block& block, std::size_t index, const provider::CellView& cell);
    std::uint64_t StoreBytes(std::string_view bytes);

    std::size_t columns_;
    std::size_t rows_ = 0;
    std::vector<Block> blocks_;
    Slabs slabs_;
    std::vector<provider::CellView> incoming_;  // the row being appended, reused
};

// Inline: every field read of a walk comes through here.
inline provider::CellView RowStore::Cell(std::size_t row, std::size_t column) const {
    const Block& block = blocks_[row / kRowsPerBlock];
    std::size_t index = (row % kRowsPerBlock) * columns_ + column;
    provider::CellView cell;
    cell.kind = static_cast<provider::ValueKind>(block.kinds[index]);
    std::uint64_t slot = block.slots[index];
    switch (cell.kind) {
        case provider::ValueKind::Null: break;
        case provider::ValueKind::Integer:
        case provider::ValueKind::Boolean: std::memcpy(&cell.integer, &slot, 8); break;
        case provider::ValueKind::Double:
        case provider::ValueKind::Date: std::memcpy(&cell.real, &slot, 8); break;
        case provider::ValueKind::Text:
        case provider::ValueKind::Bytes: {
            // The length as a little-endian base-128 number: one byte below 128.
            const unsigned char* at = reinterpret_cast<const unsigned char*>(static_cast<std::uintptr_t>(slot));
            std::size_t length = *at & 0x7F;
            for (unsigned shift = 7; *at++ & 0x80; shift += 7) length |= static_cast<std::size_t>(*at & 0x7F) << shift;
            cell.bytes = std::string_view(reinterpret_cast<const char*>(at), length);
            break;
        }
    }
    return cell;
}

}  // namespace dbplatform::ado

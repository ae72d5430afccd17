#include "RowStore.h"

#include <cstring>

#include <dbplatform/com/ComError.h>

namespace dbplatform::ado {

using provider::CellView;
using provider::ValueKind;

RowStore::RowStore(std::size_t columns) : columns_(columns) {}

// Keeps the first block and the first arena chunk: a forward-only cursor clears its
// one-row store on every move and should not allocate each time.
void RowStore::Clear() {
    rows_ = 0;
    if (blocks_.size() > 1) blocks_.resize(1);
    if (chunks_.size() > 1) chunks_.resize(1);
    if (!chunks_.empty()) chunks_[0].used = 0;
}

std::size_t RowStore::NewRow() {
    std::size_t row = rows_;
    if (row / kRowsPerBlock >= blocks_.size()) {
        Block block;
        std::size_t cells = kRowsPerBlock * (columns_ ? columns_ : 1);
        block.slots.reset(new std::uint64_t[cells]());
        block.kinds.reset(new std::uint8_t[cells]());
        block.flags.reset(new std::uint8_t[kRowsPerBlock]());
        blocks_.push_back(std::move(block));
    }
    blocks_[row / kRowsPerBlock].flags[row % kRowsPerBlock] = 0;
    ++rows_;
    return row;
}

// A stored text is a 32-bit length followed by its bytes; the slot holds the chunk
// number in its high 24 bits and the offset in its low 40.
std::uint64_t RowStore::StoreBytes(std::string_view bytes) {
    if (bytes.size() > 0xFFFFFFFFu) throw _com_error(E_OUTOFMEMORY, "Value too large.");
    std::size_t need = bytes.size() + 4;
    if (chunks_.empty() || chunks_.back().size - chunks_.back().used < need) {
        Chunk chunk;
        chunk.size = need > kArenaChunk ? need : kArenaChunk;
        chunk.data.reset(new char[chunk.size]);
        chunks_.push_back(std::move(chunk));
    }
    Chunk& chunk = chunks_.back();
    std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(chunk.data.get() + chunk.used, &length, 4);
    if (!bytes.empty()) std::memcpy(chunk.data.get() + chunk.used + 4, bytes.data(), bytes.size());
    std::uint64_t slot = (static_cast<std::uint64_t>(chunks_.size() - 1) << 40) | chunk.used;
    chunk.used += need;
    return slot;
}

void RowStore::Put(std::size_t row, std::size_t column, const CellView& cell) {
    Block& block = blocks_[row / kRowsPerBlock];
    std::size_t index = (row % kRowsPerBlock) * columns_ + column;
    std::uint64_t slot = 0;
    switch (cell.kind) {
        case ValueKind::Null: break;
        case ValueKind::Integer:
        case ValueKind::Boolean: std::memcpy(&slot, &cell.integer, 8); break;
        case ValueKind::Double:
        case ValueKind::Date: std::memcpy(&slot, &cell.real, 8); break;
        case ValueKind::Text:
        case ValueKind::Bytes: slot = StoreBytes(cell.bytes); break;
    }
    block.slots[index] = slot;
    block.kinds[index] = static_cast<std::uint8_t>(cell.kind);
}

void RowStore::AppendFrom(provider::ResultSet& source) {
    std::size_t row = NewRow();
    for (std::size_t c = 0; c < columns_; ++c) Put(row, c, source.Cell(c));
}

void RowStore::AppendValues(const std::vector<provider::Value>& values) {
    std::size_t row = NewRow();
    for (std::size_t c = 0; c < columns_; ++c) Put(row, c, c < values.size() ? values[c].View() : CellView{});
}

void RowStore::AppendRowOf(const RowStore& other, std::size_t row) {
    std::size_t mine = NewRow();
    for (std::size_t c = 0; c < columns_; ++c) Put(mine, c, other.Cell(row, c));
    SetFlags(mine, other.Flags(row));
}

CellView RowStore::Cell(std::size_t row, std::size_t column) const {
    const Block& block = blocks_[row / kRowsPerBlock];
    std::size_t index = (row % kRowsPerBlock) * columns_ + column;
    CellView cell;
    cell.kind = static_cast<ValueKind>(block.kinds[index]);
    std::uint64_t slot = block.slots[index];
    switch (cell.kind) {
        case ValueKind::Null: break;
        case ValueKind::Integer:
        case ValueKind::Boolean: std::memcpy(&cell.integer, &slot, 8); break;
        case ValueKind::Double:
        case ValueKind::Date: std::memcpy(&cell.real, &slot, 8); break;
        case ValueKind::Text:
        case ValueKind::Bytes: {
            const Chunk& chunk = chunks_[slot >> 40];
            const char* at = chunk.data.get() + (slot & 0xFFFFFFFFFFull);
            std::uint32_t length;
            std::memcpy(&length, at, 4);
            cell.bytes = std::string_view(at + 4, length);
            break;
        }
    }
    return cell;
}

void RowStore::SetCell(std::size_t row, std::size_t column, const CellView& cell) { Put(row, column, cell); }

}  // namespace dbplatform::ado

#include "RowStore.h"

#include <sys/mman.h>

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <dbplatform/com/ComError.h>

namespace dbplatform::ado {

using provider::CellView;
using provider::ValueKind;

namespace {
constexpr std::size_t kFirstSlab = std::size_t(32) << 10;
// The first block holds about this many cells to begin with, at least 8 rows.
constexpr std::size_t kFirstBlockCells = 4096;
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kHugeAfter = std::size_t(4) << 20;
}  // namespace

RowStore::Slabs::Slabs(Slabs&& other) noexcept
    : slabs_(std::move(other.slabs_)), used_(std::exchange(other.used_, 0)), total_(std::exchange(other.total_, 0)) {
    other.slabs_.clear();
}

RowStore::Slabs& RowStore::Slabs::operator=(Slabs&& other) noexcept {
    if (this != &other) {
        Release(0);
        slabs_ = std::move(other.slabs_);
        other.slabs_.clear();
        used_ = std::exchange(other.used_, 0);
        total_ = std::exchange(other.total_, 0);
    }
    return *this;
}

RowStore::Slabs::~Slabs() { Release(0); }

void RowStore::Slabs::Release(std::size_t keep) {
    while (slabs_.size() > keep) {
        total_ -= slabs_.back().second;
        std::free(slabs_.back().first);
        slabs_.pop_back();
    }
}

// Keeps the largest slab, which holds a block of the widest rows seen, so that a
// forward-only walk reuses it row after row instead of allocating.
void RowStore::Slabs::Reset() {
    if (slabs_.empty()) return;
    std::size_t largest = 0;
    for (std::size_t i = 1; i < slabs_.size(); ++i)
        if (slabs_[i].second > slabs_[largest].second) largest = i;
    std::swap(slabs_[0], slabs_[largest]);
    Release(1);
    used_ = 0;
}

// The slow side of Take: the last slab has no room (or there is none).
void* RowStore::Slabs::TakeNewSlab(std::size_t bytes, std::size_t alignment) {
    assert(alignment && alignment <= 16 && (alignment & (alignment - 1)) == 0);
    std::size_t at = (used_ + alignment - 1) & ~(alignment - 1);
    if (slabs_.empty() || slabs_.back().second < at || slabs_.back().second - at < bytes) {
        bool huge = total_ >= kHugeAfter;
        std::size_t size = huge ? kHugePage * 2 : (total_ < kFirstSlab ? kFirstSlab : total_);
        if (size < bytes) size = huge ? (bytes + kHugePage - 1) / kHugePage * kHugePage : bytes;
        void* slab = huge ? std::aligned_alloc(kHugePage, size) : std::malloc(size);
        if (!slab) throw _com_error(E_OUTOFMEMORY);
        if (huge) madvise(slab, size, MADV_HUGEPAGE);
        slabs_.emplace_back(static_cast<char*>(slab), size);
        total_ += size;
        at = 0;  // malloc'd: aligned for any of these
    }
    used_ = at + bytes;
    return slabs_.back().first + at;
}

RowStore::RowStore(std::size_t columns) : columns_(columns) {}

// Keeps one slab: a forward-only cursor clears its one-row store on every move and
// should not allocate each time.
void RowStore::Clear() {
    rows_ = 0;
    blocks_.clear();
    slabs_.Reset();
}

// Not zeroed: every cell of a row is written when the row is appended.
RowStore::Block RowStore::NewBlock(std::size_t capacity) {
    assert(capacity > 0 && capacity <= kRowsPerBlock);
    const std::size_t cells = capacity * (columns_ ? columns_ : 1);
    Block block;
    block.slots = static_cast<std::uint64_t*>(slabs_.Take(cells * sizeof(std::uint64_t)));
    block.kinds = static_cast<std::uint8_t*>(slabs_.Take(cells, 1));
    block.flags = static_cast<std::uint8_t*>(slabs_.Take(capacity, 1));
    block.capacity = capacity;
    return block;
}

std::size_t RowStore::NewRow() {
    std::size_t row = rows_;
    const std::size_t index = row / kRowsPerBlock;
    const std::size_t within = row % kRowsPerBlock;
    if (index >= blocks_.size()) {
        std::size_t capacity = kRowsPerBlock;
        if (index == 0) capacity = std::clamp<std::size_t>(kFirstBlockCells / (columns_ ? columns_ : 1), 8, kRowsPerBlock);
        blocks_.push_back(NewBlock(capacity));
    } else if (within == blocks_[index].capacity) {
        // Only the first block is ever short; its rows move into one twice its size (the
        // old one stays in the slabs until the store is cleared).
        assert(index == 0);
        const Block old = blocks_[index];
        Block grown = NewBlock(std::min(old.capacity * 2, kRowsPerBlock));
        const std::size_t cells = within * columns_;
        if (cells) {
            std::memcpy(grown.slots, old.slots, cells * sizeof(std::uint64_t));
            std::memcpy(grown.kinds, old.kinds, cells);
        }
        std::memcpy(grown.flags, old.flags, within);
        blocks_[index] = grown;
    }
    blocks_[index].flags[within] = 0;
    ++rows_;
    return row;
}

// A stored text is its length, seven bits a byte with the high bit saying another
// byte follows (one byte for most texts, five at most), then its bytes, unaligned: a
// short text costs its size plus one. The slot holds its address.
std::uint64_t RowStore::StoreBytes(std::string_view bytes) {
    if (bytes.size() > 0xFFFFFFFFu) throw _com_error(E_OUTOFMEMORY, "Value too large.");
    unsigned char length[5];
    std::size_t lengthBytes = 0;
    std::size_t rest = bytes.size();
    do {
        length[lengthBytes++] = static_cast<unsigned char>((rest & 0x7F) | (rest > 0x7F ? 0x80 : 0));
        rest >>= 7;
    } while (rest);
    char* at = static_cast<char*>(slabs_.Take(lengthBytes + bytes.size(), 1));
    std::memcpy(at, length, lengthBytes);
    if (!bytes.empty()) std::memcpy(at + lengthBytes, bytes.data(), bytes.size());
    return reinterpret_cast<std::uintptr_t>(at);
}

// Inline into the row loop of AppendFrom: a walk stores every cell through here.
[[gnu::always_inline]] inline void RowStore::PutAt(Block& block, std::size_t index, const CellView& cell) {
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

void RowStore::Put(std::size_t row, std::size_t column, const CellView& cell) {
    PutAt(blocks_[row / kRowsPerBlock], (row % kRowsPerBlock) * columns_ + column, cell);
}

// The provider hands over the whole row at once; its views are copied before the next
// fetch can invalidate them.
void RowStore::AppendFrom(provider::ResultSet& source) {
    if (incoming_.size() < columns_) incoming_.resize(columns_);
    const CellView* cells = incoming_.data();
    source.ReadRow(incoming_.data(), columns_);
    std::size_t row = NewRow();
    Block& block = blocks_[row / kRowsPerBlock];
    std::size_t first = (row % kRowsPerBlock) * columns_;
    for (std::size_t c = 0; c < columns_; ++c) PutAt(block, first + c, cells[c]);
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

void RowStore::SetCell(std::size_t row, std::size_t column, const CellView& cell) { Put(row, column, cell); }

}  // namespace dbplatform::ado

#include "OpenCursors.h"

#include <algorithm>
#include <cassert>

namespace dbplatform::ado {

// Slots of recordsets closed or released since are dropped here, so that a connection
// that opens many recordsets over its life keeps only as many entries as are open.
std::shared_ptr<CursorSlot> OpenCursors::Add(std::unique_ptr<Cursor> cursor) {
    assert(cursor);
    std::erase_if(slots_, [](const std::weak_ptr<CursorSlot>& slot) { return slot.expired(); });
    auto slot = std::make_shared<CursorSlot>();
    slot->cursor = std::move(cursor);
    slots_.push_back(slot);
    return slot;
}

// The list is emptied before any cursor is touched, so that the connection forgets
// every slot even if closing one of them fails.
void OpenCursors::CloseAll() {
    std::vector<std::weak_ptr<CursorSlot>> open;
    open.swap(slots_);
    for (const std::weak_ptr<CursorSlot>& weak : open) {
        std::shared_ptr<CursorSlot> slot = weak.lock();
        if (!slot || !slot->cursor) continue;
        slot->cursor->DiscardEdit();
        slot->cursor.reset();
    }
}

}  // namespace dbplatform::ado

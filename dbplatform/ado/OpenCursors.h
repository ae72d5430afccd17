// The recordsets open on one connection, as the connection sees them. Closing a
// connection closes every recordset still open on it, yet neither object may keep the
// other alive through this link (a recordset already holds its connection) nor point at
// one that is gone: so a recordset owns its cursor through a slot that it alone holds,
// and the connection keeps only weak references to the slots.
#pragma once

#include <memory>
#include <vector>

#include "Cursor.h"

namespace dbplatform::ado {

// Where a recordset keeps its cursor; empty once the recordset or its connection closed it.
struct CursorSlot {
    std::unique_ptr<Cursor> cursor;
};

// Threads: belongs to one connection, used by the thread that uses the connection.
class OpenCursors {
public:
    // Takes `cursor` into a new slot for the recordset to hold, and remembers the slot.
    std::shared_ptr<CursorSlot> Add(std::unique_ptr<Cursor> cursor);
    // Empties every slot still held, dropping pending edits: only an explicit Update saves.
    void CloseAll();

private:
    std::vector<std::weak_ptr<CursorSlot>> slots_;
};

}  // namespace dbplatform::ado

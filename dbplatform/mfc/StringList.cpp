// CStringList: a doubly linked list of CString. A POSITION is the address of a node.
#include <dbplatform/mfc/StringList.h>

#include <climits>
#include <climits>
#include <cstdint>

struct CStringList::Node {
    CString text;
    Node* previous = nullptr;
    Node* next = nullptr;
};

namespace {
// Templates, so that the list's private node type is named only inside its members.
template <class Node>
Node* NodeAt(POSITION position) { return reinterpret_cast<Node*>(position); }
template <class Node>
POSITION PositionOf(Node* node) { return reinterpret_cast<POSITION>(node); }

// What the element accessors hand out when asked for an element that is not there (an
// empty list's head, a null POSITION): an empty text, instead of a read through null.
CString& Nothing() {
    thread_local CString nothing;
    nothing.Empty();
    return nothing;
}
}  // namespace

CRuntimeClass CStringList::classCStringList = {"CStringList", sizeof(CStringList), 0xFFFF, nullptr,
                                               &CObject::classCObject};

CStringList::CStringList(int /*blockSize*/) {}

CStringList::~CStringList() { RemoveAll(); }

CRuntimeClass* CStringList::GetRuntimeClass() const { return &classCStringList; }

CString& CStringList::GetHead() { return head_ ? head_->text : Nothing(); }
const CString& CStringList::GetHead() const { return head_ ? head_->text : Nothing(); }
CString& CStringList::GetTail() { return tail_ ? tail_->text : Nothing(); }
const CString& CStringList::GetTail() const { return tail_ ? tail_->text : Nothing(); }

CString CStringList::RemoveHead() {
    if (!head_) return CString();
    CString text = head_->text;
    RemoveAt(PositionOf(head_));
    return text;
}

CString CStringList::RemoveTail() {
    if (!tail_) return CString();
    CString text = tail_->text;
    RemoveAt(PositionOf(tail_));
    return text;
}

POSITION CStringList::AddHead(const char* text) { return InsertBefore(nullptr, text); }
POSITION CStringList::AddHead(const CString& text) { return InsertBefore(nullptr, text); }
POSITION CStringList::AddTail(const char* text) { return InsertAfter(nullptr, text); }
POSITION CStringList::AddTail(const CString& text) { return InsertAfter(nullptr, text); }

// Frees every node; the list is empty and usable afterwards.
void CStringList::RemoveAll() {
    Node* node = head_;
    while (node) {
        Node* next = node->next;
        delete node;
        node = next;
    }
    head_ = tail_ = nullptr;
    count_ = 0;
}

POSITION CStringList::GetHeadPosition() const { return PositionOf(head_); }
POSITION CStringList::GetTailPosition() const { return PositionOf(tail_); }

// A null position stays null and yields the empty text.
CString& CStringList::GetNext(POSITION& position) {
    Node* node = NodeAt<Node>(position);
    if (!node) return Nothing();
    position = PositionOf(node->next);
    return node->text;
}

const CString& CStringList::GetNext(POSITION& position) const {
    return const_cast<CStringList*>(this)->GetNext(position);
}

CString& CStringList::GetPrev(POSITION& position) {
    Node* node = NodeAt<Node>(position);
    if (!node) return Nothing();
    position = PositionOf(node->previous);
    return node->text;
}

const CString& CStringList::GetPrev(POSITION& position) const {
    return const_cast<CStringList*>(this)->GetPrev(position);
}

CString& CStringList::GetAt(POSITION position) {
    Node* node = NodeAt<Node>(position);
    return node ? node->text : Nothing();
}

const CString& CStringList::GetAt(POSITION position) const { return const_cast<CStringList*>(this)->GetAt(position); }

void CStringList::SetAt(POSITION position, const char* text) {
    if (Node* node = NodeAt<Node>(position)) node->text = text;
}

void CStringList::RemoveAt(POSITION position) {
    Node* node = NodeAt<Node>(position);
    if (!node) return;
    (node->previous ? node->previous->next : head_) = node->next;
    (node->next ? node->next->previous : tail_) = node->previous;
    delete node;
    --count_;
}

// A null position inserts at the head.
POSITION CStringList::InsertBefore(POSITION position, const char* text) {
    Node* before = NodeAt<Node>(position);
    if (!before) before = head_;
    Node* node = new Node{CString(text), nullptr, before};
    if (before) {
        node->previous = before->previous;
        (before->previous ? before->previous->next : head_) = node;
        before->previous = node;
    } else {
        head_ = tail_ = node;
    }
    ++count_;
    return PositionOf(node);
}

// A null position inserts at the tail.
POSITION CStringList::InsertAfter(POSITION position, const char* text) {
    Node* after = NodeAt<Node>(position);
    if (!after) after = tail_;
    Node* node = new Node{CString(text), after, nullptr};
    if (after) {
        node->next = after->next;
        (after->next ? after->next->previous : tail_) = node;
        after->next = node;
    } else {
        head_ = tail_ = node;
    }
    ++count_;
    return PositionOf(node);
}

// Exact, case-sensitive match; the search starts after `startAfter` (at the head when null).
POSITION CStringList::Find(const char* text, POSITION startAfter) const {
    Node* node = startAfter ? NodeAt<Node>(startAfter)->next : head_;
    for (; node; node = node->next)
        if (node->text == text) return PositionOf(node);
    return nullptr;
}

POSITION CStringList::FindIndex(int index) const {
    if (index < 0 || index >= count_) return nullptr;
    Node* node = head_;
    while (index-- > 0) node = node->next;
    return PositionOf(node);
}

void CStringList::Serialize(CArchive& archive) {
    if (archive.IsStoring()) {
        std::uint32_t count = static_cast<std::uint32_t>(count_);
        archive.Write(&count, sizeof count);
        for (Node* node = head_; node; node = node->next) {
            std::uint32_t length = static_cast<std::uint32_t>(node->text.GetLength());
            archive.Write(&length, sizeof length);
            archive.Write(node->text.GetString(), length);
        }
        return;
    }
    std::uint32_t count = 0;
    if (archive.Read(&count, sizeof count) != sizeof count) return;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t length = 0;
        if (archive.Read(&length, sizeof length) != sizeof length) return;
        // A length larger than the whole archive is damage, not a reason to allocate it;
        // one past INT_MAX could not be a CString's length.
        if (length > archive.Buffer().size() || length > static_cast<std::uint32_t>(INT_MAX)) return;
        CString text;
        char* buffer = text.GetBufferSetLength(static_cast<int>(length));
        // A truncated archive ends the load with what was complete.
        if (archive.Read(buffer, length) != length) return;
        AddTail(text);
    }
}

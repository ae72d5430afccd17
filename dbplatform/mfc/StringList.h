// CStringList: a doubly linked list of CString, walked with POSITION.
#pragma once

#include <dbplatform/mfc/Object.h>
#include <dbplatform/mfc/String.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

struct __POSITION {};
using POSITION = __POSITION*;

class CStringList : public CObject {
public:
    explicit CStringList(int blockSize = 10);
    CStringList(const CStringList&) = delete;
    CStringList& operator=(const CStringList&) = delete;
    ~CStringList() override;

    CRuntimeClass* GetRuntimeClass() const override;
    // Stores the count and then each text (length and bytes); loading appends at the tail.
    void Serialize(CArchive& archive) override;
    static CRuntimeClass classCStringList;

    int GetCount() const { return count_; }
    int GetSize() const { return count_; }
    BOOL IsEmpty() const { return count_ == 0; }

    CString& GetHead();
    const CString& GetHead() const;
    CString& GetTail();
    const CString& GetTail() const;
    CString RemoveHead();
    CString RemoveTail();
    POSITION AddHead(const char* text);
    POSITION AddHead(const CString& text);
    POSITION AddTail(const char* text);
    POSITION AddTail(const CString& text);
    void RemoveAll();

    POSITION GetHeadPosition() const;
    POSITION GetTailPosition() const;
    // Returns the element at `position` and moves `position` to the next (nullptr after the tail).
    CString& GetNext(POSITION& position);
    const CString& GetNext(POSITION& position) const;
    CString& GetPrev(POSITION& position);
    const CString& GetPrev(POSITION& position) const;
    CString& GetAt(POSITION position);
    const CString& GetAt(POSITION position) const;
    void SetAt(POSITION position, const char* text);
    void RemoveAt(POSITION position);
    POSITION InsertBefore(POSITION position, const char* text);
    POSITION InsertAfter(POSITION position, const char* text);
    POSITION Find(const char* text, POSITION startAfter = nullptr) const;
    POSITION FindIndex(int index) const;

private:
    struct Node;
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    int count_ = 0;
};

DBPLATFORM_PUBLIC_END

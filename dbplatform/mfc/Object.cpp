// CObject, its run-time class information, and the archive and dump context it writes to.
#include <dbplatform/mfc/Object.h>

#include <cstring>

CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};

CDumpContext afxDump;

// Walks the chain of base classes; a class counts as derived from itself.
BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    if (!base) return FALSE;
    for (const CRuntimeClass* current = this; current; current = current->m_pBaseClass)
        if (current == base) return TRUE;
    return FALSE;
}

CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

// The root class has no state of its own to store or load.
void CObject::Serialize(CArchive& /*archive*/) {}

void CObject::AssertValid() const {}

// The form MFC's diagnostics print for an object with no richer Dump: its class and address.
void CObject::Dump(CDumpContext& context) const {
    context << "a " << GetRuntimeClass()->m_lpszClassName << " at " << static_cast<const void*>(this)
            << "\n";
}

BOOL CObject::IsKindOf(const CRuntimeClass* runtimeClass) const {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

void CArchive::Write(const void* data, UINT size) {
    if (!data || size == 0) return;
    buffer_.append(static_cast<const char*>(data), size);
}

// Reads at most what remains; returns the number of bytes copied (0 at the end).
UINT CArchive::Read(void* data, UINT size) {
    if (!data || readOffset_ >= buffer_.size()) return 0;
    std::size_t available = buffer_.size() - readOffset_;
    std::size_t count = size < available ? size : available;
    std::memcpy(data, buffer_.data() + readOffset_, count);
    readOffset_ += count;
    return static_cast<UINT>(count);
}

CDumpContext& CDumpContext::operator<<(const char* text) {
    if (stream_ && text) std::fputs(text, stream_);
    return *this;
}

CDumpContext& CDumpContext::operator<<(int value) {
    if (stream_) std::fprintf(stream_, "%d", value);
    return *this;
}

CDumpContext& CDumpContext::operator<<(long value) {
    if (stream_) std::fprintf(stream_, "%ld", value);
    return *this;
}

CDumpContext& CDumpContext::operator<<(unsigned int value) {
    if (stream_) std::fprintf(stream_, "%u", value);
    return *this;
}

CDumpContext& CDumpContext::operator<<(double value) {
    if (stream_) std::fprintf(stream_, "%f", value);
    return *this;
}

// Addresses print as "$" and the hex value, as MFC's dumps show them.
CDumpContext& CDumpContext::operator<<(const void* pointer) {
    if (stream_) std::fprintf(stream_, "$%p", pointer);
    return *this;
}

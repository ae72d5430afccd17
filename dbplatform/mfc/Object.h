// CObject and the little of MFC's run-time class information, archives and dump
// contexts that it needs.
#pragma once

#include <cstdio>
#include <string>

#include <dbplatform/base/WinTypes.h>
#include <dbplatform/base/Export.h>

DBPLATFORM_PUBLIC_BEGIN

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;
    CObject* (*m_pfnCreateObject)();
    const CRuntimeClass* m_pBaseClass;

    BOOL IsDerivedFrom(const CRuntimeClass* base) const;
};

// A minimal archive: a byte stream in memory that Serialize can write to or read from.
class CArchive {
public:
    enum Mode { store = 0, load = 1 };
    explicit CArchive(Mode mode) : mode_(mode) {}
    BOOL IsStoring() const { return mode_ == store; }
    BOOL IsLoading() const { return mode_ == load; }
    void Write(const void* data, UINT size);
    UINT Read(void* data, UINT size);
    std::string& Buffer() { return buffer_; }

private:
    Mode mode_;
    std::string buffer_;
    std::size_t readOffset_ = 0;
};

// Where Dump writes: standard error unless given a stream.
class CDumpContext {
public:
    explicit CDumpContext(std::FILE* stream = stderr) : stream_(stream) {}
    CDumpContext& operator<<(const char* text);
    CDumpContext& operator<<(int value);
    CDumpContext& operator<<(long value);
    CDumpContext& operator<<(unsigned int value);
    CDumpContext& operator<<(double value);
    CDumpContext& operator<<(const void* pointer);

private:
    std::FILE* stream_;
};
extern CDumpContext afxDump;

// The root class. Its virtual functions come in MFC's order: GetRuntimeClass, the
// destructor, Serialize, AssertValid, Dump; classes deriving from it (IQuillet) rely on it.
class CObject {
public:
    virtual CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    virtual void Serialize(CArchive& archive);
    virtual void AssertValid() const;
    virtual void Dump(CDumpContext& context) const;

    BOOL IsKindOf(const CRuntimeClass* runtimeClass) const;
    static CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

DBPLATFORM_PUBLIC_END

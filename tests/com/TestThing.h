// A small COM class for the runtime and smart-pointer tests: it answers IUnknown and
// ITestThing, not IDispatch, and counts the live objects so leaks show up.
#pragma once

#include <dbplatform/com/ComRuntime.h>
#include <dbplatform/com/Unknown.h>

struct ITestThing : IUnknown {
    static constexpr IID iid{0x6B1F3A20, 0x1C2D, 0x4E5F, {0x90, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}};
    virtual int Value() = 0;
};

class TestThing : public dbplatform::RefCounted<ITestThing> {
public:
    static inline int alive = 0;
    static constexpr CLSID clsid{0x6B1F3A21, 0x1C2D, 0x4E5F, {0x90, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x78}};
    static constexpr const char* progId = "Test.Thing";

    TestThing() { ++alive; }
    ~TestThing() override { --alive; }

    HRESULT QueryInterface(REFIID interfaceId, void** object) override {
        if (!object) return E_POINTER;
        if (interfaceId == IUnknown::iid || interfaceId == ITestThing::iid) {
            AddRef();
            *object = static_cast<ITestThing*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    int Value() override { return 42; }
    ULONG References() const { return references_; }

    static void Register() {
        dbplatform::RegisterComClass(progId, clsid, [](IUnknown** object) {
            *object = new TestThing;
            return S_OK;
        });
    }
};

// The class registry of the process: ProgID and CLSID to class factory, creation of
// objects with a class context, and the creation failures that tests inject.
#include <dbplatform/com/ComRuntime.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <dbplatform/base/AsciiText.h>
#include <dbplatform/base/CodePage.h>

namespace {

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const {
        if (a.Data1 != b.Data1) return a.Data1 < b.Data1;
        if (a.Data2 != b.Data2) return a.Data2 < b.Data2;
        if (a.Data3 != b.Data3) return a.Data3 < b.Data3;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return a.Data4[i] < b.Data4[i];
        return false;
    }
};

struct ComClass {
    dbplatform::ClassFactory factory;
    std::vector<std::string> progIds;  // folded; a class may be known by several names
};

struct Registry {
    std::mutex mutex;
    // ProgIDs are case-insensitive (registry key names on Windows): keyed ASCII-lowered.
    std::map<std::string, CLSID> classIdByProgId;
    std::map<CLSID, ComClass, GuidLess> classes;
    // Keyed by folded ProgID or by the CLSID text, so a failure can be set before the
    // class registers and still applies once it does.
    std::map<std::string, HRESULT> createFailures;
};

// A function-local static: the library's classes register from static initialisers in
// other translation units, whose order relative to this one is unspecified.
Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// The injected failure for a class, by any of its names or its CLSID; S_OK when none.
// Called with the registry locked.
HRESULT CreateFailureFor(const Registry& registry, const CLSID& clsid, const ComClass* comClass) {
    if (registry.createFailures.empty()) return S_OK;
    auto found = registry.createFailures.find(dbplatform::GuidToText(clsid));
    if (found != registry.createFailures.end()) return found->second;
    if (comClass) {
        for (const std::string& progId : comClass->progIds) {
            found = registry.createFailures.find(progId);
            if (found != registry.createFailures.end()) return found->second;
        }
    }
    return S_OK;
}

}  // namespace

namespace dbplatform {

// Registering a ProgID again points it at the new class; registering a CLSID again
// replaces its factory and adds the new name.
void RegisterComClass(const char* progId, const CLSID& clsid, ClassFactory factory) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    ComClass& comClass = registry.classes[clsid];
    comClass.factory = std::move(factory);
    if (progId && *progId) {
        std::string folded = dbplatform::AsciiLowered(progId);
        registry.classIdByProgId[folded] = clsid;
        bool known = false;
        for (const std::string& name : comClass.progIds) known = known || name == folded;
        if (!known) comClass.progIds.push_back(folded);
    }
}

// A braced CLSID text names a class directly, as CLSIDFromString would read it, so
// hosts may pass either form wherever a ProgID is expected.
HRESULT ClassIdFromProgId(const char* progId, CLSID* clsid) {
    if (!clsid) return E_INVALIDARG;
    if (!progId) return E_INVALIDARG;
    if (GuidFromText(progId, clsid)) return S_OK;
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.classIdByProgId.find(dbplatform::AsciiLowered(progId));
    if (found == registry.classIdByProgId.end()) {
        *clsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    *clsid = found->second;
    return S_OK;
}

void SetCreateFailure(const char* progId, HRESULT hr) {
    if (!progId) return;
    std::string key;
    GUID clsid;
    if (GuidFromText(progId, &clsid))
        key = GuidToText(clsid);
    else
        key = dbplatform::AsciiLowered(progId);
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    if (hr == S_OK)
        registry.createFailures.erase(key);
    else
        registry.createFailures[key] = hr;
}

}  // namespace dbplatform

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid) return E_INVALIDARG;
    std::string utf8 = dbplatform::Utf8FromWide(std::u16string_view(progId));
    return dbplatform::ClassIdFromProgId(utf8.c_str(), clsid);
}

// Creation does not require CoInitialize on the calling thread: the registry has no
// apartments, and a host that forgets it should still reach its objects (its count is
// only kept so that the answers of CoInitialize match Windows).
// The factory runs outside the registry lock: constructors of our classes may themselves
// create objects (a recordset makes its connection) or register classes.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID interfaceId, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    // Every class here is in-process; a context that allows none of the local kinds
    // names nothing we could start.
    if ((context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)) == 0)
        return context == 0 ? E_INVALIDARG : REGDB_E_CLASSNOTREG;

    dbplatform::ClassFactory factory;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto found = registry.classes.find(clsid);
        const ComClass* comClass = found == registry.classes.end() ? nullptr : &found->second;
        HRESULT failure = CreateFailureFor(registry, clsid, comClass);
        if (failure != S_OK) return failure;
        if (!comClass || !comClass->factory) return REGDB_E_CLASSNOTREG;
        factory = comClass->factory;
    }

    IUnknown* created = nullptr;
    HRESULT hr = factory(&created);
    if (FAILED(hr)) {
        if (created) created->Release();
        return hr;
    }
    if (!created) return E_UNEXPECTED;
    hr = created->QueryInterface(interfaceId, object);
    created->Release();
    if (FAILED(hr)) *object = nullptr;
    return hr;
}

HRESULT OleRun(IUnknown* object) { return object ? S_OK : E_INVALIDARG; }

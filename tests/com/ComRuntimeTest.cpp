#include <gtest/gtest.h>

#include <thread>

#include <dbplatform/com/ComRuntime.h>

#include "TestThing.h"

namespace {

class ComRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override { TestThing::Register(); }
    void TearDown() override {
        dbplatform::SetCreateFailure(TestThing::progId, S_OK);
        EXPECT_EQ(TestThing::alive, 0) << "an object was leaked";
    }
};

TEST(GuidTest, TextRoundTripsInUpperCaseAndRefusesOtherForms) {
    GUID guid;
    ASSERT_TRUE(dbplatform::GuidFromText("{00000514-0000-0010-8000-00aa006d2ea4}", &guid));
    EXPECT_EQ(guid.Data1, 0x514u);
    EXPECT_EQ(guid.Data4[7], 0xA4);
    EXPECT_EQ(dbplatform::GuidToText(guid), "{00000514-0000-0010-8000-00AA006D2EA4}");
    EXPECT_EQ(dbplatform::GuidToText(TestThing::clsid), "{6B1F3A21-1C2D-4E5F-9011-223344556678}");

    const char* refused[] = {
        "",
        "00000514-0000-0010-8000-00AA006D2EA4",
        "{00000514-0000-0010-8000-00AA006D2EA4",
        "{00000514-0000-0010-8000-00AA006D2EA4}x",
        "{00000514+0000-0010-8000-00AA006D2EA4}",
        "{0000051G-0000-0010-8000-00AA006D2EA4}",
        "{00000514-0000-0010-800000AA006D2EA4-}",
        "ADODB.Connection",
    };
    for (const char* text : refused) {
        GUID untouched = TestThing::clsid;
        EXPECT_FALSE(dbplatform::GuidFromText(text, &untouched)) << text;
        EXPECT_EQ(untouched, TestThing::clsid) << text;
    }
}

TEST_F(ComRuntimeTest, ProgIdResolvesCaseInsensitivelyAndBracedTextIsAClassId) {
    struct Case {
        const char* name;
        HRESULT hr;
        CLSID clsid;
    };
    const Case cases[] = {
        {"Test.Thing", S_OK, TestThing::clsid},
        {"TEST.THING", S_OK, TestThing::clsid},
        {"{6b1f3a21-1c2d-4e5f-9011-223344556678}", S_OK, TestThing::clsid},
        {"Test.Thing.Missing", CO_E_CLASSSTRING, GUID_NULL},
        {"", CO_E_CLASSSTRING, GUID_NULL},
    };
    for (const Case& c : cases) {
        CLSID clsid;
        EXPECT_EQ(dbplatform::ClassIdFromProgId(c.name, &clsid), c.hr) << c.name;
        EXPECT_EQ(clsid, c.clsid) << c.name;
    }
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"test.thing", &clsid), S_OK);
    EXPECT_EQ(clsid, TestThing::clsid);
    EXPECT_EQ(CLSIDFromProgID(u"No.Such.Class", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(dbplatform::ClassIdFromProgId(nullptr, &clsid), E_INVALIDARG);
}

TEST_F(ComRuntimeTest, CreationResults) {
    static constexpr CLSID unknownClass{0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
    TestThing outer;  // any object serves as the would-be aggregator
    struct Case {
        const char* what;
        CLSID clsid;
        IUnknown* outer;
        DWORD context;
        IID interfaceId;
        HRESULT hr;
    };
    const Case cases[] = {
        {"registered, own interface", TestThing::clsid, nullptr, CLSCTX_ALL, ITestThing::iid, S_OK},
        {"context 7", TestThing::clsid, nullptr, 7, IUnknown::iid, S_OK},
        {"unknown class", unknownClass, nullptr, CLSCTX_ALL, IUnknown::iid, REGDB_E_CLASSNOTREG},
        {"aggregation", TestThing::clsid, &outer, CLSCTX_ALL, IUnknown::iid, CLASS_E_NOAGGREGATION},
        {"interface the class lacks", TestThing::clsid, nullptr, CLSCTX_ALL, IDispatch::iid, E_NOINTERFACE},
        {"remote only", TestThing::clsid, nullptr, CLSCTX_REMOTE_SERVER, IUnknown::iid, REGDB_E_CLASSNOTREG},
        {"no context", TestThing::clsid, nullptr, 0, IUnknown::iid, E_INVALIDARG},
    };
    for (const Case& c : cases) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(c.clsid, c.outer, c.context, c.interfaceId, &object), c.hr) << c.what;
        if (SUCCEEDED(c.hr)) {
            ASSERT_NE(object, nullptr) << c.what;
            auto* unknown = static_cast<IUnknown*>(object);
            EXPECT_EQ(static_cast<TestThing*>(static_cast<ITestThing*>(unknown))->References(), 1u) << c.what;
            unknown->Release();
        } else {
            EXPECT_EQ(object, nullptr) << c.what;
        }
    }
    EXPECT_EQ(CoCreateInstance(TestThing::clsid, nullptr, CLSCTX_ALL, IUnknown::iid, nullptr), E_POINTER);
    EXPECT_EQ(TestThing::alive, 1);  // only `outer`
}

TEST_F(ComRuntimeTest, InjectedFailureAppliesByProgIdAndClassIdUntilCleared) {
    void* object = nullptr;
    dbplatform::SetCreateFailure("test.THING", E_OUTOFMEMORY);
    EXPECT_EQ(CoCreateInstance(TestThing::clsid, nullptr, CLSCTX_ALL, IUnknown::iid, &object), E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
    dbplatform::SetCreateFailure("Test.Thing", S_OK);
    EXPECT_EQ(CoCreateInstance(TestThing::clsid, nullptr, CLSCTX_ALL, IUnknown::iid, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();

    // Set by CLSID text, before a second name of the class is known.
    dbplatform::SetCreateFailure("{6B1F3A21-1C2D-4E5F-9011-223344556678}", E_ACCESSDENIED);
    EXPECT_EQ(CoCreateInstance(TestThing::clsid, nullptr, CLSCTX_ALL, IUnknown::iid, &object), E_ACCESSDENIED);
    dbplatform::SetCreateFailure("{6B1F3A21-1C2D-4E5F-9011-223344556678}", S_OK);
    EXPECT_EQ(CoCreateInstance(TestThing::clsid, nullptr, CLSCTX_ALL, IUnknown::iid, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
}

TEST_F(ComRuntimeTest, FailingFactoryReportsItsCode) {
    static constexpr CLSID failing{0x6B1F3A22, 0x1C2D, 0x4E5F, {0x90, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x79}};
    dbplatform::RegisterComClass("Test.Failing", failing, [](IUnknown** object) {
        *object = nullptr;
        return E_OUTOFMEMORY;
    });
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(failing, nullptr, CLSCTX_ALL, IUnknown::iid, &object), E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
}

TEST(ComInitializeTest, CountIsPerThreadAndNeverNegative) {
    // A fresh thread starts uninitialised whatever this thread did.
    std::thread([] {
        EXPECT_EQ(dbplatform::ComInitializeCount(), 0);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(dbplatform::ComInitializeCount(), 3);
        std::thread([] { EXPECT_EQ(dbplatform::ComInitializeCount(), 0); }).join();
        for (int i = 0; i < 5; ++i) CoUninitialize();
        EXPECT_EQ(dbplatform::ComInitializeCount(), 0);
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    }).join();
}

TEST(OleRunTest, NullIsAnInvalidArgument) {
    TestThing thing;
    EXPECT_EQ(OleRun(&thing), S_OK);
    EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
}

}  // namespace

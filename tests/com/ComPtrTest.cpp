#include <gtest/gtest.h>

#include <dbplatform/com/ComPtr.h>

#include "TestThing.h"

namespace {

using ITestThingPtr = _com_ptr_t<ITestThing>;

class ComPtrTest : public ::testing::Test {
protected:
    void SetUp() override { TestThing::Register(); }
    void TearDown() override { EXPECT_EQ(TestThing::alive, 0) << "an object was leaked"; }

    static ULONG References(const ITestThingPtr& pointer) {
        return static_cast<TestThing*>(pointer.GetInterfacePtr())->References();
    }
};

TEST_F(ComPtrTest, CreateInstanceReturnsTheResult) {
    struct Case {
        const char* name;
        HRESULT hr;
    };
    const Case cases[] = {
        {"Test.Thing", S_OK},
        {"{6B1F3A21-1C2D-4E5F-9011-223344556678}", S_OK},
        {"No.Such.Class", CO_E_CLASSSTRING},
        {"{11111111-2222-3333-4444-555555555555}", REGDB_E_CLASSNOTREG},
    };
    for (const Case& c : cases) {
        ITestThingPtr thing;
        EXPECT_EQ(thing.CreateInstance(c.name), c.hr) << c.name;
        EXPECT_EQ(static_cast<bool>(thing), SUCCEEDED(c.hr)) << c.name;
        if (thing) {
            EXPECT_EQ(thing->Value(), 42);
        }
    }
    // An interface the class lacks leaves the pointer empty and the object freed.
    IDispatchPtr dispatch;
    EXPECT_EQ(dispatch.CreateInstance(TestThing::progId), E_NOINTERFACE);
    EXPECT_FALSE(dispatch);
    // Creating again releases what the pointer held.
    ITestThingPtr thing;
    ASSERT_EQ(thing.CreateInstance(TestThing::clsid), S_OK);
    ASSERT_EQ(thing.CreateInstance(TestThing::clsid), S_OK);
    EXPECT_EQ(TestThing::alive, 1);
}

TEST_F(ComPtrTest, CopiesShareOneObjectAndCountReferences) {
    ITestThingPtr first;
    ASSERT_EQ(first.CreateInstance(TestThing::progId), S_OK);
    EXPECT_EQ(References(first), 1u);
    {
        ITestThingPtr copy = first;
        ITestThingPtr assigned;
        assigned = copy;
        EXPECT_EQ(References(first), 3u);
        EXPECT_TRUE(copy == first);
        ITestThingPtr moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(References(first), 3u);
        ITestThingPtr target;
        ASSERT_EQ(target.CreateInstance(TestThing::progId), S_OK);
        target = std::move(moved);  // releases the object it held, takes the moved one
        EXPECT_FALSE(moved);
        EXPECT_TRUE(target == first);
        EXPECT_EQ(References(first), 3u);
        EXPECT_EQ(TestThing::alive, 1);
    }
    EXPECT_EQ(References(first), 1u);

    first = first;  // self-assignment keeps the only reference alive
    ASSERT_TRUE(first);
    EXPECT_EQ(References(first), 1u);
    EXPECT_EQ(first->Value(), 42);

    IUnknownPtr unknown(first);  // QueryInterface to another interface adds a reference
    EXPECT_EQ(References(first), 2u);
    unknown = nullptr;
    first = nullptr;
    EXPECT_EQ(TestThing::alive, 0);
}

TEST_F(ComPtrTest, AttachDetachAndAddressOfTransferOwnership) {
    ITestThingPtr owner;
    ITestThing* raw = nullptr;
    ASSERT_EQ(CoCreateInstance(TestThing::clsid, nullptr, CLSCTX_ALL, ITestThing::iid, reinterpret_cast<void**>(&raw)),
              S_OK);
    owner.Attach(raw);  // adopts the creator's reference
    EXPECT_EQ(References(owner), 1u);
    ITestThing* detached = owner.Detach();
    EXPECT_FALSE(owner);
    ITestThingPtr adopted(detached, false);
    EXPECT_EQ(References(adopted), 1u);
    // operator& empties the pointer first, so an out parameter never leaks the old object.
    ASSERT_EQ(CoCreateInstance(TestThing::clsid, nullptr, CLSCTX_ALL, ITestThing::iid,
                               reinterpret_cast<void**>(&adopted)),
              S_OK);
    EXPECT_EQ(TestThing::alive, 1);
}

TEST_F(ComPtrTest, CallsThroughAnEmptyPointerRaiseInvalidPointer) {
    ITestThingPtr empty;
    try {
        empty->Value();
        FAIL() << "no exception";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_POINTER);
        EXPECT_STREQ(error.ErrorMessage(), "Invalid pointer");
    }
    EXPECT_THROW(*empty, _com_error);
}

}  // namespace

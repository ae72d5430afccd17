// The DataLinks class over a prompt that answers like a user.
#include <dbplatform/dbplatform.h>
#include <gtest/gtest.h>

#include <string>

namespace {

_com_ptr_t<IDataSourceLocator> CreateLocator() {
    _com_ptr_t<IDataSourceLocator> locator;
    EXPECT_EQ(locator.CreateInstance("DataLinks"), S_OK);
    return locator;
}

class DataLinks : public ::testing::Test {
protected:
    void TearDown() override { dbplatform::SetDataLinkPrompt({}); }
};

TEST_F(DataLinks, PromptNewHandsOutAConnectionWithTheAcceptedString) {
    struct Case {
        bool accept;
        HRESULT result;
        const char* connectionString;  // nullptr: no connection
    } cases[] = {
        {true, S_OK, "Provider=SQLite;Data Source=/tmp/x.db"},
        {false, S_FALSE, nullptr},
    };
    for (const auto& c : cases) {
        std::string seen = "(not called)";
        dbplatform::SetDataLinkPrompt([&](std::string& text) {
            seen = text;
            text = "Provider=SQLite;Data Source=/tmp/x.db";
            return c.accept;
        });
        auto locator = CreateLocator();
        ASSERT_TRUE(locator);
        IDispatch* created = reinterpret_cast<IDispatch*>(0x1);
        EXPECT_EQ(locator->PromptNew(&created), c.result);
        EXPECT_EQ(seen, "");
        if (!c.connectionString) {
            EXPECT_EQ(created, nullptr);
            continue;
        }
        ASSERT_NE(created, nullptr);
        IDispatchPtr dispatch(created, false);
        _ConnectionPtr connection(dispatch);
        ASSERT_TRUE(connection);
        EXPECT_EQ(connection->GetConnectionString().str(), c.connectionString);
        EXPECT_EQ(connection->GetState(), adStateClosed);
    }
}

TEST_F(DataLinks, PromptEditChangesTheConnectionOnlyWhenAccepted) {
    for (bool accept : {true, false}) {
        std::string seen;
        dbplatform::SetDataLinkPrompt([&](std::string& text) {
            seen = text;
            text = "Provider=SQLite;Data Source=/tmp/edited.db";
            return accept;
        });
        _ConnectionPtr connection;
        ASSERT_EQ(connection.CreateInstance(CLSID_Connection), S_OK);
        connection->PutConnectionString("Provider=SQLite;Data Source=/tmp/old.db");
        IDispatch* dispatch = connection.GetInterfacePtr();
        VARIANT_BOOL accepted = 7;
        EXPECT_EQ(CreateLocator()->PromptEdit(&dispatch, &accepted), S_OK);
        EXPECT_EQ(accepted, accept ? VARIANT_TRUE : VARIANT_FALSE);
        EXPECT_EQ(seen, "Provider=SQLite;Data Source=/tmp/old.db");
        EXPECT_EQ(connection->GetConnectionString().str(),
                  accept ? "Provider=SQLite;Data Source=/tmp/edited.db" : "Provider=SQLite;Data Source=/tmp/old.db");
    }
}

TEST_F(DataLinks, RegisteredUnderItsClassIdAndInterfaces) {
    IUnknown* unknown = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DataLinks, nullptr, 7, IUnknown::iid, reinterpret_cast<void**>(&unknown)), S_OK);
    IUnknownPtr owner(unknown, false);
    for (const IID& iid : {IDispatch::iid, IDataSourceLocator::iid}) {
        void* object = nullptr;
        EXPECT_EQ(unknown->QueryInterface(iid, &object), S_OK);
        if (object) static_cast<IUnknown*>(object)->Release();
    }
    void* connection = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(unknown->QueryInterface(_Connection::iid, &connection), E_NOINTERFACE);
    EXPECT_EQ(connection, nullptr);

    auto locator = CreateLocator();
    EXPECT_EQ(locator->PromptNew(nullptr), E_POINTER);
    VARIANT_BOOL accepted;
    IDispatch* none = nullptr;
    EXPECT_EQ(locator->PromptEdit(&none, &accepted), E_POINTER);
    long window = 5;
    EXPECT_EQ(locator->put_hWnd(42), S_OK);
    EXPECT_EQ(locator->get_hWnd(&window), S_OK);
    EXPECT_EQ(window, 42);
}

}  // namespace

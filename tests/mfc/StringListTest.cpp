#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <dbplatform/mfc/StringList.h>

namespace {

std::vector<std::string> Forward(const CStringList& list) {
    std::vector<std::string> texts;
    for (POSITION position = list.GetHeadPosition(); position;) texts.push_back(list.GetNext(position).str());
    return texts;
}

std::vector<std::string> Backward(const CStringList& list) {
    std::vector<std::string> texts;
    for (POSITION position = list.GetTailPosition(); position;) texts.push_back(list.GetPrev(position).str());
    return texts;
}

using Texts = std::vector<std::string>;

TEST(CStringListTest, WalksBothWaysAfterAddsInsertsAndRemovals) {
    CStringList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail("b");
    list.AddHead("a");
    POSITION c = list.AddTail(CString("c"));
    EXPECT_EQ(Forward(list), (Texts{"a", "b", "c"}));
    list.InsertBefore(c, "b2");
    list.InsertAfter(c, "d");
    list.InsertAfter(nullptr, "e");   // null: at the tail
    list.InsertBefore(nullptr, "0");  // null: at the head
    EXPECT_EQ(Forward(list), (Texts{"0", "a", "b", "b2", "c", "d", "e"}));
    EXPECT_EQ(Backward(list), (Texts{"e", "d", "c", "b2", "b", "a", "0"}));
    EXPECT_EQ(list.GetCount(), 7);

    list.RemoveAt(c);
    EXPECT_EQ(list.RemoveHead(), "0");
    EXPECT_EQ(list.RemoveTail(), "e");
    EXPECT_EQ(Forward(list), (Texts{"a", "b", "b2", "d"}));
    EXPECT_EQ(Backward(list), (Texts{"d", "b2", "b", "a"}));
    EXPECT_EQ(list.GetHead(), "a");
    EXPECT_EQ(list.GetTail(), "d");
    EXPECT_EQ(list.GetCount(), 4);
}

TEST(CStringListTest, GetNextReturnsTheElementAndAdvancesPastTheTail) {
    CStringList list;
    list.AddTail("only");
    POSITION position = list.GetHeadPosition();
    CString& text = list.GetNext(position);
    EXPECT_EQ(text, "only");
    EXPECT_EQ(position, nullptr);
    text = "changed";  // the reference is the element itself
    EXPECT_EQ(list.GetHead(), "changed");
}

TEST(CStringListTest, FindAndFindIndex) {
    CStringList list;
    for (const char* text : {"x", "y", "x", "z"}) list.AddTail(text);
    POSITION first = list.Find("x");
    ASSERT_NE(first, nullptr);
    POSITION second = list.Find("x", first);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(list.Find("x", second), nullptr);
    EXPECT_EQ(list.Find("X"), nullptr);  // case-sensitive
    EXPECT_EQ(list.FindIndex(2), second);
    EXPECT_EQ(list.FindIndex(4), nullptr);
    EXPECT_EQ(list.FindIndex(-1), nullptr);
    list.SetAt(list.FindIndex(3), "w");
    EXPECT_EQ(list.GetAt(list.FindIndex(3)), "w");
}

TEST(CStringListTest, EmptyListAccessorsDoNotReadThroughNull) {
    CStringList list;
    EXPECT_EQ(list.GetHead(), "");
    EXPECT_EQ(list.GetTail(), "");
    EXPECT_EQ(list.RemoveHead(), "");
    EXPECT_EQ(list.RemoveTail(), "");
    POSITION none = nullptr;
    EXPECT_EQ(list.GetNext(none), "");
    EXPECT_EQ(none, nullptr);
    list.RemoveAt(nullptr);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(CStringListTest, RemoveAllFreesAndLeavesAUsableList) {
    CStringList list;
    for (int i = 0; i < 100; ++i) list.AddTail(CString('x', i));
    list.RemoveAll();  // ASan reports it if a node survives
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    list.AddTail("again");
    EXPECT_EQ(Forward(list), (Texts{"again"}));
}

TEST(CStringListTest, SerializeRoundTripsAndIsAKindOfCObject) {
    CStringList list;
    for (const char* text : {"", "one", "连接"}) list.AddTail(text);
    CArchive store(CArchive::store);
    list.Serialize(store);
    CArchive load(CArchive::load);
    load.Buffer() = store.Buffer();
    CStringList copy;
    copy.Serialize(load);
    EXPECT_EQ(Forward(copy), (Texts{"", "one", "连接"}));

    CArchive damaged(CArchive::load);
    damaged.Buffer() = store.Buffer().substr(0, store.Buffer().size() - 2);
    CStringList partial;
    partial.Serialize(damaged);
    EXPECT_EQ(Forward(partial), (Texts{"", "one"}));

    EXPECT_TRUE(list.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_TRUE(list.IsKindOf(RUNTIME_CLASS(CStringList)));
    EXPECT_STREQ(list.GetRuntimeClass()->m_lpszClassName, "CStringList");
}

}  // namespace

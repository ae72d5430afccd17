#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include <dbplatform/mfc/Object.h>

namespace {

// A class declared the way a host's class derives from CObject.
class CShape : public CObject {
public:
    static CRuntimeClass classCShape;
    CRuntimeClass* GetRuntimeClass() const override { return &classCShape; }
    void Serialize(CArchive& archive) override {
        if (archive.IsStoring())
            archive.Write(&sides, sizeof sides);
        else
            archive.Read(&sides, sizeof sides);
    }
    int sides = 0;
};
CRuntimeClass CShape::classCShape = {"CShape", sizeof(CShape), 1, nullptr, RUNTIME_CLASS(CObject)};

class CLoose : public CObject {};

TEST(CObjectTest, RuntimeClassesAndKinds) {
    CShape shape;
    CLoose loose;
    const CObject& asObject = shape;
    EXPECT_TRUE(asObject.IsKindOf(RUNTIME_CLASS(CShape)));
    EXPECT_TRUE(asObject.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(loose.IsKindOf(RUNTIME_CLASS(CShape)));
    EXPECT_TRUE(loose.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(shape.IsKindOf(nullptr));
    EXPECT_STREQ(loose.GetRuntimeClass()->m_lpszClassName, "CObject");
}

TEST(CObjectTest, SerializeThroughTheArchiveAndReadStopsAtTheEnd) {
    CShape shape;
    shape.sides = 6;
    CArchive store(CArchive::store);
    EXPECT_TRUE(store.IsStoring());
    shape.Serialize(store);
    CArchive load(CArchive::load);
    load.Buffer() = store.Buffer();
    CShape copy;
    copy.Serialize(load);
    EXPECT_EQ(copy.sides, 6);
    char extra[4];
    EXPECT_EQ(load.Read(extra, sizeof extra), 0u);
}

TEST(CObjectTest, DumpNamesTheClassAndAddress) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    CDumpContext context(stream);
    CShape shape;
    shape.Dump(context);
    context << 7 << " " << 2.5 << "\n";
    std::rewind(stream);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, stream), nullptr);
    EXPECT_EQ(std::string(line).rfind("a CShape at $", 0), 0u) << line;
    ASSERT_NE(std::fgets(line, sizeof line, stream), nullptr);
    EXPECT_STREQ(line, "7 2.500000\n");
    std::fclose(stream);
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <dbplatform/base/MessageBox.h>

namespace {

struct Shown {
    std::string text;
    std::string caption;
    unsigned int type;
};

TEST(MessageBox, DefaultHandlerWritesOneLineAndAnswersOk) {
    dbplatform::SetMessageBoxHandler(nullptr);
    testing::internal::CaptureStderr();
    int answer = MessageBoxA(nullptr, "Disk full", "Store", MB_OK | MB_ICONERROR);
    int nullCaption = MessageBoxA(nullptr, "Oops", nullptr, MB_OK);
    int afx = AfxMessageBox("Saved");
    std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(nullCaption, IDOK);
    EXPECT_EQ(afx, IDOK);
    EXPECT_EQ(written, "Store: Disk full\nError: Oops\nbase_tests: Saved\n");
}

TEST(MessageBox, ReplacedHandlerSeesEveryBoxAndCanBeRestored) {
    std::vector<Shown> shown;
    auto previous = dbplatform::SetMessageBoxHandler([&](const char* text, const char* caption, unsigned int type) {
        shown.push_back({text, caption, type});
        return IDCANCEL;
    });
    EXPECT_FALSE(previous);  // the default is reported as an empty function
    EXPECT_EQ(MessageBoxA(nullptr, "a", nullptr, MB_ICONWARNING), IDCANCEL);
    EXPECT_EQ(AfxMessageBox(nullptr), IDCANCEL);
    auto mine = dbplatform::SetMessageBoxHandler(previous);
    EXPECT_TRUE(mine);

    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "a");
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].type, MB_ICONWARNING);
    EXPECT_EQ(shown[1].text, "");  // a null text shows as empty, never a crash
    EXPECT_EQ(shown[1].caption, "base_tests");

    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "back", "Default", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Default: back\n");
    EXPECT_EQ(shown.size(), 2u);
}

}  // namespace

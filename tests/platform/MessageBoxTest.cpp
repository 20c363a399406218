#include <gtest/gtest.h>

#include "platform/MessageBox.h"
#include "support/RecordingMessageBoxProvider.h"

namespace carillon::platform {
namespace {

TEST(MessageBox, DefaultProviderAnswersOkOrNoWithoutAPerson) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBox(nullptr, "Incompatible element:\nFW", "", MB_OK), IDOK);
    EXPECT_EQ(MessageBox(nullptr, "Force?", "Question", MB_YESNO | MB_ICONERROR), IDNO);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Incompatible element:\nFW"), std::string::npos);
    EXPECT_NE(err.find("Question: Force?"), std::string::npos);
}

TEST(MessageBox, InstalledProviderSeesEveryBoxAndScriptsAnswers) {
    testing::RecordingMessageBoxProvider boxes;
    boxes.AnswerNext(IDYES);
    EXPECT_EQ(MessageBox(nullptr, "first", "cap", MB_YESNO | MB_ICONEXCLAMATION), IDYES);
    EXPECT_EQ(MessageBox(nullptr, "second", "", MB_YESNO), IDNO);  // script exhausted
    EXPECT_EQ(MessageBox(nullptr, "third", "", MB_ICONASTERISK), IDOK);
    auto seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].caption, "cap");
    EXPECT_EQ(seen[0].flags & MB_ICON_MASK, MB_ICONWARNING);
    EXPECT_EQ(seen[2].flags, MB_ICONINFORMATION);
}

TEST(MessageBox, ScopedProvidersNestAndRestore) {
    testing::RecordingMessageBoxProvider outer;
    {
        testing::RecordingMessageBoxProvider inner;
        MessageBox(nullptr, "inner", "", MB_OK);
        EXPECT_EQ(inner.Texts().size(), 1u);
    }
    MessageBox(nullptr, "outer", "", MB_OK);
    EXPECT_EQ(outer.Texts(), std::vector<std::string>{"outer"});
}

}  // namespace
}  // namespace carillon::platform

// Which facade is in force: an installed one, else the standard one, which is the Qt
// facade wherever its library is linked, else one that shows nothing and refuses.
#include <gtest/gtest.h>

#include "platform/dialogs/dialogs.h"
#include "platform/dialogs/qt_dialogs.h"

namespace vort::dialogs {
namespace {

TEST(StandardDialogsTest, TheQtFacadeIsStandardWhereLinkedAndWithoutItNothingBlocks) {
    setDialogs(nullptr);
    DialogFacade& standard = dialogs();
    EXPECT_NE(dynamic_cast<QtDialogs*>(&standard), nullptr)
        << "a program linking the Qt facade gets it without naming it";

    // A program without windows: every box is refused on stderr, no dialog opens.
    setStandardDialogs(nullptr);
    MessageBoxRequest box;
    box.text = QStringLiteral("Connection Failed");
    box.buttons = Buttons::RetryCancel;
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialogs().messageBox(box), Answer::Cancel);
    box.buttons = Buttons::YesNo;
    EXPECT_EQ(dialogs().messageBox(box), Answer::No);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Connection Failed [Cancel]"), std::string::npos) << said;
    EXPECT_TRUE(dialogs().fileDialog(FileDialogRequest{}).cancelled);
    EXPECT_FALSE(dialogs().shellOpen(QStringLiteral("https://example.com")));
    setStandardDialogs(&standard);
    EXPECT_EQ(&dialogs(), &standard);
}

} // namespace
} // namespace vort::dialogs

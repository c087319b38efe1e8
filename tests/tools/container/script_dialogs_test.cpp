// Script mode's dialog facade: every box printed as one line and answered at once, with
// the queued answer when it fits, else the box's default button.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "tools/container/script_dialogs.h"

using namespace vort;
using container::ScriptDialogs;
using dialogs::Answer;
using dialogs::Buttons;

namespace {

dialogs::MessageBoxRequest box(Buttons buttons, QString text = QStringLiteral("Sure?\rReally")) {
    dialogs::MessageBoxRequest r;
    r.title = QStringLiteral("Question");
    r.text = std::move(text);
    r.buttons = buttons;
    return r;
}

} // namespace

TEST(ScriptDialogs, EveryBoxIsOneLineAnsweredByItsDefaultOrTheQueuedAnswer) {
    std::vector<std::string> lines;
    ScriptDialogs d([&](const std::string& l) { lines.push_back(l); });
    const std::pair<Buttons, Answer> defaults[] = {{Buttons::Ok, Answer::Ok},
                                                   {Buttons::OkCancel, Answer::Ok},
                                                   {Buttons::YesNo, Answer::Yes},
                                                   {Buttons::YesNoCancel, Answer::Yes},
                                                   {Buttons::RetryCancel, Answer::Retry},
                                                   {Buttons::AbortRetryIgnore, Answer::Abort}};
    for (auto [buttons, answer] : defaults)
        EXPECT_EQ(d.messageBox(box(buttons)), answer);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2],
              "MessageBox Title=\"Question\" Text=\"Sure?\\x0DReally\" Buttons=Yes,No Answer=Yes");
    EXPECT_EQ(lines[5], "MessageBox Title=\"Question\" Text=\"Sure?\\x0DReally\" "
                        "Buttons=Abort,Retry,Ignore Answer=Abort");
    EXPECT_TRUE(d.takeProblems().empty());

    // Answers queue up in order, one per box.
    d.queueAnswer(Answer::No);
    d.queueAnswer(Answer::Cancel);
    d.queueAnswer(Answer::Retry); // not a button of the third box
    EXPECT_EQ(d.messageBox(box(Buttons::YesNo)), Answer::No);
    EXPECT_EQ(d.messageBox(box(Buttons::YesNoCancel)), Answer::Cancel);
    EXPECT_EQ(d.messageBox(box(Buttons::OkCancel, QStringLiteral("\"q\""))), Answer::Ok);
    EXPECT_EQ(lines.back(),
              "MessageBox Title=\"Question\" Text=\"\\\"q\\\"\" Buttons=Ok,Cancel Answer=Ok");
    EXPECT_EQ(d.takeProblems(), std::vector<std::string>{"answer Retry does not fit the box (its "
                                                         "buttons: Ok,Cancel); it got Ok"});
    EXPECT_EQ(d.queuedAnswers(), 0u);
    EXPECT_EQ(d.messageBox(box(Buttons::YesNo)), Answer::Yes) << "the queue is used up";

    // Neither file dialogs nor the desktop wait or act.
    dialogs::FileDialogRequest f;
    f.title = QStringLiteral("Open");
    EXPECT_TRUE(d.fileDialog(f).cancelled);
    EXPECT_FALSE(d.shellOpen(QStringLiteral("http://example.invalid/")));
    EXPECT_EQ(lines[lines.size() - 2], "FileDialog Title=\"Open\" Answer=Cancel");
    EXPECT_EQ(lines.back(), "ShellOpen Target=\"http://example.invalid/\"");
}

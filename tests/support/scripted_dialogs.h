// A dialog facade for tests: records every message box, file dialog and shell open the
// code under test asks for, and answers each from a queue the test fills. A request
// with nothing queued for it fails the running test loudly (with what was asked) and
// gets the most cautious answer: Cancel, No, Ignore or OK for a box, cancelled for a
// file dialog, false for a shell open.
//
//   ScriptedDialogs dialogs;                 // installs itself; uninstalls at the end
//   dialogs.answer(Answer::Retry);           // for the next box
//   dialogs.answer(Answer::Cancel, "Connection Failed");   // with the text it expects
//   ... run the code ...
//   EXPECT_EQ(dialogs.boxes().at(0).text, "Connection Failed");
//   EXPECT_TRUE(dialogs.exhausted());        // every scripted answer was used
//
// GUI thread only, like the facade.
#pragma once

#include <deque>
#include <optional>
#include <vector>

#include "platform/dialogs/dialogs.h"

namespace vort::test {

class ScriptedDialogs final : public dialogs::DialogFacade {
public:
    struct ShownBox {
        QString text;
        QString title;
        dialogs::Icon icon = dialogs::Icon::None;
        dialogs::Buttons buttons = dialogs::Buttons::Ok;
        dialogs::Answer answer = dialogs::Answer::Ok; // what the script answered
        bool scripted = false;
    };

    ScriptedDialogs();  // installs itself as the facade in force
    ~ScriptedDialogs(); // puts the previous facade back (the Qt one)
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // Queues the answer to the next message box. expectedText: the box must show
    // exactly this text, else the test fails (the answer is given anyway).
    void answer(dialogs::Answer a, std::optional<QString> expectedText = std::nullopt);
    // Queues the outcome of the next file dialog.
    void answerFile(dialogs::FileDialogResult result);
    // Queues the result of the next shell open.
    void answerShellOpen(bool opened);

    // Boxes with no scripted answer are answered with Ok only when the box has
    // nothing but an OK button and this is set; off by default, so every box a test
    // meets must be scripted.
    void setAcceptPlainOkBoxes(bool on) { acceptPlainOk_ = on; }

    const std::vector<ShownBox>& boxes() const { return boxes_; }
    const std::vector<dialogs::FileDialogRequest>& fileDialogs() const { return files_; }
    const std::vector<QString>& shellOpens() const { return opens_; }
    // True when every queued answer has been used.
    bool exhausted() const {
        return boxAnswers_.empty() && fileAnswers_.empty() && openAnswers_.empty();
    }
    void clear();

    dialogs::Answer messageBox(const dialogs::MessageBoxRequest& request) override;
    dialogs::FileDialogResult fileDialog(const dialogs::FileDialogRequest& request) override;
    bool shellOpen(const QString& url) override;

private:
    struct BoxAnswer {
        dialogs::Answer answer;
        std::optional<QString> expectedText;
    };
    std::deque<BoxAnswer> boxAnswers_;
    std::deque<dialogs::FileDialogResult> fileAnswers_;
    std::deque<bool> openAnswers_;
    std::vector<ShownBox> boxes_;
    std::vector<dialogs::FileDialogRequest> files_;
    std::vector<QString> opens_;
    bool acceptPlainOk_ = false;
};

// A readable form of an icon or button set for failure messages (answers use
// dialogs::buttonName).
const char* iconName(dialogs::Icon i);
const char* buttonsName(dialogs::Buttons b);

} // namespace vort::test

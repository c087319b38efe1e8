// The dialog facade of script mode: nothing waits for a person. Every message box is
// printed as one line and answered at once, with the answer a script queued for it
// (answer WORD) or else with the box's default button:
//
//   MessageBox Title="Error" Text="..." Buttons=Yes,No Answer=Yes
//
// Texts are in the value notation (value_notation.h), so a line break reads \x0D. A box
// without a title shows the program's title (dialogs::applicationTitle()). File
// dialogs print FileDialog Title="..." Answer=Cancel and are cancelled; shellOpen
// prints ShellOpen Target="..." and opens nothing (it returns false).
// Owner's thread only, as the facade.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs/dialogs.h"

namespace vort::container {

class ScriptDialogs final : public dialogs::DialogFacade {
public:
    using Printer = std::function<void(const std::string& line)>;
    explicit ScriptDialogs(Printer print);

    // The answer for the next box shown; several queue up in order.
    void queueAnswer(dialogs::Answer answer);
    std::size_t queuedAnswers() const { return queued_.size(); }
    // What went against the script since the last call (a queued answer that is not
    // among its box's buttons: the box then got its default), one message each.
    std::vector<std::string> takeProblems();

    dialogs::Answer messageBox(const dialogs::MessageBoxRequest& request) override;
    dialogs::FileDialogResult fileDialog(const dialogs::FileDialogRequest& request) override;
    bool shellOpen(const QString& url) override;

private:
    Printer print_;
    std::deque<dialogs::Answer> queued_;
    std::vector<std::string> problems_;
};

} // namespace vort::container

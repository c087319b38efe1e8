#include "tools/container/script_dialogs.h"

#include <algorithm>
#include <utility>

#include "platform/component/variant.h"
#include "tools/container/value_notation.h"

namespace vort::container {

namespace {

std::string quoted(const QString& text) {
    return formatValue(component::Variant::bstr(text.toStdU16String()));
}

std::string buttonList(dialogs::Buttons buttons) {
    std::string list;
    for (dialogs::Answer a : dialogs::buttonAnswers(buttons)) {
        if (!list.empty())
            list += ',';
        list += dialogs::buttonName(a);
    }
    return list;
}

} // namespace

ScriptDialogs::ScriptDialogs(Printer print) : print_(std::move(print)) {}

void ScriptDialogs::queueAnswer(dialogs::Answer answer) {
    queued_.push_back(answer);
}

std::vector<std::string> ScriptDialogs::takeProblems() {
    return std::exchange(problems_, {});
}

dialogs::Answer ScriptDialogs::messageBox(const dialogs::MessageBoxRequest& request) {
    const std::vector<dialogs::Answer> buttons = dialogs::buttonAnswers(request.buttons);
    dialogs::Answer answer = dialogs::defaultAnswer(request.buttons);
    if (!queued_.empty()) {
        const dialogs::Answer wanted = queued_.front();
        queued_.pop_front();
        if (std::find(buttons.begin(), buttons.end(), wanted) != buttons.end())
            answer = wanted;
        else
            problems_.push_back(
                std::string("answer ") + dialogs::buttonName(wanted) +
                " does not fit the box (its buttons: " + buttonList(request.buttons) +
                "); it got " + dialogs::buttonName(answer));
    }
    const QString title = request.title.isEmpty() ? dialogs::applicationTitle() : request.title;
    print_("MessageBox Title=" + quoted(title) + " Text=" + quoted(request.text) +
           " Buttons=" + buttonList(request.buttons) + " Answer=" + dialogs::buttonName(answer));
    return answer;
}

dialogs::FileDialogResult ScriptDialogs::fileDialog(const dialogs::FileDialogRequest& request) {
    print_("FileDialog Title=" + quoted(request.title) + " Answer=Cancel");
    dialogs::FileDialogResult result;
    result.filterIndex = request.filterIndex;
    return result;
}

bool ScriptDialogs::shellOpen(const QString& url) {
    print_("ShellOpen Target=" + quoted(url));
    return false;
}

} // namespace vort::container

#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

namespace vort::test {

using dialogs::Answer;
using dialogs::Buttons;
using dialogs::Icon;

namespace {

// The answer a box with no script gets: its most cautious button.
Answer cautiousAnswer(Buttons b) {
    switch (b) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::AbortRetryIgnore:
        return Answer::Ignore;
    default:
        return Answer::Cancel;
    }
}

bool offered(Buttons b, Answer a) {
    switch (b) {
    case Buttons::Ok:
        return a == Answer::Ok;
    case Buttons::OkCancel:
        return a == Answer::Ok || a == Answer::Cancel;
    case Buttons::YesNo:
        return a == Answer::Yes || a == Answer::No;
    case Buttons::YesNoCancel:
        return a == Answer::Yes || a == Answer::No || a == Answer::Cancel;
    case Buttons::RetryCancel:
        return a == Answer::Retry || a == Answer::Cancel;
    case Buttons::AbortRetryIgnore:
        return a == Answer::Abort || a == Answer::Retry || a == Answer::Ignore;
    }
    return false;
}

std::string printable(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    out.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return out.toStdString();
}

} // namespace

const char* iconName(Icon i) {
    switch (i) {
    case Icon::None:
        return "None";
    case Icon::Information:
        return "Information";
    case Icon::Exclamation:
        return "Exclamation";
    case Icon::Critical:
        return "Critical";
    case Icon::Question:
        return "Question";
    }
    return "?";
}

const char* buttonsName(Buttons b) {
    switch (b) {
    case Buttons::Ok:
        return "Ok";
    case Buttons::OkCancel:
        return "OkCancel";
    case Buttons::YesNo:
        return "YesNo";
    case Buttons::YesNoCancel:
        return "YesNoCancel";
    case Buttons::RetryCancel:
        return "RetryCancel";
    case Buttons::AbortRetryIgnore:
        return "AbortRetryIgnore";
    }
    return "?";
}

ScriptedDialogs::ScriptedDialogs() {
    dialogs::setDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    dialogs::setDialogs(nullptr);
}

void ScriptedDialogs::answer(Answer a, std::optional<QString> expectedText) {
    boxAnswers_.push_back({a, std::move(expectedText)});
}

void ScriptedDialogs::answerFile(dialogs::FileDialogResult result) {
    fileAnswers_.push_back(std::move(result));
}

void ScriptedDialogs::answerShellOpen(bool opened) {
    openAnswers_.push_back(opened);
}

void ScriptedDialogs::clear() {
    boxAnswers_.clear();
    fileAnswers_.clear();
    openAnswers_.clear();
    boxes_.clear();
    files_.clear();
    opens_.clear();
}

Answer ScriptedDialogs::messageBox(const dialogs::MessageBoxRequest& request) {
    ShownBox shown{request.text, request.title, request.icon, request.buttons};
    if (boxAnswers_.empty()) {
        shown.answer = cautiousAnswer(request.buttons);
        if (!(acceptPlainOk_ && request.buttons == Buttons::Ok)) {
            ADD_FAILURE() << "unscripted message box: \"" << printable(request.text)
                          << "\" title \"" << printable(request.title) << "\" icon "
                          << iconName(request.icon) << " buttons " << buttonsName(request.buttons)
                          << "; answered " << dialogs::buttonName(shown.answer);
        }
    } else {
        BoxAnswer next = boxAnswers_.front();
        boxAnswers_.pop_front();
        shown.answer = next.answer;
        shown.scripted = true;
        if (next.expectedText && *next.expectedText != request.text)
            ADD_FAILURE() << "message box \"" << printable(request.text) << "\" where \""
                          << printable(*next.expectedText) << "\" was expected";
        if (!offered(request.buttons, next.answer))
            ADD_FAILURE() << "scripted answer " << dialogs::buttonName(next.answer)
                          << " is not a button of the box \"" << printable(request.text) << "\" ("
                          << buttonsName(request.buttons) << ")";
    }
    boxes_.push_back(shown);
    return shown.answer;
}

dialogs::FileDialogResult ScriptedDialogs::fileDialog(const dialogs::FileDialogRequest& request) {
    files_.push_back(request);
    if (fileAnswers_.empty()) {
        ADD_FAILURE() << "unscripted file dialog \"" << printable(request.title) << "\"";
        dialogs::FileDialogResult cancelled;
        cancelled.filterIndex = request.filterIndex;
        return cancelled;
    }
    dialogs::FileDialogResult result = fileAnswers_.front();
    fileAnswers_.pop_front();
    return result;
}

bool ScriptedDialogs::shellOpen(const QString& url) {
    opens_.push_back(url);
    if (openAnswers_.empty()) {
        ADD_FAILURE() << "unscripted shell open of \"" << printable(url) << "\"";
        return false;
    }
    const bool opened = openAnswers_.front();
    openAnswers_.pop_front();
    return opened;
}

} // namespace vort::test

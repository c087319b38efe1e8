// The facade in force and its replacement by tests.
#include "platform/dialogs/dialogs.h"

#include "platform/dialogs/qt_dialogs.h"

#include <QCoreApplication>

namespace vort::dialogs {

namespace {

DialogFacade* installed = nullptr;

QString& programTitle() {
    static QString title;
    return title;
}

} // namespace

void setApplicationTitle(const QString& title) {
    programTitle() = title;
}

QString applicationTitle() {
    if (!programTitle().isEmpty())
        return programTitle();
    return QCoreApplication::applicationName();
}

std::vector<Answer> buttonAnswers(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return {Answer::Ok};
    case Buttons::OkCancel:
        return {Answer::Ok, Answer::Cancel};
    case Buttons::YesNo:
        return {Answer::Yes, Answer::No};
    case Buttons::YesNoCancel:
        return {Answer::Yes, Answer::No, Answer::Cancel};
    case Buttons::RetryCancel:
        return {Answer::Retry, Answer::Cancel};
    case Buttons::AbortRetryIgnore:
        return {Answer::Abort, Answer::Retry, Answer::Ignore};
    }
    return {Answer::Ok};
}

Answer defaultAnswer(Buttons buttons) {
    return buttonAnswers(buttons).front();
}

const char* buttonName(Answer answer) {
    switch (answer) {
    case Answer::Ok:
        return "Ok";
    case Answer::Cancel:
        return "Cancel";
    case Answer::Yes:
        return "Yes";
    case Answer::No:
        return "No";
    case Answer::Retry:
        return "Retry";
    case Answer::Abort:
        return "Abort";
    case Answer::Ignore:
        return "Ignore";
    }
    return "?";
}

DialogFacade& dialogs() {
    if (installed)
        return *installed;
    static QtDialogs qt;
    return qt;
}

void setDialogs(DialogFacade* facade) {
    installed = facade;
}

} // namespace vort::dialogs

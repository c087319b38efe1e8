// The facade in force and its replacement by tests.
#include "platform/dialogs/dialogs.h"

#include <QCoreApplication>
#include <cstdio>

namespace vort::dialogs {

namespace {

DialogFacade* installed = nullptr;
DialogFacade* standard = nullptr;

// The facade of a program without windows that installed none: nothing blocks, nothing
// is done that an operator did not ask for.
class NoWindowDialogs final : public DialogFacade {
public:
    Answer messageBox(const MessageBoxRequest& request) override {
        QString text = request.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        const Answer answer = refusal(request.buttons);
        std::fprintf(stderr, "%s: %s [%s]\n",
                     (request.title.isEmpty() ? applicationTitle() : request.title)
                         .toLocal8Bit()
                         .constData(),
                     text.toLocal8Bit().constData(), buttonName(answer));
        return answer;
    }
    FileDialogResult fileDialog(const FileDialogRequest&) override { return {}; }
    bool shellOpen(const QString&) override { return false; }
};

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

Answer refusal(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::AbortRetryIgnore:
        return Answer::Abort;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
    case Buttons::RetryCancel:
        return Answer::Cancel;
    }
    return Answer::Cancel;
}

DialogFacade& dialogs() {
    if (installed)
        return *installed;
    if (standard)
        return *standard;
    static NoWindowDialogs none;
    return none;
}

void setDialogs(DialogFacade* facade) {
    installed = facade;
}

void setStandardDialogs(DialogFacade* facade) {
    standard = facade;
}

} // namespace vort::dialogs

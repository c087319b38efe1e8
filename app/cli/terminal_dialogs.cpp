#include "app/cli/terminal_dialogs.h"

#include <cstring>

namespace tcu::cli {

using vort::dialogs::Answer;
using vort::dialogs::Buttons;

TerminalDialogs::TerminalDialogs(std::FILE* in, std::FILE* err, bool interactive)
    : in_(in), err_(err), interactive_(interactive) {}

void TerminalDialogs::answer(const QString& textStart, Answer answer) {
    presets_.push_back({textStart, answer, std::nullopt});
}

void TerminalDialogs::answerUntil(const QString& textStart, Answer answer,
                                  std::chrono::steady_clock::time_point deadline) {
    presets_.push_back({textStart, answer, deadline});
}

Answer TerminalDialogs::refusal(Buttons buttons) {
    return vort::dialogs::refusal(buttons);
}

QString TerminalDialogs::plainText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (plain.endsWith(QLatin1Char('\n')))
        plain.chop(1);
    return plain;
}

Answer TerminalDialogs::messageBox(const vort::dialogs::MessageBoxRequest& request) {
    const QString text = plainText(request.text);
    if (request.buttons == Buttons::Ok) {
        if (!quiet_)
            std::fprintf(err_, "tcu: %s\n", text.toLocal8Bit().constData());
        return Answer::Ok;
    }
    const auto now = std::chrono::steady_clock::now();
    for (const Preset& preset : presets_) {
        if (preset.deadline && now >= *preset.deadline)
            continue;
        if (request.text.startsWith(preset.textStart)) {
            std::fprintf(err_, "tcu: %s %s\n", text.toLocal8Bit().constData(),
                         vort::dialogs::buttonName(preset.answer));
            return preset.answer;
        }
    }
    if (interactive_)
        return prompt(request);
    const Answer no = refusal(request.buttons);
    std::fprintf(err_, "tcu: %s %s (no terminal to ask)\n", text.toLocal8Bit().constData(),
                 vort::dialogs::buttonName(no));
    return no;
}

Answer TerminalDialogs::prompt(const vort::dialogs::MessageBoxRequest& request) {
    const std::vector<Answer> buttons = vort::dialogs::buttonAnswers(request.buttons);
    QString choices;
    for (Answer a : buttons) {
        if (!choices.isEmpty())
            choices += QLatin1Char('/');
        choices += QString::fromLatin1(vort::dialogs::buttonName(a));
    }
    const Answer no = refusal(request.buttons);
    for (;;) {
        std::fprintf(err_, "tcu: %s [%s] ", plainText(request.text).toLocal8Bit().constData(),
                     choices.toLatin1().constData());
        std::fflush(err_);
        char line[256];
        if (!std::fgets(line, sizeof line, in_)) {
            // End of input, or a signal: nobody will answer.
            std::fputc('\n', err_);
            return no;
        }
        const QString typed = QString::fromLocal8Bit(line).trimmed();
        if (typed.isEmpty())
            return no;
        for (Answer a : buttons) {
            const QString name = QString::fromLatin1(vort::dialogs::buttonName(a));
            if (name.startsWith(typed, Qt::CaseInsensitive))
                return a;
        }
    }
}

vort::dialogs::FileDialogResult
TerminalDialogs::fileDialog(const vort::dialogs::FileDialogRequest&) {
    return {};
}

bool TerminalDialogs::shellOpen(const QString& url) {
    std::fprintf(err_, "tcu: %s\n", url.toLocal8Bit().constData());
    return false;
}

} // namespace tcu::cli

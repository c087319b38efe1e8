// The dialog facade on a terminal, for tcu: every box the program core shows is printed
// on standard error, and a question is answered by what the command line said, or, when
// standard input and standard error are a terminal, by the operator at a prompt. Without
// a terminal and without an answer from the command line a question gets the answer
// that changes nothing (No, Cancel, Abort): the program never waits for input nobody
// can give.
//
// File dialogs are never shown: a command names its files on the command line.
//
// Thread: the program's main thread only.
#pragma once

#include <QString>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/dialogs/dialogs.h"

namespace tcu::cli {

class TerminalDialogs final : public vort::dialogs::DialogFacade {
public:
    // in: where prompts read from; err: where boxes and prompts go. interactive: a
    // terminal on both (prompts allowed).
    TerminalDialogs(std::FILE* in, std::FILE* err, bool interactive);

    // Answers every question whose text starts with textStart with answer, without a
    // prompt (the command line's --yes, --force).
    void answer(const QString& textStart, vort::dialogs::Answer answer);
    // The same until deadline; from then on such a question is asked as any other.
    void answerUntil(const QString& textStart, vort::dialogs::Answer answer,
                     std::chrono::steady_clock::time_point deadline);
    // Boxes that only inform (an OK button) are not printed (--quiet); questions are.
    void setQuiet(bool quiet) { quiet_ = quiet; }

    vort::dialogs::Answer messageBox(const vort::dialogs::MessageBoxRequest& request) override;
    vort::dialogs::FileDialogResult fileDialog(const vort::dialogs::FileDialogRequest&) override;
    // Prints the address; a terminal has no program to hand it to.
    bool shellOpen(const QString& url) override;

    // The answer that changes nothing for a set of buttons: No, Cancel or Abort (Ok for
    // a box with only OK).
    static vort::dialogs::Answer refusal(vort::dialogs::Buttons buttons);
    // A box's text as one terminal paragraph: CR and CR LF become line ends, trailing
    // line ends go.
    static QString plainText(const QString& text);

private:
    struct Preset {
        QString textStart;
        vort::dialogs::Answer answer;
        std::optional<std::chrono::steady_clock::time_point> deadline;
    };

    vort::dialogs::Answer prompt(const vort::dialogs::MessageBoxRequest& request);

    std::FILE* in_;
    std::FILE* err_;
    bool interactive_;
    bool quiet_ = false;
    std::vector<Preset> presets_;
};

} // namespace tcu::cli

// The dialog facade: every message box, common file dialog and "open with the
// desktop's program" of the programs and the control goes through here, so that
// tests can answer them and record what was shown. Nothing else calls QMessageBox,
// QFileDialog or QDesktopServices.
//
// Thread rule: called only in the GUI (owner's) thread.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class QWidget;

namespace vort::dialogs {

enum class Icon { None, Information, Exclamation, Critical, Question };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class Answer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

// The buttons of a set in the order they show, and the one that answers a box when
// Enter is pressed (the default button): Ok, Ok, Yes, Yes, Retry, Abort.
std::vector<Answer> buttonAnswers(Buttons buttons);
Answer defaultAnswer(Buttons buttons);
// "Ok", "Cancel", "Yes", "No", "Retry", "Abort", "Ignore".
const char* buttonName(Answer answer);
// The answer that changes nothing for a set of buttons: No, Cancel or Abort (Ok for a
// box with only OK).
Answer refusal(Buttons buttons);

struct MessageBoxRequest {
    QString text;
    QString title; // empty: applicationTitle()
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    QWidget* owner = nullptr; // nullptr: no owner window
};

struct FileDialogRequest {
    bool save = false; // a save dialog, else an open dialog
    QString title;
    // Filter list as pairs "description|pattern[;pattern]": e.g.
    // {"Setup Files (*.txt)|*.txt", "All Files (*.*)|*"}.
    QStringList filters;
    int filterIndex = 1;    // 1-based, which filter is chosen first
    QString directory;      // initial directory ("" for the toolkit's choice)
    QString fileName;       // initial file name
    bool mustExist = false; // the dialog accepts only existing files
    // A save dialog asks before it takes an existing file; false: it takes it without
    // asking, for a program that replaces the file as it is told.
    bool confirmOverwrite = true;
    QWidget* owner = nullptr;
};

struct FileDialogResult {
    bool cancelled = true;
    QString path;        // the chosen file, absolute
    int filterIndex = 1; // the filter in force when the dialog closed
};

class DialogFacade {
public:
    virtual ~DialogFacade() = default;
    virtual Answer messageBox(const MessageBoxRequest& request) = 0;
    virtual FileDialogResult fileDialog(const FileDialogRequest& request) = 0;
    // Opens url (a web address or a file) with the program the desktop associates
    // with it; false when nothing could open it.
    virtual bool shellOpen(const QString& url) = 0;
};

// The program's title, which a message box without a title of its own shows (tcu1:
// "TCU1"). Set once at start-up, before the first box; until then the application name
// stands in. It is deliberately not the toolkit's application display name: on X11 the
// toolkit appends that to every window title ("Error — TCU1").
void setApplicationTitle(const QString& title);
QString applicationTitle();

// The facade in force: the one installed by setDialogs, else the program's standard one.
// The Qt facade (qt_dialogs.h) makes itself the standard one when its library is loaded,
// which every program with windows links; a program without it (tcu, which installs
// its own) and without an installed facade gets one that writes each box to stderr and
// answers it with refusal(), opens no file dialog and no address.
DialogFacade& dialogs();
// Installs facade (nullptr: back to the standard one). The caller keeps it alive.
void setDialogs(DialogFacade* facade);
// Makes facade the standard one (nullptr: none). The caller keeps it alive.
void setStandardDialogs(DialogFacade* facade);

} // namespace vort::dialogs

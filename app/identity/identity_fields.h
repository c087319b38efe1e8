// The scanner's identity on the main window: the revision, model, web and serial fields
// of tab 0 "Revision Numbers", the "Registration Key R/W" frame of tab 9, their answer
// display rules and the "Write" button.
//
// Built once by Form1 on its two tabs; GUI thread only.
#pragma once

#include <QObject>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tcu {

class AnswerRules;
class Form1;

class IdentityFields : public QObject {
public:
    // Places the fields on the form's tabs 0 and 9 and sets the core's receiveIdentity.
    explicit IdentityFields(Form1& form);

    // The display rules of the seven identity queries, registered behind the
    // "<APP1RV:>" rule that sets App1RevNumber.
    void registerDisplayRules(AnswerRules& rules);

    // Click of "Write": from revision 3.22 on, sends "<REGKEY=" + Text5 + ">" as typed;
    // below, Text5 shows "NOT SUPPORTED" and nothing is sent.
    void Command1_Click();

    // labRevision(0) "Boot" and labRevision(5) "Serial #" are never shown.
    std::array<QLabel*, 6> labRevision{};
    QLabel* labWeb = nullptr;
    // The whole address of the last "<WEBSIT:>" answer, which "&GoTo Web" opens; labWeb
    // shows only its first 17 characters. Kept as long as labWeb's text.
    QString webAddress;
    QLabel* Label4 = nullptr;   // serial number
    QLabel* Label5 = nullptr;   // registration key as read
    QLineEdit* Text5 = nullptr; // registration key entry, at most 30 characters
    QPushButton* Command1 = nullptr;
    QGroupBox* registrationFrame = nullptr;

private:
    void buildRevisionTab(QWidget* tab);
    void buildRegistrationTab(QWidget* tab);

    Form1& form_;
};

} // namespace tcu

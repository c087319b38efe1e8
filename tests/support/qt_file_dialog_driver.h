// Drives the next file dialog of the Qt facade (QFileDialog, offscreen) as a user
// would: types a name into it and presses the accept button. A message box the dialog
// raises instead (a name that does not exist, a question before replacing) is recorded
// and closed, and the dialog is then cancelled, so the code under test goes on.
//
//   QtFileDialogDriver driver("/tmp/x/new.txt");
//   form.mnusave_Click();                       // runs the dialog
//   EXPECT_TRUE(driver.raised().isEmpty());
//
// It polls from the event loop the dialog runs. GUI thread only.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace vort::test {

class QtFileDialogDriver : public QObject {
public:
    explicit QtFileDialogDriver(QString name);

    // The texts of the message boxes the dialog raised.
    const QStringList& raised() const { return raised_; }
    // The dialog's name filters as offered, and the one chosen at the start.
    const QStringList& nameFilters() const { return filters_; }
    const QString& firstFilter() const { return firstFilter_; }

private:
    enum class State { Waiting, Accepted, Cancelling, Done };
    void poll();

    QString name_;
    QTimer timer_;
    State state_ = State::Waiting;
    int pollsSinceAccept_ = 0;
    QStringList raised_;
    QStringList filters_;
    QString firstFilter_;
};

} // namespace vort::test

// The main window's status bar sbrStatus: two text panels, numbered 1 and 2.
// Panel 1 shows the line state, panel 2 the running operation and its failure text.
// GUI thread only.
#pragma once

#include <QLabel>
#include <QStatusBar>

namespace tcu {

class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusPanels(QWidget* parent = nullptr);

    // panel: 1 or 2; other numbers read as "" and are not written.
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);

signals:
    // Every write of a panel, also one that writes the same text again.
    void panelTextChanged(int panel, const QString& text);

private:
    QLabel* panel(int number) const;

    QLabel* panel1_;
    QLabel* panel2_;
};

} // namespace tcu

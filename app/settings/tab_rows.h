// The tab control's captions in rows of five: the tab bar of SSTab1 is replaced by a
// grid of tab buttons, so that all ten captions stay readable at the window's width.
#pragma once

#include <QWidget>

class QTabWidget;
class QButtonGroup;

namespace tcu::settings {

class TabRows : public QWidget {
public:
    // Hides tabs' own bar and shows its tab captions as buttons, perRow to a row; a
    // button shows its tab, and the button of the shown tab is pressed. The rows are
    // enabled exactly while tabs is (the detection disables the tab control).
    TabRows(QTabWidget& tabs, int perRow, QWidget* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTabWidget& tabs_;
    QButtonGroup* group_;
};

} // namespace tcu::settings

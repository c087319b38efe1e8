// The Devices window, and the main window's menu items for devices: "&Devices..." and
// the check item "&Reconnect After Replug".
#include "app/forms/devices_window.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <cstdio>

#include "app/devices/device_assignment.h"
#include "app/devices/reconnect_setting.h"
#include "app/devices/replug_recovery.h"
#include "app/forms/form1.h"
#include "app/forms/twips.h"
#include "platform/dialogs/dialogs.h"

namespace tcu {

DevicesWindow::DevicesWindow(Form1& main) : QDialog(&main), main_(main) {
    setObjectName(QStringLiteral("DevicesWindow"));
    setWindowTitle(QStringLiteral("Devices"));
    setModal(true);

    tblDevices = new QTableWidget(0, ColumnCount, this);
    tblDevices->setObjectName(QStringLiteral("tblDevices"));
    tblDevices->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Maker and product"),
         QStringLiteral("Serial number"), QStringLiteral("Node"), QStringLiteral("In use")});
    tblDevices->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblDevices->setSelectionMode(QAbstractItemView::SingleSelection);
    tblDevices->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblDevices->verticalHeader()->hide();
    tblDevices->horizontalHeader()->setStretchLastSection(true);
    labEmpty = new QLabel(QStringLiteral("No serial device is plugged in."), this);
    labEmpty->setObjectName(QStringLiteral("labEmpty"));

    cboPort = new QComboBox(this);
    cboPort->setObjectName(QStringLiteral("cboPort"));
    for (int port = devices::kFirstAssignablePort; port <= devices::kLastAssignablePort; ++port)
        cboPort->addItem(QStringLiteral("Com ") + QString::number(port));
    auto* portLabel = new QLabel(QStringLiteral("&Port"), this);
    portLabel->setBuddy(cboPort);
    cmdAssign = new QPushButton(QStringLiteral("&Assign and Detect"), this);
    cmdAssign->setObjectName(QStringLiteral("cmdAssign"));
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(portLabel);
    buttons->addWidget(cboPort);
    buttons->addStretch();
    buttons->addWidget(cmdAssign);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tblDevices);
    layout->addWidget(labEmpty);
    layout->addLayout(buttons);
    resize(720, 300);

    connect(cmdAssign, &QPushButton::clicked, this, [this] { cmdAssign_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { hide(); });
    connect(tblDevices, &QTableWidget::itemSelectionChanged, this, [this] { showChoice(); });
    if (devices::DeviceSource* source = main_.core().deviceSource())
        connect(source, &devices::DeviceSource::changed, this, [this] { refresh(); });
    refresh();
}

void DevicesWindow::refresh() {
    const std::optional<devices::DeviceInfo> chosen = chosenDevice();
    devices::DeviceSource* source = main_.core().deviceSource();
    shown_ = source != nullptr ? source->list() : std::vector<devices::DeviceInfo>();
    tblDevices->clearContents();
    tblDevices->setRowCount(static_cast<int>(shown_.size()));
    int chosenRow = -1;
    for (int row = 0; row < static_cast<int>(shown_.size()); ++row) {
        const devices::DeviceInfo& d = shown_[row];
        const QString cells[ColumnCount] = {d.name(), d.makerAndProduct(), d.serial, d.node,
                                            d.inUse ? QStringLiteral("in use") : QString()};
        for (int column = 0; column < ColumnCount; ++column)
            tblDevices->setItem(row, column, new QTableWidgetItem(cells[column]));
        if (chosen && chosen->node == d.node)
            chosenRow = row;
    }
    tblDevices->resizeColumnsToContents();
    if (chosenRow >= 0)
        tblDevices->selectRow(chosenRow);
    labEmpty->setVisible(shown_.empty());
    showChoice();
}

std::optional<devices::DeviceInfo> DevicesWindow::chosenDevice() const {
    const QList<QTableWidgetItem*> items = tblDevices->selectedItems();
    if (items.isEmpty())
        return std::nullopt;
    const int row = items.first()->row();
    if (row < 0 || row >= static_cast<int>(shown_.size()))
        return std::nullopt;
    return shown_[row];
}

void DevicesWindow::showChoice() {
    cmdAssign->setEnabled(chosenDevice().has_value());
}

void DevicesWindow::cmdAssign_Click() {
    const std::optional<devices::DeviceInfo> device = chosenDevice();
    if (!device || main_.isEnding())
        return;
    const int port = cboPort->currentIndex() + devices::kFirstAssignablePort;
    if (main_.linkBusy()) {
        main_.whenLinkFree([this] { cmdAssign_Click(); });
        return;
    }
    if (std::optional<QString> why = devices::assignDevice(main_.core(), port, *device)) {
        vort::dialogs::MessageBoxRequest box;
        box.text = device->name() + QStringLiteral(" cannot be assigned to COM") +
                   QString::number(port) + QStringLiteral(":\r") + *why;
        box.title = QString::fromLatin1(kAppTitle);
        box.icon = vort::dialogs::Icon::Exclamation;
        box.buttons = vort::dialogs::Buttons::Ok;
        box.owner = this;
        vort::dialogs::dialogs().messageBox(box);
        return;
    }
    // The detection shows its own progress and boxes over the main window.
    hide();
    devices::detectAssigned(main_.core(), port);
}

// ---- The main window's menu items ------------------------------------------------

void Form1::mnudevices_Click() {
    if (isEnding())
        return;
    devicesWindow().refresh();
    devicesWindow().exec();
}

void Form1::mnureconnect_Click() {
    devices::ReplugRecovery* recovery = core_->replugRecovery();
    const bool on = mnureconnect->isChecked();
    if (recovery != nullptr)
        recovery->setEnabled(on);
    if (core_->WindowsDir.isEmpty())
        return;
    if (std::optional<QString> why = devices::writeReconnectSetting(core_->WindowsDir, on))
        std::fprintf(stderr, "tcu1: the reconnect setting is not kept: %s\n",
                     why->toLocal8Bit().constData());
}

void Form1::connectDeviceEvents() {
    connect(mnudevices, &QAction::triggered, this,
            [this] { whenLinkFree([this] { mnudevices_Click(); }); });
    connect(mnureconnect, &QAction::triggered, this, [this] { mnureconnect_Click(); });
    const bool on = core_->WindowsDir.isEmpty() || devices::readReconnectSetting(core_->WindowsDir);
    mnureconnect->setChecked(on);
    if (devices::ReplugRecovery* recovery = core_->replugRecovery())
        recovery->setEnabled(on);
}

bool Form1::mustNotInterrupt() {
    return QApplication::activeModalWidget() != nullptr || form3Loaded();
}

DevicesWindow& Form1::devicesWindow() {
    if (!devicesWindow_) {
        devicesWindow_ = new DevicesWindow(*this);
        centreOnScreen(devicesWindow_.data());
        loadedWindows_.emplace_back(devicesWindow_.data());
    }
    return *devicesWindow_;
}

} // namespace tcu

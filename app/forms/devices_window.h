// The "Devices" window ("&PC Port Setting" -> "&Devices..."): the serial devices present
// (name, maker and product, serial number, node, in use), kept current as devices are
// plugged in and pulled out. The operator picks one, chooses a port (Com 1..Com 6) and
// "&Assign and Detect" maps the port to the device and runs the automatic detection on
// it (app/devices/device_assignment.h); the window closes for the detection. A port map
// that cannot be written is told in a box and the window stays.
//
// Shown modally from the main window. GUI thread only.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <optional>
#include <vector>

#include "app/devices/device_source.h"

namespace tcu {

class Form1;

class DevicesWindow : public QDialog {
    Q_OBJECT
public:
    // The table's columns.
    enum Column { ColName, ColMakerProduct, ColSerial, ColNode, ColInUse, ColumnCount };

    explicit DevicesWindow(Form1& main);

    // Lists the devices again, keeping the chosen one chosen while it is there.
    void refresh();
    // "&Assign and Detect": the chosen device to the chosen port, then the detection.
    void cmdAssign_Click();
    // The device of the chosen row; nothing when no row is chosen.
    std::optional<devices::DeviceInfo> chosenDevice() const;

    QTableWidget* tblDevices = nullptr;
    QComboBox* cboPort = nullptr;     // "Com 1".."Com 6": port = list position + 1
    QPushButton* cmdAssign = nullptr; // enabled while a device is chosen
    QPushButton* cmdClose = nullptr;
    QLabel* labEmpty = nullptr; // shown when no device is present

private:
    void showChoice();

    Form1& main_;
    std::vector<devices::DeviceInfo> shown_;
};

} // namespace tcu

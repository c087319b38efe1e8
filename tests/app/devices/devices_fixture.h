// The program's windows over a fake device source: the simulator on a pseudo-terminal
// stands for the scanner behind a USB adapter, reached through links the test makes and
// removes as the adapter comes and goes.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <unistd.h>

#include "app/devices/replug_recovery.h"
#include "fake_device_source.h"
#include "support/wait.h"
#include "tcu_fixture.h"

namespace tcu::test {

class DevicesTest : public TcuTest {
protected:
    // A new core with LoadPortSettings run and the fake as its device source, and the
    // main window over it. The fake writes its map where the control reads it (the
    // simulator's map when one runs).
    Form1& loadFormWithFake() {
        auto fake = std::make_unique<FakeDeviceSource>(sim_ ? sim_->portMapPath()
                                                            : configHome_ + "/serilon/ports.conf");
        fake_ = fake.get();
        auto core = std::make_unique<ProgramCore>();
        core->LoadPortSettings();
        core->setDeviceSource(std::move(fake));
        form_ = std::make_unique<Form1>(std::move(core));
        return *form_;
    }

    // A link named name in the scratch directory to target (the device node the fake
    // device stands for); its path.
    QString makeLink(const std::string& name, const std::string& target) {
        const std::string path = scratch_ + "/" + name;
        ::unlink(path.c_str());
        EXPECT_EQ(::symlink(target.c_str(), path.c_str()), 0) << path;
        return QString::fromStdString(path);
    }
    void removeLink(const QString& path) { ::unlink(QFile::encodeName(path).constData()); }

    // An adapter the fake lists, with node and stable name as given.
    static devices::DeviceInfo adapter(const QString& node, const QString& stableName,
                                       const QString& serial = QStringLiteral("A1B2C3")) {
        devices::DeviceInfo d;
        d.node = node;
        d.stableName = stableName;
        d.serial = serial;
        d.vendorId = 0x0403;
        d.productId = 0x6001;
        d.vendor = QStringLiteral("FTDI");
        d.product = QStringLiteral("FT232R USB UART");
        d.driver = QStringLiteral("ftdi_sio");
        return d;
    }

    // Delivers the program's events until pred holds (generous deadline).
    static bool waitFor(const std::function<bool()>& pred, int timeoutMs = 10000) {
        return vort::test::waitFor(pred, timeoutMs, [] { QCoreApplication::processEvents(); });
    }

    devices::ReplugRecovery& recovery() { return *core().replugRecovery(); }

    FakeDeviceSource* fake_ = nullptr;
};

} // namespace tcu::test

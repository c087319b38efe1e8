// The devices' rules without a window: which device a port leads to, when a device is
// the same one back again, the start-up hint's text and the reconnect setting's file.
#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/devices/missing_device_hint.h"
#include "app/devices/reconnect_setting.h"
#include "fake_device_source.h"
#include "support/non_regular_files.h"

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace tcu::test {
namespace {

using devices::DeviceInfo;

DeviceInfo adapter(const QString& node, const QString& serial, const QString& stableName = {}) {
    DeviceInfo d;
    d.node = node;
    d.serial = serial;
    d.stableName = stableName;
    d.vendorId = 0x0403;
    d.productId = 0x6001;
    d.vendor = QStringLiteral("FTDI");
    d.product = QStringLiteral("FT232R USB UART");
    return d;
}

TEST(DeviceRules, APortsLinksAreFollowedAlsoPastATargetThatIsGone) {
    QTemporaryDir dir;
    const QString byId = dir.filePath(QStringLiteral("by-id"));
    const QString mine = dir.filePath(QStringLiteral("scanner"));
    ASSERT_EQ(symlink("/dev/ttyUSB7-gone", QFile::encodeName(byId).constData()), 0);
    // A relative link, taken from its own directory.
    ASSERT_EQ(symlink("by-id", QFile::encodeName(mine).constData()), 0);
    EXPECT_EQ(devices::linkChain(mine),
              (QStringList{mine, byId, QStringLiteral("/dev/ttyUSB7-gone")}));
    EXPECT_EQ(devices::linkChain(QStringLiteral("/dev/null")),
              QStringList{QStringLiteral("/dev/null")});

    // A loop ends the walk instead of running forever.
    const QString a = dir.filePath(QStringLiteral("a"));
    const QString b = dir.filePath(QStringLiteral("b"));
    ASSERT_EQ(symlink("b", QFile::encodeName(a).constData()), 0);
    ASSERT_EQ(symlink("a", QFile::encodeName(b).constData()), 0);
    EXPECT_EQ(devices::linkChain(a), (QStringList{a, b}));
}

TEST(DeviceRules, TheSameDeviceIsItsStableNameOrItsSerialNumberOfTheSameModel) {
    const DeviceInfo gone = adapter("/dev/ttyUSB0", "A1", "/dev/serial/by-id/usb-FTDI_A1");
    EXPECT_TRUE(gone.sameDeviceAs(adapter("/dev/ttyUSB1", "A1", "/dev/serial/by-id/usb-FTDI_A1")));
    EXPECT_TRUE(gone.sameDeviceAs(adapter("/dev/ttyUSB1", "A1")));
    EXPECT_FALSE(gone.sameDeviceAs(adapter("/dev/ttyUSB0", "B2", "/dev/serial/by-id/usb-FTDI_B2")))
        << "another adapter at the old node is another device";
    DeviceInfo otherModel = adapter("/dev/ttyUSB1", "A1");
    otherModel.productId = 0x6015;
    EXPECT_FALSE(gone.sameDeviceAs(otherModel));
    // Without a serial number or a stable name nothing can be recognised.
    EXPECT_FALSE(adapter("/dev/ttyUSB0", "").sameDeviceAs(adapter("/dev/ttyUSB0", "")));
}

TEST(DeviceRules, TheStartUpHintNamesWhatIsPresentAndTheMenuItem) {
    FakeDeviceSource source;
    source.map[1] = QStringLiteral("/dev/ttyUSB9");
    EXPECT_EQ(devices::missingDeviceHint(source, 1),
              "No device at COM1 (/dev/ttyUSB9) and no serial device is plugged in: plug in the "
              "scanner, then PC Port Setting -> Devices...");
    source.devices = {adapter("/dev/ttyUSB0", "A1"), adapter("/dev/ttyACM0", "")};
    source.devices[1].vendor.clear();
    source.devices[1].product.clear();
    EXPECT_EQ(devices::missingDeviceHint(source, 1),
              "No device at COM1 (/dev/ttyUSB9). Present: FT232R USB UART (/dev/ttyUSB0), serial "
              "device (/dev/ttyACM0). Assign one with PC Port Setting -> Devices...");
    // A port whose device is there needs no hint; neither does one with something else
    // (a pseudo-terminal) at its path.
    source.map[2] = QStringLiteral("/dev/ttyUSB0");
    source.map[3] = QStringLiteral("/dev/null");
    EXPECT_EQ(devices::missingDeviceHint(source, 2), "");
    EXPECT_EQ(devices::missingDeviceHint(source, 3), "");
    EXPECT_EQ(devices::portDeviceText(source, 2), "/dev/ttyUSB0 - present");
    EXPECT_EQ(devices::portDeviceText(source, 1), "/dev/ttyUSB9 - not present");
    EXPECT_EQ(devices::portDeviceText(source, 9), "");
}

TEST(DeviceRules, TheReconnectSettingKeepsTheFilesOtherLinesAndItsMode) {
    QTemporaryDir dir;
    const QString path = devices::programSettingsPath(dir.path());
    EXPECT_TRUE(devices::readReconnectSetting(dir.path())) << "on without a file";

    {
        std::ofstream out(QFile::encodeName(path).toStdString());
        out << "# tcu1's own settings\nSomethingElse=7\nReconnectAfterReplug=1\n";
    }
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_FALSE(devices::writeReconnectSetting(dir.path(), false).has_value());
    EXPECT_EQ(vort::test::fileText(QFile::encodeName(path).toStdString()),
              "# tcu1's own settings\nSomethingElse=7\nReconnectAfterReplug=0\n");
    EXPECT_FALSE(devices::readReconnectSetting(dir.path()));
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    EXPECT_FALSE(devices::writeReconnectSetting(dir.path(), true).has_value());
    EXPECT_TRUE(devices::readReconnectSetting(dir.path()));

    // A FIFO where the file belongs is neither read (nothing blocks) nor replaced.
    QTemporaryDir fifoDir;
    const QString fifo = devices::programSettingsPath(fifoDir.path());
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(devices::readReconnectSetting(fifoDir.path()));
    const std::optional<QString> why = devices::writeReconnectSetting(fifoDir.path(), false);
    ASSERT_TRUE(why.has_value());
    EXPECT_TRUE(why->contains(fifo)) << why->toStdString();
}

} // namespace
} // namespace tcu::test

#include "libs/serilon/os_error.h"

#include <gtest/gtest.h>

#include <cerrno>

using serilon::osError;
using serilon::OsOperation;

TEST(SerilonOsError, TextsNameTheDeviceAndTheRemedy) {
    auto missing = osError(ENOENT, OsOperation::Open, "/dev/ttyUSB0");
    EXPECT_EQ(missing.status, SERIAL_E_NO_DEVICE);
    EXPECT_NE(missing.text.find("/dev/ttyUSB0 does not exist"), std::string::npos);
    EXPECT_EQ(missing.err, ENOENT);

    auto busy = osError(EWOULDBLOCK, OsOperation::Lock, "/dev/ttyS1");
    EXPECT_EQ(busy.status, SERIAL_E_BUSY);
    EXPECT_NE(busy.text.find("/dev/ttyS1 is in use by another program"), std::string::npos);

    // A device node owned by root (gid 0) names the usual group.
    auto denied = osError(EACCES, OsOperation::Open, "/nonexistent/ttyS0");
    EXPECT_EQ(denied.status, SERIAL_E_PERMISSION);
    EXPECT_NE(denied.text.find("no permission to open /nonexistent/ttyS0: add your user to the "
                               "'dialout' group (sudo usermod -aG dialout $USER) and log in again"),
              std::string::npos)
        << denied.text;

    EXPECT_EQ(osError(ENOTTY, OsOperation::Open, "/etc/hosts").status, SERIAL_E_NOT_A_TTY);
    EXPECT_EQ(osError(EIO, OsOperation::Open, "/dev/ttyS9").status, SERIAL_E_NO_DEVICE);
    EXPECT_EQ(osError(EIO, OsOperation::Io, "/dev/ttyUSB0").status, SERIAL_E_HUNG_UP);
    EXPECT_EQ(osError(EMFILE, OsOperation::Open, "/dev/x").status, SERIAL_E_RESOURCES);
    EXPECT_EQ(osError(EAGAIN, OsOperation::Thread, "/dev/x").status, SERIAL_E_RESOURCES);
    auto other = osError(EPROTO, OsOperation::Control, "/dev/x");
    EXPECT_EQ(other.status, SERIAL_E_IO);
    // The system's own reason is kept in the text.
    EXPECT_NE(other.text.find("("), std::string::npos);
}

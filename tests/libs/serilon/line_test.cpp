// Line settings, the configuration record and modem lines over a pseudo-terminal.
#include "kernel_speed.h"
#include "serilon_test_util.h"

#include <cstring>
#include <termios.h>

using namespace serilon_test;

namespace {

termios slaveSettings(int master) {
    // On a pty master, tcgetattr reports the slave's settings.
    termios t{};
    tcgetattr(master, &t);
    return t;
}

SerialConfigRecord readConfig(int id) {
    SerialConfigRecord r{};
    EXPECT_EQ(SerialReadConfig(id, &r), SERIAL_OK);
    return r;
}

} // namespace

TEST_F(SerilonPort, LineSettingsAreKeptAndReachTheDevice) {
    ASSERT_EQ(SerialSetLine(kId, 38400, 8, 2, 'N', 0), SERIAL_OK) << errorText(kId);
    termios t = slaveSettings(pty_.master());
    EXPECT_EQ(cfgetospeed(&t), speed_t(B38400));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    SerialConfigRecord r = readConfig(kId);
    EXPECT_EQ(r.baud, 38400u);
    EXPECT_EQ(r.stopBits, 2);
    EXPECT_EQ(r.dataBits, 8);

    // A pty takes no parity or smaller sizes; the call still succeeds and the values
    // read back as asked.
    ASSERT_EQ(SerialSetLine(kId, 9600, 7, 1, 'e', 0), SERIAL_OK) << errorText(kId);
    t = slaveSettings(pty_.master());
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    r = readConfig(kId);
    EXPECT_EQ(r.baud, 9600u);
    EXPECT_EQ(r.dataBits, 7);
    EXPECT_EQ(r.parity, 2); // even
    EXPECT_EQ(r.stopBits, 0);
    ASSERT_EQ(SerialSetLine(kId, 110, 5, 2, 'M', 0), SERIAL_OK) << errorText(kId);
    r = readConfig(kId);
    EXPECT_EQ(r.parity, 3);
    EXPECT_EQ(r.stopBits, 1); // one and a half

    // Speeds without a standard code.
    ASSERT_EQ(SerialSetLine(kId, 250000, 8, 1, 'N', 0), SERIAL_OK) << errorText(kId);
    EXPECT_EQ(kernelOutputSpeed(pty_.master()), 250000u);
    EXPECT_EQ(readConfig(kId).baud, 250000u);
    ASSERT_EQ(SerialSetLine(kId, 31250, 8, 1, 'N', 0), SERIAL_OK) << errorText(kId);
    EXPECT_EQ(kernelOutputSpeed(pty_.master()), 31250u);
    ASSERT_EQ(SerialSetLine(kId, 115200, 8, 1, 'N', 0), SERIAL_OK);
    EXPECT_EQ(kernelOutputSpeed(pty_.master()), 115200u);

    // Bad values are refused with a reason and change nothing.
    EXPECT_EQ(SerialSetLine(kId, 0, 8, 1, 'N', 0), SERIAL_E_INVALID);
    EXPECT_EQ(SerialSetLine(kId, 9600, 9, 1, 'N', 0), SERIAL_E_INVALID);
    EXPECT_EQ(SerialSetLine(kId, 9600, 8, 3, 'N', 0), SERIAL_E_INVALID);
    EXPECT_EQ(SerialSetLine(kId, 9600, 8, 1, 'X', 0), SERIAL_E_INVALID);
    EXPECT_NE(errorText(kId).find("parity"), std::string::npos);
    EXPECT_EQ(readConfig(kId).baud, 115200u);
    EXPECT_EQ(kernelOutputSpeed(pty_.master()), 115200u);
}

TEST_F(SerilonPort, FlowAndXonXoffCharactersReachTheDevice) {
    ASSERT_EQ(SerialSetFlow(kId, SERIAL_FLOW_RTSCTS), SERIAL_OK) << errorText(kId);
    EXPECT_EQ(SerialGetFlow(kId), SERIAL_FLOW_RTSCTS);
    EXPECT_TRUE(slaveSettings(pty_.master()).c_cflag & CRTSCTS);

    // The control's way to change XON/XOFF: read the record, change bytes 21/22, write.
    SerialConfigRecord r = readConfig(kId);
    r.xonChar = 0x05;
    r.xoffChar = 0x06;
    ASSERT_EQ(SerialWriteConfig(kId, &r), SERIAL_OK);
    ASSERT_EQ(SerialSetLine(kId, 19200, 8, 1, 'N', SERIAL_FLOW_XONXOFF | SERIAL_FLOW_RTSCTS),
              SERIAL_OK);
    EXPECT_EQ(SerialGetFlow(kId), SERIAL_FLOW_XONXOFF | SERIAL_FLOW_RTSCTS);
    termios t = slaveSettings(pty_.master());
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_EQ(t.c_cc[VSTART], 0x05);
    EXPECT_EQ(t.c_cc[VSTOP], 0x06);
    // A later SerialSetLine kept the characters.
    r = readConfig(kId);
    EXPECT_EQ(r.xonChar, 0x05);
    EXPECT_EQ(r.baud, 19200u);

    ASSERT_EQ(SerialSetFlow(kId, 0), SERIAL_OK);
    t = slaveSettings(pty_.master());
    EXPECT_FALSE(t.c_iflag & IXON);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(SerialGetFlow(kId), 0);

    // The classic 28-byte form: nothing past byte 28 is written.
    unsigned char shortForm[52];
    std::memset(shortForm, 0xA5, sizeof shortForm);
    const uint32_t len28 = 28;
    std::memcpy(shortForm, &len28, 4);
    ASSERT_EQ(SerialReadConfig(kId, reinterpret_cast<SerialConfigRecord*>(shortForm)), SERIAL_OK);
    EXPECT_EQ(shortForm[21], 0x05);
    for (std::size_t i = 28; i < sizeof shortForm; ++i) {
        ASSERT_EQ(shortForm[i], 0xA5) << "byte " << i << " written";
    }
    const uint32_t len10 = 10;
    std::memcpy(shortForm, &len10, 4);
    EXPECT_EQ(SerialReadConfig(kId, reinterpret_cast<SerialConfigRecord*>(shortForm)),
              SERIAL_E_INVALID);

    r.baud = 0;
    EXPECT_EQ(SerialWriteConfig(kId, &r), SERIAL_E_INVALID);
    EXPECT_EQ(SerialWriteConfig(kId, nullptr), SERIAL_E_INVALID);
    EXPECT_EQ(SerialReadConfig(kId, nullptr), SERIAL_E_INVALID);
}

TEST_F(SerilonPort, ModemLinesReadAsAbsentOnAPty) {
    EXPECT_EQ(SerialHasModemLines(kId), 0);
    EXPECT_EQ(SerialModemStatus(kId), 0);
    EXPECT_NE(SerialCarrier(kId), 0);
    EXPECT_EQ(SerialLineErrors(kId), 0);

    EXPECT_EQ(SerialDtrOff(kId), SERIAL_OK);
    EXPECT_EQ(SerialOutputLines(kId), SERIAL_LINE_RTS);
    EXPECT_EQ(SerialRtsOff(kId), SERIAL_OK);
    EXPECT_EQ(SerialOutputLines(kId), 0);
    EXPECT_EQ(SerialDtrOn(kId), SERIAL_OK);
    EXPECT_EQ(SerialOutputLines(kId), SERIAL_LINE_DTR);
    EXPECT_EQ(SerialRtsOn(kId), SERIAL_OK);
    EXPECT_EQ(SerialOutputLines(kId), SERIAL_LINE_DTR | SERIAL_LINE_RTS);
    EXPECT_EQ(SerialBreakOn(kId), SERIAL_OK);
    EXPECT_EQ(SerialBreakOff(kId), SERIAL_OK);
    EXPECT_EQ(SerialPriorityNotice(kId), SERIAL_OK);
}

TEST_F(SerilonPort, NulDiscardAndErrorMarkingOverAPty) {
    SerialConfigRecord r = readConfig(kId);
    r.flags |= SERIAL_CFG_DISCARD_NUL;
    ASSERT_EQ(SerialWriteConfig(kId, &r), SERIAL_OK);
    ASSERT_TRUE(pty_.writeAll(std::string("\0A\0\0B\0", 6)));
    ASSERT_TRUE(pty_.writeAll("C"));
    EXPECT_EQ(readFromPort(kId, 3), "ABC");
    EXPECT_EQ(SerialQueueCount(kId, SERIAL_DIR_INPUT), 0);

    // Error replacement on: the device marks bytes in-band (PARMRK) and a data byte
    // 0xFF comes doubled; the library must give it back as one byte.
    r.flags = (r.flags & ~SERIAL_CFG_DISCARD_NUL) | SERIAL_CFG_ERROR_CHAR;
    r.errorChar = '?';
    ASSERT_EQ(SerialWriteConfig(kId, &r), SERIAL_OK);
    EXPECT_TRUE(slaveSettings(pty_.master()).c_iflag & PARMRK);
    const std::string withFf("\xff\x00Z\xff", 4);
    ASSERT_TRUE(pty_.writeAll(withFf));
    EXPECT_EQ(readFromPort(kId, 4), withFf);

    r.flags &= ~SERIAL_CFG_ERROR_CHAR;
    ASSERT_EQ(SerialWriteConfig(kId, &r), SERIAL_OK);
    EXPECT_FALSE(slaveSettings(pty_.master()).c_iflag & PARMRK);
    // A later SerialSetLine keeps the record-only settings.
    r.flags |= SERIAL_CFG_DISCARD_NUL;
    ASSERT_EQ(SerialWriteConfig(kId, &r), SERIAL_OK);
    ASSERT_EQ(SerialSetLine(kId, 9600, 8, 1, 'N', 0), SERIAL_OK);
    EXPECT_TRUE(readConfig(kId).flags & SERIAL_CFG_DISCARD_NUL);
    ASSERT_TRUE(pty_.writeAll(std::string("\0D", 2)));
    EXPECT_EQ(readFromPort(kId, 1), "D");
}

// The exported C calls: check the comm id, find the channel, call into it, keep the
// failure's text for SerialErrorText.
#include "libs/serilon/comm_table.h"
#include "libs/serilon/port_map.h"
#include "serilon/serilon.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

using serilon::Channel;
using serilon::CommTable;
using serilon::OsStatus;

namespace {

CommTable& table() {
    return CommTable::instance();
}

bool validDir(std::int32_t dir) {
    return dir == SERIAL_DIR_INPUT || dir == SERIAL_DIR_OUTPUT;
}

// Returns the status, keeping a failure's text. "Not open" is not kept: it would hide
// the reason of the failed open that usually comes before it.
std::int32_t report(std::int32_t commId, const OsStatus& st) {
    if (!st.ok() && st.status != SERIAL_E_NOT_OPEN) {
        table().recordFailure(commId, st);
    }
    return st.status;
}

// Runs f(channel) -> OsStatus on an open comm id.
template <class F> std::int32_t withChannel(std::int32_t commId, F f) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    std::shared_ptr<Channel> channel = table().find(commId);
    if (!channel) {
        return SERIAL_E_NOT_OPEN;
    }
    return report(commId, f(*channel));
}

// Runs f(channel) -> value on an open comm id; closed or bad ids give fallback.
template <class T, class F> T valueOf(std::int32_t commId, T fallback, F f) {
    if (!CommTable::validId(commId)) {
        return fallback;
    }
    std::shared_ptr<Channel> channel = table().find(commId);
    return channel ? T(f(*channel)) : fallback;
}

void copyText(const std::string& text, char* buf, std::int32_t size) {
    const std::size_t n = std::min(text.size(), std::size_t(size) - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
}

} // namespace

extern "C" {

// ---- Port -------------------------------------------------------------------------

int32_t SerialOpenPort(int32_t commId) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    const OsStatus st = table().open(commId);
    if (st.status == SERIAL_E_IN_USE) {
        table().recordFailure(commId, st);
    }
    return st.status;
}

int32_t SerialOpenStatus(int32_t commId) {
    return CommTable::validId(commId) ? table().openStatus(commId) : SERIAL_E_BAD_ID;
}

int32_t SerialClosePort(int32_t commId) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    return report(commId, table().close(commId));
}

int32_t SerialInUse(int32_t commId) {
    return valueOf<int32_t>(commId, 0, [](Channel&) { return 1; });
}

int32_t SerialPortState(int32_t portNumber) {
    if (portNumber < 1 || portNumber > SERIAL_COMM_IDS) {
        return SERIAL_PORT_ABSENT;
    }
    return table().portState(portNumber);
}

int32_t SerialMaxBaud(int32_t commId) {
    return valueOf<int32_t>(commId, 0, [](Channel& c) { return c.maxBaud(); });
}

int32_t SerialErrorText(int32_t commId, char* buf, int32_t size) {
    if (!buf || size <= 0) {
        return SERIAL_E_INVALID;
    }
    if (!CommTable::validId(commId)) {
        copyText("comm id " + std::to_string(commId) + " is outside 0.." +
                     std::to_string(SERIAL_MAX_COMM_ID),
                 buf, size);
        return SERIAL_E_BAD_ID;
    }
    const OsStatus st = table().lastFailure(commId);
    copyText(st.text, buf, size);
    return st.status;
}

int32_t SerialDevicePath(int32_t portNumber, char* buf, int32_t size) {
    if (portNumber < 1 || portNumber > SERIAL_COMM_IDS) {
        return SERIAL_E_BAD_ID;
    }
    if (!buf || size <= 0) {
        return SERIAL_E_INVALID;
    }
    copyText(serilon::devicePathFor(serilon::loadPortMap(), portNumber), buf, size);
    return SERIAL_OK;
}

// ---- Line -------------------------------------------------------------------------

int32_t SerialSetLine(int32_t commId, int32_t baud, int32_t dataBits, int32_t stopBits, char parity,
                      int32_t flow) {
    return withChannel(
        commId, [&](Channel& c) { return c.setLine(baud, dataBits, stopBits, parity, flow); });
}

int32_t SerialSetFlow(int32_t commId, int32_t flow) {
    return withChannel(commId, [&](Channel& c) { return c.setFlow(flow); });
}

int32_t SerialGetFlow(int32_t commId) {
    return valueOf<int32_t>(commId, 0, [](Channel& c) { return c.flow(); });
}

int32_t SerialDtrOn(int32_t commId) {
    return withChannel(commId, [](Channel& c) { return c.setOutputLine(SERIAL_LINE_DTR, true); });
}

int32_t SerialDtrOff(int32_t commId) {
    return withChannel(commId, [](Channel& c) { return c.setOutputLine(SERIAL_LINE_DTR, false); });
}

int32_t SerialRtsOn(int32_t commId) {
    return withChannel(commId, [](Channel& c) { return c.setOutputLine(SERIAL_LINE_RTS, true); });
}

int32_t SerialRtsOff(int32_t commId) {
    return withChannel(commId, [](Channel& c) { return c.setOutputLine(SERIAL_LINE_RTS, false); });
}

int32_t SerialOutputLines(int32_t commId) {
    return valueOf<int32_t>(commId, 0, [](Channel& c) { return c.outputLines(); });
}

int32_t SerialBreakOn(int32_t commId) {
    return withChannel(commId, [](Channel& c) { return c.setBreak(true); });
}

int32_t SerialBreakOff(int32_t commId) {
    return withChannel(commId, [](Channel& c) { return c.setBreak(false); });
}

int32_t SerialModemStatus(int32_t commId) {
    return valueOf<int32_t>(commId, 0, [](Channel& c) { return c.modemStatus(); });
}

int32_t SerialHasModemLines(int32_t commId) {
    return valueOf<int32_t>(commId, 0, [](Channel& c) { return c.hasModemLines() ? 1 : 0; });
}

int32_t SerialCarrier(int32_t commId) {
    return valueOf<int32_t>(commId, 0, [](Channel& c) { return c.carrier() ? 1 : 0; });
}

int32_t SerialLineErrors(int32_t commId) {
    return valueOf<int32_t>(commId, 0, [](Channel& c) { return c.takeLineErrors(); });
}

int32_t SerialReadConfig(int32_t commId, SerialConfigRecord* record) {
    if (!record) {
        return CommTable::validId(commId) ? SERIAL_E_INVALID : SERIAL_E_BAD_ID;
    }
    // A caller may hand the classic 28-byte form with its length set: every field the
    // library fills lies in the first kConfigFieldsEnd bytes, so write no further
    // than the caller said. 0 or anything from 52 up means the whole record.
    constexpr std::uint32_t kConfigFieldsEnd = offsetof(SerialConfigRecord, reserved1);
    const std::uint32_t asked = record->length;
    if (asked > 0 && asked < kConfigFieldsEnd) {
        return report(commId, OsStatus::make(SERIAL_E_INVALID, "configuration record length " +
                                                                   std::to_string(asked) +
                                                                   " is too short"));
    }
    const std::size_t size = (asked > 0 && asked < sizeof(SerialConfigRecord))
                                 ? std::size_t(asked)
                                 : sizeof(SerialConfigRecord);
    return withChannel(commId, [&](Channel& c) {
        SerialConfigRecord full;
        c.readConfig(full);
        full.length = std::uint32_t(size);
        std::memcpy(record, &full, size);
        return OsStatus::success();
    });
}

int32_t SerialWriteConfig(int32_t commId, const SerialConfigRecord* record) {
    if (!record) {
        return CommTable::validId(commId) ? SERIAL_E_INVALID : SERIAL_E_BAD_ID;
    }
    return withChannel(commId, [&](Channel& c) { return c.writeConfig(*record); });
}

intptr_t SerialOsHandle(int32_t commId) {
    return valueOf<intptr_t>(commId, -1, [](Channel& c) { return c.osHandle(); });
}

// ---- Data -------------------------------------------------------------------------

int32_t SerialWrite(int32_t commId, const void* data, uint16_t len, uint16_t* taken) {
    if (taken) {
        *taken = 0;
    }
    if (!data && len > 0) {
        return CommTable::validId(commId) ? SERIAL_E_INVALID : SERIAL_E_BAD_ID;
    }
    return withChannel(commId, [&](Channel& c) {
        std::size_t n = 0;
        OsStatus st = c.write(static_cast<const std::uint8_t*>(data), len, n);
        if (taken) {
            *taken = uint16_t(n);
        }
        return st;
    });
}

int32_t SerialRead(int32_t commId, void* buf, uint16_t len, uint16_t* got) {
    if (got) {
        *got = 0;
    }
    if (!buf && len > 0) {
        return CommTable::validId(commId) ? SERIAL_E_INVALID : SERIAL_E_BAD_ID;
    }
    return withChannel(commId, [&](Channel& c) {
        const std::size_t n = c.read(static_cast<std::uint8_t*>(buf), len);
        if (got) {
            *got = uint16_t(n);
        }
        return OsStatus::success();
    });
}

int32_t SerialQueueCount(int32_t commId, int32_t dir) {
    if (!validDir(dir)) {
        return 0;
    }
    return valueOf<int32_t>(commId, 0, [&](Channel& c) { return c.queueCount(dir); });
}

int32_t SerialQueueFull(int32_t commId, int32_t dir) {
    if (!validDir(dir)) {
        return 0;
    }
    return valueOf<int32_t>(commId, 0, [&](Channel& c) { return c.queueFull(dir) ? 1 : 0; });
}

int32_t SerialFlushQueue(int32_t commId, int32_t dir) {
    if (!validDir(dir)) {
        return CommTable::validId(commId) ? SERIAL_E_INVALID : SERIAL_E_BAD_ID;
    }
    return withChannel(commId, [&](Channel& c) {
        c.flush(dir);
        return OsStatus::success();
    });
}

int32_t SerialSetBuffers(int32_t commId, int32_t inSize, int32_t outSize) {
    return withChannel(commId, [&](Channel& c) { return c.setBuffers(inSize, outSize); });
}

int32_t SerialBufferSize(int32_t commId, int32_t dir) {
    if (!validDir(dir)) {
        return 0;
    }
    return valueOf<int32_t>(commId, 0, [&](Channel& c) { return c.bufferSize(dir); });
}

int32_t SerialWaitQueue(int32_t commId, int32_t dir, int32_t lastCount, int32_t timeoutMs) {
    if (!validDir(dir)) {
        return 0;
    }
    return valueOf<int32_t>(commId, 0,
                            [&](Channel& c) { return c.waitQueue(dir, lastCount, timeoutMs); });
}

// ---- Events and threads -----------------------------------------------------------

int32_t SerialSetEventProc(int32_t commId, SerialEventProc proc) {
    return withChannel(commId, [&](Channel& c) {
        c.setEventProc(proc);
        return OsStatus::success();
    });
}

int32_t SerialSetUserData(int32_t commId, int32_t slot, intptr_t value) {
    if (!CommTable::validId(commId)) {
        return SERIAL_E_BAD_ID;
    }
    if (slot < 0 || slot >= SERIAL_USER_SLOTS) {
        return report(commId,
                      OsStatus::make(SERIAL_E_INVALID, "user slot " + std::to_string(slot) +
                                                           " is outside 0.." +
                                                           std::to_string(SERIAL_USER_SLOTS - 1)));
    }
    table().setUserData(commId, slot, value);
    return SERIAL_OK;
}

intptr_t SerialGetUserData(int32_t commId, int32_t slot) {
    if (!CommTable::validId(commId) || slot < 0 || slot >= SERIAL_USER_SLOTS) {
        return 0;
    }
    return table().userData(commId, slot);
}

int32_t SerialSetMode(int32_t commId, int32_t mask, int32_t option) {
    return valueOf<int32_t>(commId, 0, [&](Channel& c) { return c.setMode(mask, option); });
}

intptr_t SerialThreadHandle(int32_t commId, int32_t which) {
    return valueOf<intptr_t>(commId, 0, [&](Channel& c) { return c.threadId(which); });
}

int32_t SerialPriorityNotice(int32_t commId) {
    // The threads' priorities are the caller's to set (setpriority on the thread ids);
    // nothing in the library depends on them.
    return withChannel(commId, [](Channel&) { return OsStatus::success(); });
}

} // extern "C"

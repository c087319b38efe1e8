// The seven functions the serial control binds by name.

#include <algorithm>
#include <mutex>

#include "libs/link3964/file_transfer.h"
#include "libs/link3964/port_channel.h"
#include "link3964/link3964.h"

using link3964::channelFor;
using link3964::PortChannel;

namespace {

constexpr std::int32_t kMaxDelayMs = 600'000;

// Status goes to a local when the caller passed none, so every path can store it.
struct StatusOut {
    explicit StatusOut(std::int32_t* p) : target(p ? p : &dummy) {}
    std::uint8_t set(std::int32_t status) {
        *target = status;
        return status == LINK3964_OK ? 1 : 0;
    }
    std::int32_t dummy = 0;
    std::int32_t* target;
};

} // namespace

extern "C" {

LINK3964_API uint16_t RS_3964Version(void) {
    return 0x0200;
}

LINK3964_API int32_t RS_SetTQTZ(int32_t commId, int32_t tqMs, int32_t tzMs) {
    PortChannel* ch = channelFor(commId);
    if (!ch)
        return LINK3964_BAD_ARGUMENT;
    ch->setDelays(std::clamp(tqMs, 1, kMaxDelayMs), std::clamp(tzMs, 1, kMaxDelayMs));
    return LINK3964_OK;
}

LINK3964_API int32_t RS_SetMZ1MZ2(int32_t commId, int32_t mz1, int32_t mz2) {
    PortChannel* ch = channelFor(commId);
    if (!ch)
        return LINK3964_BAD_ARGUMENT;
    ch->setAttempts(std::clamp(mz1, 1, 255), std::clamp(mz2, 1, 255));
    return LINK3964_OK;
}

LINK3964_API uint8_t RS_TX3964R(int32_t commId, const uint8_t* data, uint16_t length,
                                int32_t* status, uint8_t flag, int32_t useBcc, int32_t master) {
    StatusOut out(status);
    PortChannel* ch = channelFor(commId);
    if (!ch || (data == nullptr && length > 0))
        return out.set(LINK3964_BAD_ARGUMENT);
    std::unique_lock lock(ch->opMutex(), std::try_to_lock);
    if (!lock.owns_lock())
        return out.set(LINK3964_BUSY);
    return out.set(ch->sendTelegram(std::span(data, length), flag != 0, useBcc != 0, master != 0));
}

LINK3964_API uint8_t RS_RX3964R(int32_t commId, uint8_t* buffer, uint16_t* length, int32_t* status,
                                int32_t waitMs, uint8_t* flag, int32_t useBcc) {
    StatusOut out(status);
    PortChannel* ch = channelFor(commId);
    if (!ch || length == nullptr || (buffer == nullptr && *length > 0))
        return out.set(LINK3964_BAD_ARGUMENT);
    std::unique_lock lock(ch->opMutex(), std::try_to_lock);
    if (!lock.owns_lock())
        return out.set(LINK3964_BUSY);
    link3964::ReceivedTelegram r =
        ch->receiveTelegram(std::span(buffer, *length), std::max(waitMs, 0), useBcc != 0);
    *length = static_cast<uint16_t>(std::min<std::size_t>(r.length, 65535));
    if (flag)
        *flag = r.status == LINK3964_OK && r.moreFollows ? 1 : 0;
    return out.set(r.status);
}

LINK3964_API uint8_t RS_TXFile_3964R(int32_t commId, const char* fileName, int32_t* status) {
    StatusOut out(status);
    PortChannel* ch = channelFor(commId);
    if (!ch || fileName == nullptr)
        return out.set(LINK3964_BAD_ARGUMENT);
    std::unique_lock lock(ch->opMutex(), std::try_to_lock);
    if (!lock.owns_lock())
        return out.set(LINK3964_BUSY);
    if (!ch->portUsable())
        return out.set(LINK3964_PORT_ERROR);
    return out.set(link3964::sendFile(*ch, link3964::localPath(fileName)));
}

LINK3964_API uint8_t RS_RXFile_3964R(int32_t commId, const char* fileName, int32_t* status) {
    StatusOut out(status);
    PortChannel* ch = channelFor(commId);
    if (!ch || fileName == nullptr)
        return out.set(LINK3964_BAD_ARGUMENT);
    std::unique_lock lock(ch->opMutex(), std::try_to_lock);
    if (!lock.owns_lock())
        return out.set(LINK3964_BUSY);
    if (!ch->portUsable())
        return out.set(LINK3964_PORT_ERROR);
    return out.set(link3964::receiveFile(*ch, link3964::localPath(fileName)));
}

} // extern "C"

// The process-wide table of the 255 comm ids: which are open, the status and text of
// each id's last failure, and the user slots, which outlive open and close.
#pragma once

#include "libs/serilon/channel.h"
#include "libs/serilon/os_error.h"
#include "serilon/serilon.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace serilon {

// Thread rules: every member may be called from any thread. Open and close of one comm
// id are serialised; lookups never wait for an open or close in progress. The table is
// never destroyed (library threads may still run while the process exits).
class CommTable {
public:
    static CommTable& instance();

    static bool validId(std::int32_t commId) { return commId >= 0 && commId <= SERIAL_MAX_COMM_ID; }

    // The open channel of commId, or null.
    std::shared_ptr<Channel> find(std::int32_t commId);

    // Opens the device that commId's port number maps to (the map file is read now).
    OsStatus open(std::int32_t commId);
    // Makes commId carry the connection a server accepted (handle from PendingConnections).
    OsStatus adopt(std::int32_t commId, std::int32_t handle);
    // Closes commId; SERIAL_E_INVALID from its own thread 0 (that would wait for itself).
    OsStatus close(std::int32_t commId);
    // 0 while open and usable, SERIAL_E_HUNG_UP after a hang-up, the failed open's
    // status after a failed open, else SERIAL_E_NOT_OPEN.
    std::int32_t openStatus(std::int32_t commId);
    // The port state of portNumber's device: SERIAL_PORT_*.
    std::int32_t portState(std::int32_t portNumber);

    void recordFailure(std::int32_t commId, const OsStatus& status);
    // The last failure of commId (SERIAL_OK and an empty text when none).
    OsStatus lastFailure(std::int32_t commId);

    void setUserData(std::int32_t commId, int slot, std::intptr_t value) {
        slots_[commId].user[slot] = value;
    }
    std::intptr_t userData(std::int32_t commId, int slot) const {
        return slots_[commId].user[slot].load();
    }

private:
    CommTable() = default;
    // Opens a channel for commId by its connection type (serial device, TCP, ISDN).
    OsStatus openChannel(std::int32_t commId, Channel& channel);
    // Stores an opened channel, or the failure, for commId; lifecycle lock held.
    OsStatus settle(std::int32_t commId, std::shared_ptr<Channel> channel, OsStatus st);

    struct Slot {
        std::mutex lifecycle;             // serialises open and close of this id
        std::shared_ptr<Channel> channel; // guarded by mutex_
        SerialStatus lastOpen = SERIAL_OK;
        OsStatus lastFailure;
        std::array<std::atomic<std::intptr_t>, SERIAL_USER_SLOTS> user{};
    };

    std::mutex mutex_;
    std::array<Slot, SERIAL_COMM_IDS> slots_;
};

} // namespace serilon

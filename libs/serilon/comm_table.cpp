#include "libs/serilon/comm_table.h"
#include "libs/serilon/thread_pool.h"

#include "libs/serilon/connection_config.h"
#include "libs/serilon/isdn_capi.h"
#include "libs/serilon/port_map.h"
#include "libs/serilon/tcp_connection.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace serilon {

namespace {

std::string portName(std::int32_t commId) {
    return "COM" + std::to_string(commId + 1) + " (comm id " + std::to_string(commId) + ")";
}

bool sameDevice(const std::string& a, const std::string& b) {
    if (a == b) {
        return true;
    }
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

CommTable& CommTable::instance() {
    // Deliberately never destroyed: see the class comment.
    static CommTable* table = new CommTable();
    return *table;
}

std::shared_ptr<Channel> CommTable::find(std::int32_t commId) {
    std::lock_guard lock(mutex_);
    return slots_[commId].channel;
}

OsStatus CommTable::open(std::int32_t commId) {
    Slot& slot = slots_[commId];
    const OsStatus inUse =
        OsStatus::make(SERIAL_E_IN_USE, portName(commId) + " is already open in this program");
    if (find(commId)) {
        // Checked before taking the lifecycle lock, so that an event procedure opening
        // its own comm id cannot wait for a close that waits for it.
        return inUse;
    }
    std::lock_guard lifecycle(slot.lifecycle);
    if (find(commId)) {
        return inUse;
    }
    auto channel = std::make_shared<Channel>(commId);
    OsStatus st = openChannel(commId, *channel);
    return settle(commId, std::move(channel), st);
}

OsStatus CommTable::settle(std::int32_t commId, std::shared_ptr<Channel> channel, OsStatus st) {
    Slot& slot = slots_[commId];
    std::lock_guard lock(mutex_);
    if (st.ok()) {
        slot.channel = std::move(channel);
    } else {
        st.text = portName(commId) + ": " + st.text;
        slot.lastFailure = st;
    }
    slot.lastOpen = st.status;
    return st;
}

OsStatus CommTable::openChannel(std::int32_t commId, Channel& channel) {
    const ConnectionConfig config = ConnectionTable::instance().get(commId);
    // Long enough for a distant host, short enough for the caller's thread.
    constexpr int kConnectTimeoutMs = 5000;
    switch (config.type) {
    case kTypeTcpClient:
    case kTypeTcp: {
        int fd = -1;
        PeerAddress peer;
        OsStatus st = connectTcp(config.host, config.port, kConnectTimeoutMs, fd, peer);
        if (!st.ok()) {
            return st;
        }
        return channel.openConnection(fd, "TCP " + config.host + ":" + std::to_string(config.port),
                                      peer, fd, nullptr);
    }
    case kTypeTcpServer: {
        int fd = -1;
        OsStatus st = listenTcp(config.host, config.port, fd);
        if (!st.ok()) {
            return st;
        }
        return channel.openServer(fd, "TCP server on port " + std::to_string(config.port),
                                  config.maxServerConnections);
    }
    case kTypeIsdn: {
        OsStatus st = checkIsdnController(config);
        if (!st.ok()) {
            return st;
        }
        return channel.openIsdn(config);
    }
    default: {
        // A port map that cannot be read as a file must not send the port to a device
        // the user never chose: the open fails and says why.
        std::string refused;
        const PortMap map = loadPortMap(&refused);
        if (!refused.empty()) {
            return OsStatus::make(SERIAL_E_INVALID, refused);
        }
        return channel.open(devicePathFor(map, commId + 1));
    }
    }
}

OsStatus CommTable::adopt(std::int32_t commId, std::int32_t handle) {
    Slot& slot = slots_[commId];
    const OsStatus inUse =
        OsStatus::make(SERIAL_E_IN_USE, portName(commId) + " is already open in this program");
    if (find(commId)) {
        return inUse;
    }
    std::lock_guard lifecycle(slot.lifecycle);
    if (find(commId)) {
        return inUse;
    }
    std::optional<PendingConnection> pending = PendingConnections::instance().take(handle);
    if (!pending) {
        return settle(commId, nullptr,
                      OsStatus::make(SERIAL_E_INVALID, "no accepted connection has the handle " +
                                                           std::to_string(handle)));
    }
    auto channel = std::make_shared<Channel>(commId);
    const std::string name =
        "TCP connection from " + pending->peer.ip + ":" + std::to_string(pending->peer.port);
    OsStatus st = channel->openConnection(pending->fd, name, pending->peer, handle,
                                          std::move(pending->token));
    return settle(commId, std::move(channel), st);
}

OsStatus CommTable::close(std::int32_t commId) {
    Slot& slot = slots_[commId];
    std::shared_ptr<Channel> channel = find(commId);
    if (!channel) {
        return OsStatus::make(SERIAL_E_NOT_OPEN, portName(commId) + " is not open");
    }
    if (channel->onReaderThread()) {
        return OsStatus::make(SERIAL_E_INVALID,
                              portName(commId) + " cannot be closed from its own event procedure");
    }
    std::lock_guard lifecycle(slot.lifecycle);
    channel = find(commId);
    if (!channel) {
        return OsStatus::make(SERIAL_E_NOT_OPEN, portName(commId) + " is not open");
    }
    // Outside mutex_: the event procedure may still run and call into the table.
    channel->close();
    bool anyOpen = false;
    {
        std::lock_guard lock(mutex_);
        slot.channel.reset();
        for (const Slot& other : slots_) {
            anyOpen = anyOpen || other.channel != nullptr;
        }
    }
    // Threads are kept for the next port only while some port is open.
    if (!anyOpen) {
        PooledThread::releaseIdle();
    }
    return OsStatus::success();
}

std::int32_t CommTable::openStatus(std::int32_t commId) {
    std::lock_guard lock(mutex_);
    const Slot& slot = slots_[commId];
    if (slot.channel) {
        return slot.channel->hungUp() ? SERIAL_E_HUNG_UP : SERIAL_OK;
    }
    return slot.lastOpen != SERIAL_OK ? slot.lastOpen : SERIAL_E_NOT_OPEN;
}

std::int32_t CommTable::portState(std::int32_t portNumber) {
    std::string refused;
    const PortMap map = loadPortMap(&refused);
    if (!refused.empty()) {
        return SERIAL_PORT_ABSENT;
    }
    const std::string path = devicePathFor(map, portNumber);
    {
        std::lock_guard lock(mutex_);
        for (const Slot& slot : slots_) {
            if (slot.channel && sameDevice(slot.channel->path(), path)) {
                return SERIAL_PORT_BUSY;
            }
        }
    }
    // A light look: no settings are changed, so a terminal someone else uses without
    // a lock keeps its settings.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const SerialStatus st = osError(errno, OsOperation::Open, path).status;
        // Present but not ours to take: held by another program, or no permission.
        return (st == SERIAL_E_BUSY || st == SERIAL_E_PERMISSION) ? SERIAL_PORT_BUSY
                                                                  : SERIAL_PORT_ABSENT;
    }
    std::int32_t state = SERIAL_PORT_READY;
    if (!::isatty(fd)) {
        state = SERIAL_PORT_ABSENT;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) < 0) {
        state = SERIAL_PORT_BUSY;
    }
    ::close(fd);
    return state;
}

void CommTable::recordFailure(std::int32_t commId, const OsStatus& status) {
    std::lock_guard lock(mutex_);
    slots_[commId].lastFailure = status;
}

OsStatus CommTable::lastFailure(std::int32_t commId) {
    std::lock_guard lock(mutex_);
    const Slot& slot = slots_[commId];
    if (slot.channel && slot.channel->hungUp() && slot.lastFailure.status != SERIAL_E_HUNG_UP) {
        return OsStatus::make(SERIAL_E_HUNG_UP,
                              portName(commId) + ": " + slot.channel->path() +
                                  " went away (unplugged, or its other end closed)");
    }
    return slot.lastFailure;
}

} // namespace serilon

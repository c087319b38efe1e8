#include "libs/serilon/isdn_transport.h"

#include "libs/serilon/capi_messages.h"
#include "libs/serilon/channel.h"
#include "libs/serilon/connection_config.h"
#include "libs/serilon/isdn_capi.h"
#include "libs/serilon/isdn_connection.h"
#include "libs/serilon/poll_retry.h"

#include <cerrno>
#include <poll.h>
#include <vector>

namespace serilon {

IsdnTransport::IsdnTransport(Channel& channel, const ConnectionConfig& config)
    : Transport(channel) {
    IsdnConnection::Hooks hooks;
    hooks.input = [this](const std::uint8_t* data, std::size_t len) {
        Channel& c = channel_;
        std::lock_guard lock(c.mutex_);
        const std::size_t before = c.input_.size();
        const std::size_t took = c.input_.push(data, len);
        const std::size_t mark = c.inSize_ * 8 / 10;
        std::int32_t bits = 0;
        if (before < mark && c.input_.size() >= mark) {
            bits |= SERIAL_EV_RX80FULL;
        }
        if (took > 0 && (c.modeOption_.load() & SERIAL_MODE_TELEGRAM)) {
            bits |= SERIAL_EV_RXFLAG;
        }
        if (bits) {
            c.pendingEvents_.fetch_or(bits); // thread 0 delivers them right after
        }
        c.queueChanged_.notify_all();
        return took;
    };
    hooks.ring = [this] { return channel_.dispatch(SERIAL_EV_RING); };
    hooks.wakeWriter = [this] { channel_.writerWake_.signal(); };
    hooks.callEnded = [this] {
        Channel& c = channel_;
        std::lock_guard lock(c.mutex_);
        c.output_.clear();
        ++c.outputGeneration_;
        c.queueChanged_.notify_all();
    };
    isdn_ = std::make_shared<IsdnConnection>(capiLibrary(), config, std::move(hooks));
}

OsStatus IsdnTransport::open() {
    if (!channel_.readerWake_.open()) {
        return OsStatus::make(SERIAL_E_RESOURCES,
                              "out of file descriptors while opening " + channel_.path_);
    }
    return isdn_->open();
}

bool IsdnTransport::carrier() const {
    return !channel_.hungUp_ && isdn_->carrier();
}

void IsdnTransport::hangUp() {
    isdn_->hangUp(!channel_.onReaderThread());
}

void IsdnTransport::stopped() {
    isdn_->shutdown();
}

void IsdnTransport::readerLoop() {
    Channel& c = channel_;
    while (!c.stop_) {
        pollfd fds[2] = {{c.readerWake_.fd(), POLLIN, 0}, {isdn_->fd(), POLLIN, 0}};
        // Events raised by this thread itself come without its wake event.
        const int timeoutMs = c.pendingEvents_.load() != 0 ? 0 : -1;
        if (pollRetry(fds, 2, timeoutMs) < 0) {
            // Only EINVAL/ENOMEM are left; back off through the wake event alone.
            pollfd wake = {c.readerWake_.fd(), POLLIN, 0};
            pollRetry(&wake, 1, 100);
        }
        if (fds[0].revents & POLLIN) {
            c.readerWake_.drain();
        }
        if (c.stop_) {
            break;
        }
        if (fds[1].revents & (POLLERR | POLLNVAL)) {
            // The CAPI device went away: nothing more will come from it.
            c.markHungUp();
            c.dispatch(0);
            break;
        }
        // Also when only the wake event fired: room in the input queue lets held data on.
        const std::int32_t bits = isdn_->service();
        // A read or flush of the input queue wakes this thread while data waits for room.
        c.readPaused_ = isdn_->inputHeld();
        c.dispatch(bits);
    }
}

void IsdnTransport::writerLoop() {
    Channel& c = channel_;
    std::vector<std::uint8_t> chunk(capi::kMaxBlock);
    while (!c.stop_) {
        std::size_t n = 0;
        std::uint64_t generation = 0;
        if (!c.hungUp_) {
            std::lock_guard lock(c.mutex_);
            generation = c.outputGeneration_;
            n = c.output_.peek(chunk.data(), chunk.size());
        }
        const std::size_t sent = n > 0 ? isdn_->send(chunk.data(), n) : 0;
        if (sent == 0) {
            // Nothing to send, no B channel or a full window: a write, the B channel
            // coming up or a confirmation wakes us.
            pollfd wake = {c.writerWake_.fd(), POLLIN, 0};
            pollRetry(&wake, 1, -1);
            c.writerWake_.drain();
            continue;
        }
        bool empty;
        {
            std::lock_guard lock(c.mutex_);
            // A flush meanwhile already dropped these bytes (and maybe queued new).
            if (generation == c.outputGeneration_) {
                c.output_.drop(sent);
            }
            empty = c.output_.empty();
            c.queueChanged_.notify_all();
        }
        if (empty) {
            c.raiseEvent(SERIAL_EV_TXEMPTY);
        }
    }
}

} // namespace serilon

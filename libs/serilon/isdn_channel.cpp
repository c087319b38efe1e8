// The threads of an ISDN comm id: thread 0 waits on the CAPI descriptor and handles the
// controller's messages (the incoming call's SERIAL_EV_RING is offered from there, like
// a TCP server's connection), thread 1 sends the output queue as B3 data blocks.
#include "libs/serilon/capi_messages.h"
#include "libs/serilon/channel.h"
#include "libs/serilon/isdn_capi.h"
#include "libs/serilon/isdn_connection.h"
#include "libs/serilon/poll_retry.h"

#include <cerrno>
#include <poll.h>

namespace serilon {

OsStatus Channel::openIsdn(const ConnectionConfig& config) {
    path_ = "ISDN controller " + std::to_string(config.controller);
    role_ = Role::Isdn;
    if (!readerWake_.open()) {
        return OsStatus::make(SERIAL_E_RESOURCES, "out of file descriptors while opening " + path_);
    }
    IsdnConnection::Hooks hooks;
    hooks.input = [this](const std::uint8_t* data, std::size_t len) {
        std::lock_guard lock(mutex_);
        const std::size_t before = input_.size();
        const std::size_t took = input_.push(data, len);
        const std::size_t mark = inSize_ * 8 / 10;
        std::int32_t bits = 0;
        if (before < mark && input_.size() >= mark) {
            bits |= SERIAL_EV_RX80FULL;
        }
        if (took > 0 && (modeOption_.load() & SERIAL_MODE_TELEGRAM)) {
            bits |= SERIAL_EV_RXFLAG;
        }
        if (bits) {
            pendingEvents_.fetch_or(bits); // thread 0 delivers them right after
        }
        queueChanged_.notify_all();
        return took;
    };
    hooks.ring = [this] { return dispatch(SERIAL_EV_RING); };
    hooks.wakeWriter = [this] { writerWake_.signal(); };
    hooks.callEnded = [this] {
        std::lock_guard lock(mutex_);
        output_.clear();
        ++outputGeneration_;
        queueChanged_.notify_all();
    };
    isdn_ = std::make_shared<IsdnConnection>(capiLibrary(), config, std::move(hooks));
    OsStatus st = isdn_->open();
    if (!st.ok()) {
        return st;
    }
    st = startThreads();
    if (!st.ok()) {
        isdn_->shutdown();
    }
    return st;
}

void Channel::isdnReaderLoop() {
    currentReader = this;
    while (!stop_) {
        pollfd fds[2] = {{readerWake_.fd(), POLLIN, 0}, {isdn_->fd(), POLLIN, 0}};
        // Events raised by this thread itself come without its wake event.
        const int timeoutMs = pendingEvents_.load() != 0 ? 0 : -1;
        if (pollRetry(fds, 2, timeoutMs) < 0) {
            // Only EINVAL/ENOMEM are left; back off through the wake event alone.
            pollfd wake = {readerWake_.fd(), POLLIN, 0};
            pollRetry(&wake, 1, 100);
        }
        if (fds[0].revents & POLLIN) {
            readerWake_.drain();
        }
        if (stop_) {
            break;
        }
        if (fds[1].revents & (POLLERR | POLLNVAL)) {
            // The CAPI device went away: nothing more will come from it.
            markHungUp();
            dispatch(0);
            break;
        }
        // Also when only the wake event fired: room in the input queue lets held data on.
        const std::int32_t bits = isdn_->service();
        // A read or flush of the input queue wakes this thread while data waits for room.
        readPaused_ = isdn_->inputHeld();
        dispatch(bits);
    }
}

void Channel::isdnWriterLoop() {
    std::vector<std::uint8_t> chunk(capi::kMaxBlock);
    while (!stop_) {
        std::size_t n = 0;
        std::uint64_t generation = 0;
        if (!hungUp_) {
            std::lock_guard lock(mutex_);
            generation = outputGeneration_;
            n = output_.peek(chunk.data(), chunk.size());
        }
        const std::size_t sent = n > 0 ? isdn_->send(chunk.data(), n) : 0;
        if (sent == 0) {
            // Nothing to send, no B channel or a full window: a write, the B channel
            // coming up or a confirmation wakes us.
            pollfd wake = {writerWake_.fd(), POLLIN, 0};
            pollRetry(&wake, 1, -1);
            writerWake_.drain();
            continue;
        }
        bool empty;
        {
            std::lock_guard lock(mutex_);
            // A flush meanwhile already dropped these bytes (and maybe queued new).
            if (generation == outputGeneration_) {
                output_.drop(sent);
            }
            empty = output_.empty();
            queueChanged_.notify_all();
        }
        if (empty) {
            raiseEvent(SERIAL_EV_TXEMPTY);
        }
    }
}

} // namespace serilon

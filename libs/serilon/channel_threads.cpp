// The threads of an open comm id: thread 0 (reader and event thread), thread 1
// (writer) and, on devices with modem lines, the line watcher.
#include "libs/serilon/channel.h"
#include "libs/serilon/input_decoder.h"
#include "libs/serilon/poll_retry.h"

#include <cerrno>
#include <csignal>
#include <memory>
#include <poll.h>
#include <pthread.h>

namespace serilon {

namespace {

// Bytes taken from the device per read and written per write call. A write chunk below
// the kernel's buffer keeps the output count moving in steps a caller can follow.
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kWriteChunk = 16 * 1024;
// How often the line watcher looks at the lines when it cannot block on a change.
constexpr int kLinePollMs = 50;

} // namespace

thread_local const Channel* Channel::currentReader = nullptr;

void Channel::readerLoop() {
    // Kept with the thread, which the pool hands to the next comm id: their pages are
    // then already mapped. Left uninitialised: a thread that moves little touches few.
    thread_local ReadBuffers buffers;
    if (!buffers.raw) {
        buffers.raw = std::make_unique_for_overwrite<std::uint8_t[]>(kReadChunk);
    }
    InputDecoder decoder;
    while (!stop_) {
        // A server's listening socket, or a pause in accepting from it.
        int extraFd = -1;
        int timeoutMs = -1;
        std::int32_t bits = transport_->beforeWait(extraFd, timeoutMs);
        bool wantDevice = false;
        if (!hungUp_) {
            std::lock_guard lock(mutex_);
            wantDevice = input_.size() < SERIAL_INPUT_HARD_LIMIT && device_.fd() >= 0;
            // Past the hard limit the rest waits in the kernel; a read or flush wakes us.
            readPaused_ = !wantDevice;
        }
        if (pendingEvents_.load() != 0) {
            timeoutMs = 0; // raised by this thread itself, without its wake event
        }
        pollfd fds[3] = {{readerWake_.fd(), POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        if (wantDevice) {
            fds[1].fd = device_.fd();
        }
        fds[2].fd = extraFd;
        if (pollRetry(fds, 3, timeoutMs) < 0) {
            // Only EINVAL/ENOMEM are left; back off through the wake event alone.
            pollfd wake = {readerWake_.fd(), POLLIN, 0};
            pollRetry(&wake, 1, 100);
        }
        if (fds[0].revents & POLLIN) {
            readerWake_.drain();
        }
        if (wantDevice && fds[1].revents != 0) {
            bits |= readDevice(fds[1].revents, buffers, decoder);
        }
        if (extraFd >= 0 && (fds[2].revents & POLLIN) && !stop_) {
            bits |= transport_->extraReadable();
        }
        dispatch(bits);
    }
}

std::int32_t Channel::readDevice(short revents, ReadBuffers& buffers, InputDecoder& decoder) {
    std::size_t room;
    {
        std::lock_guard lock(mutex_);
        room = SERIAL_INPUT_HARD_LIMIT - input_.size();
    }
    const ssize_t n = device_.readSome(buffers.raw.get(), std::min(room, kReadChunk));
    if (n == -EAGAIN) {
        if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
            return transport_->deviceEnded();
        }
        return 0;
    }
    if (n <= 0) {
        // 0 (end of file) or EIO: the other end or the device is gone. Anything else
        // would come back on every poll, so it ends reading as well. A server only
        // loses its connection and listens again.
        return transport_->deviceEnded();
    }
    const std::uint32_t config = decoderConfig_.load();
    decoder.configure(config & 1, std::uint8_t(config >> 8), config & 2);
    DecodeCounts counts;
    // Without marks or NUL discard the bytes are data as they are: no decoding pass.
    const bool plain = (config & 3) == 0 && decoder.state() == InputDecoder::State::Data;
    if (!plain && !buffers.decoded) {
        buffers.decoded = std::make_unique_for_overwrite<std::uint8_t[]>(kReadChunk + 1);
    }
    const std::uint8_t* bytes = plain ? buffers.raw.get() : buffers.decoded.get();
    const std::size_t m =
        plain ? std::size_t(n)
              : decoder.decode(buffers.raw.get(), std::size_t(n), buffers.decoded.get(), counts);

    std::int32_t bits = 0;
    if (m > 0) {
        std::lock_guard lock(mutex_);
        const std::size_t before = input_.size();
        input_.push(bytes, m);
        const std::size_t after = input_.size();
        const std::size_t mark = inSize_ * 8 / 10;
        if (before < mark && after >= mark) {
            bits |= SERIAL_EV_RX80FULL;
        }
        queueChanged_.notify_all();
        bits |= SERIAL_EV_RXCHAR;
        if (modeOption_.load() & SERIAL_MODE_TELEGRAM) {
            bits |= SERIAL_EV_RXFLAG;
        }
    }
    if (modemLines_) {
        bits |= checkCounters();
    } else if (counts.errors > 0 || counts.breaks > 0) {
        // Without kernel counters the in-band marks are all we know; they do not say
        // which error it was, so a parity check in force names parity, else framing.
        std::int32_t errors = 0;
        if (counts.errors > 0) {
            bits |= SERIAL_EV_LINE_ERROR;
            std::lock_guard lock(mutex_);
            errors |= line_.parity != 'N' ? SERIAL_ERR_PARITY : SERIAL_ERR_FRAMING;
        }
        if (counts.breaks > 0) {
            bits |= SERIAL_EV_BREAK;
            errors |= SERIAL_ERR_BREAK;
        }
        lineErrors_.fetch_or(errors);
    }
    return bits;
}

std::int32_t Channel::dispatch(std::int32_t bits) {
    bits |= pendingEvents_.exchange(0);
    bits &= modeMask_.load();
    if (bits == 0 || stop_) {
        return 0;
    }
    std::lock_guard lock(procMutex_);
    if (SerialEventProc proc = eventProc_.load()) {
        return proc(commId_, bits);
    }
    // Kept for the next procedure: the end of the connection happens only once.
    unheardEvents_.fetch_or(bits & SERIAL_EV_CD);
    return 0;
}

void Channel::writerLoop() {
    if (watchSignal_ != 0) {
        // The closer interrupts a tcdrain that a flush did not end.
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, watchSignal_);
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
    const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(kWriteChunk);
    // A broken connection: a server drops it and listens again (this thread waits until
    // then), anything else hangs up.
    auto lost = [this](std::uint64_t gen) {
        if (transport_->writeFailed(gen)) {
            pollfd wake = {writerWake_.fd(), POLLIN, 0};
            pollRetry(&wake, 1, -1);
            writerWake_.drain();
        }
    };
    while (!stop_) {
        std::size_t n = 0;
        std::uint64_t generation = 0;
        bool dsrFlow = false;
        bool drainKernel = false;
        std::uint64_t moved = 0;
        if (!hungUp_) {
            std::lock_guard lock(mutex_);
            generation = outputGeneration_;
            n = output_.peek(chunk.get(), kWriteChunk);
            dsrFlow = (line_.flow & SERIAL_FLOW_DTRDSR) != 0;
            if (n == 0 && drainWanted_ && kernelDrainedAt_ != outputMoved_) {
                // Closing with the queue empty: what the kernel holds is the rest.
                moved = outputMoved_;
                drainKernel = kernelDraining_ = device_.pendingOutput() > 0;
                if (!drainKernel) {
                    kernelDrainedAt_ = moved;
                    queueChanged_.notify_all();
                }
            }
        }
        if (drainKernel) {
            const int err = device_.drainKernel();
            std::lock_guard lock(mutex_);
            kernelDraining_ = false;
            if (err != EINTR) {
                // Sent, flushed, or a device that cannot drain (gone): either way done.
                kernelDrainedAt_ = moved;
            }
            queueChanged_.notify_all();
            continue;
        }
        bool held = false;
        if (n > 0 && dsrFlow && modemLines_) {
            // DTR/DSR output flow: the other side holds us with DSR low. The line
            // watcher wakes us when DSR changes.
            int ms = 0;
            held = device_.modemStatus(ms) && !(ms & SERIAL_MS_DSR);
        }
        ssize_t w = 0;
        int fd = -1;
        std::uint64_t gen = 0;
        if (n > 0 && !held) {
            std::lock_guard io(ioMutex_);
            fd = device_.fd();
            gen = transport_->generation();
            if (fd >= 0) {
                w = device_.writeSome(chunk.get(), n);
            }
        }
        if (n == 0 || held || fd < 0) {
            pollfd wake = {writerWake_.fd(), POLLIN, 0};
            pollRetry(&wake, 1, -1);
            writerWake_.drain();
            continue;
        }
        if (w > 0) {
            bool empty;
            {
                std::lock_guard lock(mutex_);
                // A flush meanwhile already dropped these bytes (and maybe queued new).
                if (generation == outputGeneration_) {
                    output_.drop(std::size_t(w));
                }
                outputMoved_ += std::uint64_t(w);
                empty = output_.empty();
                queueChanged_.notify_all();
            }
            if (empty) {
                raiseEvent(SERIAL_EV_TXEMPTY);
            }
        } else if (w == -EAGAIN) {
            // fd may be replaced meanwhile (server): the next round looks again.
            pollfd fds[2] = {{writerWake_.fd(), POLLIN, 0}, {fd, POLLOUT, 0}};
            pollRetry(fds, 2, -1);
            if (fds[0].revents & POLLIN) {
                writerWake_.drain();
            }
            if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                lost(gen);
            }
        } else {
            lost(gen);
        }
    }
}

void Channel::watcherLoop() {
    if (watchSignal_ != 0) {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, watchSignal_);
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
    bool blocking = watchSignal_ != 0;
    int last = 0;
    device_.modemStatus(last);
    while (!stop_ && !hungUp_) {
        if (blocking) {
            const int err = device_.waitModemChange();
            if (stop_) {
                break;
            }
            if (err == EIO || err == ENODEV) {
                markHungUp();
                break;
            }
            if (err != 0 && err != EINTR) {
                // The driver cannot wait for line changes: look every kLinePollMs.
                blocking = false;
            }
        } else {
            pollfd wake = {watcherWake_.fd(), POLLIN, 0};
            pollRetry(&wake, 1, kLinePollMs);
            watcherWake_.drain();
            if (stop_) {
                break;
            }
        }
        int now = 0;
        if (!device_.modemStatus(now)) {
            if (errno == EIO || errno == ENODEV) {
                markHungUp();
                break;
            }
            continue;
        }
        const int changed = now ^ last;
        std::int32_t bits = 0;
        if (changed & SERIAL_MS_CTS) {
            bits |= SERIAL_EV_CTS;
        }
        if (changed & SERIAL_MS_DSR) {
            bits |= SERIAL_EV_DSR;
            writerWake_.signal();
        }
        if (changed & SERIAL_MS_CD) {
            bits |= SERIAL_EV_CD;
        }
        if ((last & SERIAL_MS_RING) && !(now & SERIAL_MS_RING)) {
            bits |= SERIAL_EV_RING; // the trailing edge of a ring
        }
        last = now;
        bits |= checkCounters();
        if (bits) {
            raiseEvent(bits);
        }
    }
    {
        std::lock_guard lock(mutex_);
        watcherDone_ = true;
        queueChanged_.notify_all();
    }
}

} // namespace serilon

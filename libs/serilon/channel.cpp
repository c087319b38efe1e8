#include "libs/serilon/channel.h"

#include "libs/serilon/config_record.h"
#include "libs/serilon/connection_config.h"
#include "libs/serilon/device_transport.h"
#include "libs/serilon/isdn_transport.h"
#include "libs/serilon/modem_wait_signal.h"
#include "libs/serilon/tcp_server_transport.h"
#include "libs/serilon/tcp_transport.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <system_error>
#include <unistd.h>

namespace serilon {

Channel::Channel(int commId)
    : commId_(commId), input_(SERIAL_INPUT_HARD_LIMIT), output_(kDefaultQueueSize) {}

Channel::~Channel() {
    close();
}

OsStatus Channel::open(const std::string& path) {
    path_ = path;
    return openWith(std::make_unique<DeviceTransport>(*this, path));
}

OsStatus Channel::openConnection(int fd, const std::string& name, const PeerAddress& peer,
                                 std::int32_t handle, std::shared_ptr<void> token) {
    path_ = name;
    return openWith(
        std::make_unique<TcpTransport>(*this, fd, name, peer, handle, std::move(token)));
}

OsStatus Channel::openServer(int listenFd, const std::string& name, int limit) {
    path_ = name;
    return openWith(std::make_unique<TcpServerTransport>(*this, listenFd, name, limit));
}

OsStatus Channel::openIsdn(const ConnectionConfig& config) {
    path_ = "ISDN controller " + std::to_string(config.controller);
    return openWith(std::make_unique<IsdnTransport>(*this, config));
}

OsStatus Channel::openWith(std::unique_ptr<Transport> transport) {
    transport_ = std::move(transport);
    OsStatus st = transport_->open();
    if (!st.ok()) {
        return st;
    }
    return startThreads();
}

void Channel::setPeer(std::int32_t handle, const PeerAddress& peer) {
    std::lock_guard lock(mutex_);
    peer_ = peer;
    peerHandle_ = handle;
    havePeer_ = true;
}

OsStatus Channel::startThreads() {
    const std::string& path = path_;
    line_ = device_.currentLine();
    line_.xonLimit = std::uint16_t(kDefaultQueueSize / 4);
    line_.xoffLimit = std::uint16_t(kDefaultQueueSize / 4);
    modemLines_ = device_.probeModemLines();
    if (modemLines_) {
        haveCounters_ = device_.counters(lastCounters_);
        watchSignal_ = modemWaitSignal();
    }
    applyDecoderConfig();
    // The open does not wait for the threads to run (under load that wait costs a
    // scheduling round per thread); each names itself as it starts, and threadId()
    // waits for that.
    try {
        reader_.start(kReaderStack, [this] {
            nameThread(readerTid_);
            currentReader = this;
            transport_->readerLoop();
            currentReader = nullptr;
        });
        countStarted();
        // A TCP connection sends from the caller's thread while nothing waits in the
        // output queue; thread 1 starts when the first bytes have to wait.
        if (!transport_->sendsFromCaller()) {
            startWriter();
        }
        if (modemLines_) {
            if (!watcherWake_.open()) {
                throw std::system_error(errno, std::generic_category(), "eventfd");
            }
            watcher_.start(kWorkerStack, [this] { watcherLoop(); });
        }
    } catch (const std::system_error& e) {
        transport_->stopping();
        stopThreads();
        device_.close();
        transport_->stopped();
        return osError(e.code().value() ? e.code().value() : EAGAIN, OsOperation::Thread, path);
    }
    std::lock_guard lock(mutex_);
    open_ = true;
    return OsStatus::success();
}

bool Channel::startWriter() {
    std::lock_guard lock(writerMutex_);
    if (writer_.joinable()) {
        return true;
    }
    if (stop_) {
        return false;
    }
    if (!writerWake_.open()) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    writer_.start(kWorkerStack, [this] {
        nameThread(writerTid_);
        transport_->writerLoop();
    });
    countStarted();
    return true;
}

void Channel::stopThreads() {
    {
        // Under the lock, so that a SerialWaitQueue waiter (perhaps the event procedure
        // itself, which thread 0 must finish before it can be joined) sees the stop.
        std::lock_guard lock(mutex_);
        closing_ = true;
        stop_ = true;
        queueChanged_.notify_all();
    }
    readerWake_.signal();
    writerWake_.signal();
    watcherWake_.signal();
    if (watcher_.joinable()) {
        // The watcher may sit in an ioctl that only a line change or a signal ends; the
        // signal can land just before it enters the ioctl, so repeat until it is out.
        while (watchSignal_ != 0 && !watcherDone_.load()) {
            watcher_.signal(watchSignal_);
            std::unique_lock lock(mutex_);
            queueChanged_.wait_for(lock, std::chrono::milliseconds(5),
                                   [this] { return watcherDone_.load(); });
        }
        watcher_.join();
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    PooledThread writer;
    {
        // stop_ is set: no thread 1 starts after this.
        std::lock_guard lock(writerMutex_);
        writer.swap(writer_);
    }
    if (writer.joinable()) {
        writer.join();
    }
}

void Channel::drainOutput() {
    if (!transport_ || !transport_->drainsOnClose()) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    if (!open_) {
        return;
    }
    auto drained = [this] { return output_.empty() && kernelDrainedAt_ == outputMoved_; };
    drainWanted_ = true;
    writerWake_.signal(); // an idle writer looks at the kernel's part
    const auto limit = Clock::now() + kDrainLimit;
    auto idleUntil = Clock::now() + kDrainIdle;
    std::uint64_t moved = outputMoved_;
    int kernelHeld = device_.pendingOutput();
    while (!hungUp_ && !drained()) {
        const auto now = Clock::now();
        if (outputMoved_ != moved) {
            moved = outputMoved_;
            kernelHeld = device_.pendingOutput();
            idleUntil = now + kDrainIdle;
        } else if (now >= idleUntil) {
            // The queue stood still; the kernel's own buffer may still be going out.
            const int held = device_.pendingOutput();
            if (held >= kernelHeld) {
                break;
            }
            kernelHeld = held;
            idleUntil = now + kDrainIdle;
        }
        if (now >= limit) {
            break;
        }
        queueChanged_.wait_until(lock, std::min(idleUntil, limit));
    }
    drainWanted_ = false;
    if (hungUp_ || drained()) {
        return;
    }
    // Given up. Output the kernel still holds for the line (a serial line whose flow
    // stopped) is dropped too, or the kernel's own close would wait for it; that also
    // ends the writer's tcdrain (the signal covers drivers that do not wake it on a
    // flush). A pseudo-terminal holds none: what it took stays readable at its master.
    if (kernelDraining_ || device_.pendingOutput() > 0) {
        device_.flushKernel(SERIAL_DIR_OUTPUT);
    }
    while (kernelDraining_) {
        if (watchSignal_ == 0) {
            queueChanged_.wait(lock, [this] { return !kernelDraining_; });
            break;
        }
        writer_.signal(watchSignal_);
        queueChanged_.wait_for(lock, std::chrono::milliseconds(5),
                               [this] { return !kernelDraining_; });
    }
}

void Channel::close() {
    closing_ = true;
    drainOutput();
    if (transport_) {
        transport_->stopping();
    }
    stopThreads();
    {
        std::lock_guard io(ioMutex_);
        std::lock_guard lock(mutex_);
        device_.close();
        open_ = false;
        readerTid_ = 0;
        writerTid_ = 0;
        queueChanged_.notify_all();
    }
    if (transport_) {
        transport_->stopped();
    }
}

bool Channel::connectionInfo(std::int32_t& handle, PeerAddress& peer) const {
    std::lock_guard lock(mutex_);
    if (!havePeer_) {
        return false;
    }
    handle = peerHandle_;
    peer = peer_;
    return true;
}

void Channel::hangUpConnection() {
    if (transport_) {
        transport_->hangUp();
    }
}

bool Channel::onReaderThread() const {
    return currentReader == this;
}

void Channel::nameThread(std::atomic<long>& tid) {
    std::lock_guard lock(tidMutex_);
    tid = ::gettid();
    ++threadsNamed_;
    tidKnown_.notify_all();
}

void Channel::countStarted() {
    std::lock_guard lock(tidMutex_);
    ++threadsStarted_;
}

long Channel::threadId(int which) const {
    if (which != 0 && which != 1) {
        return 0;
    }
    std::unique_lock lock(tidMutex_);
    tidKnown_.wait(lock, [this] { return threadsNamed_ >= threadsStarted_; });
    return which == 0 ? readerTid_.load() : writerTid_.load();
}

// ---- data ---------------------------------------------------------------------------

OsStatus Channel::write(const std::uint8_t* data, std::size_t len, std::size_t& taken) {
    taken = 0;
    if (hungUp_) {
        return OsStatus::make(SERIAL_E_HUNG_UP, path_ + " went away; nothing more can be sent");
    }
    if (OsStatus st = transport_->canSend(); !st.ok()) {
        return st;
    }
    const bool fromCaller = transport_->sendsFromCaller();
    std::unique_lock<std::mutex> io;
    if (fromCaller) {
        // A socket takes the bytes at once when none wait before them: sent here, they
        // cost no wake-up of thread 1. ioMutex_ keeps thread 1 and other writers out
        // until what the socket did not take is queued behind what it took.
        io = std::unique_lock(ioMutex_);
        bool empty;
        {
            std::lock_guard lock(mutex_);
            empty = output_.empty();
        }
        if (empty && device_.fd() >= 0) {
            const ssize_t w = device_.writeSome(data, len);
            if (w > 0) {
                taken = std::size_t(w);
            }
        }
    }
    std::size_t queued = 0;
    if (taken < len && fromCaller) {
        try {
            startWriter();
        } catch (const std::system_error& e) {
            const OsStatus st =
                osError(e.code().value() ? e.code().value() : EAGAIN, OsOperation::Thread, path_);
            return taken > 0 ? OsStatus::success() : st;
        }
    }
    if (taken < len) {
        std::lock_guard lock(mutex_);
        queued = output_.push(data + taken, len - taken);
        if (queued > 0) {
            queueChanged_.notify_all();
        }
    }
    taken += queued;
    if (queued > 0) {
        writerWake_.signal();
    } else if (taken > 0) {
        raiseEvent(SERIAL_EV_TXEMPTY); // as thread 1 reports a queue it emptied
    }
    return OsStatus::success();
}

std::size_t Channel::read(std::uint8_t* buf, std::size_t len) {
    std::size_t got;
    {
        std::lock_guard lock(mutex_);
        got = input_.pop(buf, len);
        if (got > 0) {
            queueChanged_.notify_all();
        }
    }
    if (got > 0 && readPaused_) {
        readerWake_.signal();
    }
    return got;
}

std::size_t Channel::queueCount(int dir) const {
    std::lock_guard lock(mutex_);
    return dir == SERIAL_DIR_INPUT ? input_.size() : output_.size();
}

bool Channel::queueFull(int dir) const {
    std::lock_guard lock(mutex_);
    return dir == SERIAL_DIR_INPUT ? input_.size() >= SERIAL_INPUT_HARD_LIMIT
                                   : output_.size() >= output_.limit();
}

void Channel::flush(int dir) {
    {
        std::lock_guard lock(mutex_);
        if (dir == SERIAL_DIR_INPUT) {
            input_.clear();
        } else {
            output_.clear();
            ++outputGeneration_;
        }
        device_.flushKernel(dir);
        queueChanged_.notify_all();
    }
    if (dir == SERIAL_DIR_INPUT && readPaused_) {
        readerWake_.signal();
    }
}

OsStatus Channel::setBuffers(std::int32_t inSize, std::int32_t outSize) {
    if (inSize < 16 || outSize < 16) {
        return OsStatus::make(SERIAL_E_INVALID, "queue sizes must be at least 16 bytes (asked " +
                                                    std::to_string(inSize) + " in, " +
                                                    std::to_string(outSize) + " out)");
    }
    std::lock_guard lock(mutex_);
    inSize_ = std::min<std::size_t>(std::size_t(inSize), kMaxQueueSize);
    output_.setLimit(std::min<std::size_t>(std::size_t(outSize), kMaxQueueSize));
    queueChanged_.notify_all();
    return OsStatus::success();
}

std::size_t Channel::bufferSize(int dir) const {
    std::lock_guard lock(mutex_);
    return dir == SERIAL_DIR_INPUT ? inSize_ : output_.limit();
}

std::size_t Channel::waitQueue(int dir, std::int64_t lastCount, std::int32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    auto count = [&] { return dir == SERIAL_DIR_INPUT ? input_.size() : output_.size(); };
    queueChanged_.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [&] {
        return std::int64_t(count()) != lastCount || !open_ || stop_ || hungUp_;
    });
    return count();
}

// ---- line ---------------------------------------------------------------------------

void Channel::applyDecoderConfig() {
    // Called with mutex_ held, or before the threads run.
    std::uint32_t config = std::uint32_t(line_.errorChar) << 8;
    if (line_.errorCharOn) {
        config |= 1;
    }
    if (line_.discardNul) {
        config |= 2;
    }
    decoderConfig_ = config;
}

OsStatus Channel::setLine(std::int64_t baud, int dataBits, int stopBits, char parity, int flow) {
    std::lock_guard lock(mutex_);
    LineSettings wanted = line_;
    OsStatus st = setLineValues(wanted, baud, dataBits, stopBits, parity, flow);
    if (!st.ok()) {
        return st;
    }
    // Kept as asked even when the device takes less.
    line_ = wanted;
    if (hungUp_) {
        return OsStatus::make(SERIAL_E_HUNG_UP, path_ + " went away; settings kept only");
    }
    st = device_.applyLine(line_);
    writerWake_.signal(); // the DTR/DSR output rule may have changed
    return st;
}

OsStatus Channel::setFlow(int flow) {
    std::lock_guard lock(mutex_);
    line_.flow = flow & (SERIAL_FLOW_RTSCTS | SERIAL_FLOW_DTRDSR | SERIAL_FLOW_XONXOFF);
    if (hungUp_) {
        return OsStatus::make(SERIAL_E_HUNG_UP, path_ + " went away; settings kept only");
    }
    OsStatus st = device_.applyLine(line_);
    writerWake_.signal();
    return st;
}

int Channel::flow() const {
    std::lock_guard lock(mutex_);
    return line_.flow;
}

OsStatus Channel::setOutputLine(int line, bool on) {
    std::lock_guard lock(mutex_);
    if (on) {
        outputLines_ |= line;
    } else {
        outputLines_ &= ~line;
    }
    if (hungUp_) {
        return OsStatus::success();
    }
    return device_.setOutputLine(line, on);
}

int Channel::outputLines() const {
    std::lock_guard lock(mutex_);
    return outputLines_;
}

OsStatus Channel::setBreak(bool on) {
    std::lock_guard lock(mutex_);
    if (hungUp_) {
        return OsStatus::make(SERIAL_E_HUNG_UP, path_ + " went away");
    }
    return device_.setBreak(on);
}

int Channel::modemStatus() const {
    if (!modemLines_ || hungUp_) {
        return 0;
    }
    std::lock_guard lock(mutex_);
    int bits = 0;
    device_.modemStatus(bits);
    return bits;
}

bool Channel::carrier() const {
    return transport_ && transport_->carrier();
}

void Channel::readConfig(SerialConfigRecord& record) const {
    std::lock_guard lock(mutex_);
    toConfigRecord(line_, record);
}

OsStatus Channel::writeConfig(const SerialConfigRecord& record) {
    std::lock_guard lock(mutex_);
    LineSettings wanted = line_;
    OsStatus st = fromConfigRecord(record, wanted);
    if (!st.ok()) {
        return st;
    }
    line_ = wanted;
    applyDecoderConfig();
    if (hungUp_) {
        return OsStatus::make(SERIAL_E_HUNG_UP, path_ + " went away; settings kept only");
    }
    st = device_.applyLine(line_);
    writerWake_.signal();
    return st;
}

int Channel::osHandle() const {
    std::lock_guard lock(mutex_);
    return device_.fd();
}

std::uint32_t Channel::maxBaud() const {
    std::lock_guard lock(mutex_);
    return device_.maxBaud();
}

// ---- events -------------------------------------------------------------------------

void Channel::setEventProc(SerialEventProc proc) {
    if (onReaderThread()) {
        // Inside the procedure: thread 0 holds procMutex_ already; the next call picks
        // up the new procedure.
        eventProc_ = proc;
    } else {
        std::lock_guard lock(procMutex_);
        eventProc_ = proc;
    }
    // Bytes that arrived before there was a procedure were reported to nobody: tell
    // the new one, or it would wait for more input to learn of them. The same for a
    // hang-up nobody heard of (a connection that ended before it was taken over).
    if (proc) {
        std::int32_t bits = unheardEvents_.exchange(0);
        if (queueCount(SERIAL_DIR_INPUT) > 0) {
            bits |= SERIAL_EV_RXCHAR;
        }
        if (bits != 0) {
            raiseEvent(bits);
        }
    }
}

std::int32_t Channel::setMode(std::int32_t mask, std::int32_t option) {
    modeOption_ = option;
    return modeMask_.exchange(mask);
}

void Channel::raiseEvent(std::int32_t bits) {
    pendingEvents_.fetch_or(bits);
    // Thread 0 itself (inside the event procedure) finds the bits before it polls.
    if (currentReader != this) {
        readerWake_.signal();
    }
}

std::int32_t Channel::checkCounters() {
    LineCounters now;
    if (!modemLines_ || !device_.counters(now)) {
        return 0;
    }
    std::lock_guard lock(countersMutex_);
    if (!haveCounters_) {
        lastCounters_ = now;
        haveCounters_ = true;
        return 0;
    }
    const LineCounters& was = lastCounters_;
    std::int32_t errors = 0;
    std::int32_t bits = 0;
    if (now.overrun != was.overrun || now.bufOverrun != was.bufOverrun) {
        errors |= SERIAL_ERR_OVERRUN;
    }
    if (now.parity != was.parity) {
        errors |= SERIAL_ERR_PARITY;
    }
    if (now.frame != was.frame) {
        errors |= SERIAL_ERR_FRAMING;
    }
    if (now.brk != was.brk) {
        errors |= SERIAL_ERR_BREAK;
        bits |= SERIAL_EV_BREAK;
    }
    if (errors & (SERIAL_ERR_OVERRUN | SERIAL_ERR_PARITY | SERIAL_ERR_FRAMING)) {
        bits |= SERIAL_EV_LINE_ERROR;
    }
    lastCounters_ = now;
    if (errors) {
        lineErrors_.fetch_or(errors);
    }
    return bits;
}

void Channel::markHungUp() {
    if (hungUp_.exchange(true)) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        output_.clear();
        ++outputGeneration_;
        queueChanged_.notify_all();
    }
    // An ended connection no longer counts against its server's limit, even while
    // its bytes wait here for an owner.
    transport_->ended();
    raiseEvent(SERIAL_EV_CD);
    // Only threads that exist can be waiting (a TCP connection may have no thread 1).
    {
        std::lock_guard lock(writerMutex_);
        if (writer_.joinable()) {
            writerWake_.signal();
        }
    }
    if (modemLines_) {
        watcherWake_.signal();
    }
}

} // namespace serilon

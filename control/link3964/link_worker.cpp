#include "control/link3964/link_worker.h"

#include <algorithm>

#include "control/object/vort_ctrl.h"
#include "link3964/link3964.h"
#include "serilon/serilon.h"
#include "vort/comm_events.h"

namespace vort {

namespace {

constexpr int32_t kReceiveWaitMs = 2000;
constexpr uint32_t kReannounceAfterMs = 499;

// The receive buffer size is shared by every link of the process: it starts at 4 KiB
// and grows when a telegram did not fit.
std::atomic<int32_t> receiveBufferSize{4096};

void growReceiveBuffer() {
    int32_t size = receiveBufferSize.load();
    receiveBufferSize = size < 16001 ? size * 2 : 32000;
}

} // namespace

Link3964::Link3964(CVortCtrl& owner) : owner_(owner) {}

Link3964::~Link3964() {
    stop();
}

bool Link3964::portUsable() const {
    return SerialInUse(commId_) != 0;
}

void Link3964::touch() {
    lastActivity_ = SerialTickStart();
}

bool Link3964::start(int32_t commId, const Settings& settings, std::string* message) {
    if (!SerialInUse(commId))
        return false;
    if (active_)
        return true;
    fn_ = acquireLink3964(message);
    if (!fn_)
        return false;
    commId_ = commId;
    retries_ = settings.retries;
    applyFlags(settings.master, settings.useBcc);
    fn_->setTqTz(commId_, settings.tqMs, settings.tzMs);
    fn_->setMz1Mz2(commId_, settings.retries, settings.retries);
    {
        std::lock_guard lock(signalMutex_);
        sendSignal_ = receiveSignal_ = false;
    }
    state_ = kRunning;
    touch();
    worker_ = std::thread([this] { run(); });
    active_ = true;
    previousMode_ = SerialSetMode(commId_, SERIAL_EV_ALL, SERIAL_MODE_TELEGRAM);
    return true;
}

void Link3964::applyTimes(int32_t tqMs, int32_t tzMs, int16_t retries) {
    if (!active_)
        return;
    retries_ = retries;
    fn_->setTqTz(commId_, tqMs, tzMs);
    fn_->setMz1Mz2(commId_, retries, retries);
}

void Link3964::applyFlags(bool master, bool useBcc) {
    master_ = master;
    useBcc_ = useBcc;
}

const Link3964Functions* Link3964::shareFunctions() {
    return active_ ? acquireLink3964(nullptr) : nullptr;
}

void Link3964::stop() {
    if (!active_)
        return;
    SerialWaitEnter();
    const uint32_t start = SerialTickStart();
    while (state_.load() != kEnded && SerialTickElapsed(start) < 10000) {
        SerialWaitPoll();
        int expected = kRunning;
        if (state_.compare_exchange_strong(expected, kStopRequested))
            signalSend();
        std::unique_lock lock(signalMutex_);
        signalCv_.wait_for(lock, std::chrono::milliseconds(10),
                           [&] { return state_.load() == kEnded; });
    }
    SerialWaitLeave();
    // The worker checks the state between library calls, each bounded by its own
    // time-outs, so it ends; joining also covers a call that outlasted the wait above.
    if (worker_.joinable())
        worker_.join();
    clearReceived();
    clearQueued();
    releaseLink3964();
    fn_ = nullptr;
    state_ = kEnded;
    if (SerialInUse(commId_))
        SerialSetMode(commId_, previousMode_, 0);
    active_ = false;
}

void Link3964::signalReceive() {
    {
        std::lock_guard lock(signalMutex_);
        receiveSignal_ = true;
    }
    signalCv_.notify_all();
}

void Link3964::signalSend() {
    {
        std::lock_guard lock(signalMutex_);
        sendSignal_ = true;
    }
    signalCv_.notify_all();
}

void Link3964::run() {
    touch();
    while (state_.load() == kRunning && portUsable()) {
        bool send = false, receive = false;
        {
            std::unique_lock lock(signalMutex_);
            signalCv_.wait_for(lock, std::chrono::milliseconds(50),
                               [&] { return sendSignal_ || receiveSignal_; });
            send = sendSignal_;
            receive = receiveSignal_;
            sendSignal_ = receiveSignal_ = false; // auto-reset
        }
        if (state_.load() != kRunning)
            break;
        // A file job on this comm id owns the line; telegrams wait for it to end.
        if (owner_.transferStateNow() != kTransferIdle)
            continue;
        if (send || !receive) {
            sendLoop();
            receiveOne();
            sendLoop();
        } else {
            receiveOne();
            sendLoop();
        }
    }
    state_ = kEnded;
    signalCv_.notify_all();
}

void Link3964::sendLoop() {
    for (;;) {
        reannounceCheck();
        const int32_t status = sendOne();
        if (status == LINK3964_PARTNER_SENDS)
            receiveOne();
        if (status == -1)
            break; // nothing was sent: nothing queued or the port is gone
        if (queuedCount() == 0 || state_.load() != kRunning)
            break;
    }
}

int32_t Link3964::sendOne() {
    if (!portUsable())
        return -1;
    Telegram head;
    {
        std::lock_guard lock(listMutex_);
        // Both retry counts are S3964Retry, so the larger of them is that value.
        const int16_t limit = retries_.load();
        while (!sendQueue_.empty() && sendQueue_.front().attempts > limit) {
            sendQueue_.pop_front();
            owner_.postCommEvent(kCommErTxFailed);
        }
        if (sendQueue_.empty())
            return -1;
        head.sequence = sendQueue_.front().sequence;
        head.bytes = sendQueue_.front().bytes; // the host may clear the queue meanwhile
    }
    int32_t status = 0;
    const uint8_t flag = head.bytes.empty() ? 0 : head.bytes[0];
    const uint8_t* data = head.bytes.size() > 1 ? head.bytes.data() + 1 : nullptr;
    const uint16_t length =
        static_cast<uint16_t>(head.bytes.size() > 1 ? head.bytes.size() - 1 : 0);
    const bool ok =
        fn_->tx(commId_, data, length, &status, flag != 0, useBcc_.load(), master_.load());
    std::lock_guard lock(listMutex_);
    auto it = std::find_if(sendQueue_.begin(), sendQueue_.end(),
                           [&](const Telegram& t) { return t.sequence == head.sequence; });
    if (ok) {
        if (it != sendQueue_.end())
            sendQueue_.erase(it);
        owner_.postCommEvent(kCommEvSend);
        touch();
        return 0;
    }
    if (it != sendQueue_.end()) {
        it->lastStatus = status;
        if (status != LINK3964_PARTNER_SENDS)
            ++it->attempts;
    }
    return status == 0 ? -2 : status;
}

int32_t Link3964::receiveOne() {
    if (state_.load() != kRunning || !portUsable() ||
        SerialQueueCount(commId_, SERIAL_DIR_INPUT) == 0)
        return -1;
    if (receivedCount() >= static_cast<int32_t>(kMaxTelegrams)) {
        owner_.postCommEvent(kCommErRxOver);
        SerialFlushQueue(commId_, SERIAL_DIR_INPUT);
        return -1;
    }
    const int32_t size = receiveBufferSize.load();
    // One byte more than the library may fill: the flag goes in front.
    std::vector<uint8_t> buffer(static_cast<size_t>(size) + 1);
    uint16_t length = static_cast<uint16_t>(size);
    int32_t status = 0;
    uint8_t flag = 0;
    const bool ok = fn_->rx(commId_, buffer.data() + 1, &length, &status, kReceiveWaitMs, &flag,
                            useBcc_.load());
    if (status == LINK3964_BUFFER_TOO_SMALL)
        growReceiveBuffer();
    if (!ok)
        return status == 0 ? -2 : status;
    buffer.resize(static_cast<size_t>(std::min<int32_t>(length, size)) + 1);
    buffer[0] = flag;
    {
        std::lock_guard lock(listMutex_);
        receiveList_.push_back(Telegram{.sequence = nextSequence_++, .bytes = std::move(buffer)});
    }
    touch();
    owner_.postCommEvent(kCommEvReceive);
    return 0;
}

void Link3964::reannounceCheck() {
    if (SerialTickElapsed(lastActivity_.load()) <= kReannounceAfterMs)
        return;
    {
        std::lock_guard lock(listMutex_);
        if (receiveList_.empty())
            return;
        Telegram& head = receiveList_.front();
        if (head.reannounced >= 10 * static_cast<int32_t>(receiveList_.size()))
            return;
        ++head.reannounced;
    }
    touch();
    owner_.postCommEvent(kCommEvReceive);
}

void Link3964::queueTelegram(std::span<const uint8_t> flagAndData) {
    bool queued = false;
    {
        std::lock_guard lock(listMutex_);
        if (sendQueue_.size() < kMaxTelegrams) {
            sendQueue_.push_back(
                Telegram{.sequence = nextSequence_++,
                         .bytes = std::vector<uint8_t>(flagAndData.begin(), flagAndData.end())});
            queued = true;
        }
    }
    if (queued)
        signalSend();
    else
        owner_.postCommEvent(kCommErTxFull);
}

std::optional<std::vector<uint8_t>> Link3964::takeTelegram() {
    std::lock_guard lock(listMutex_);
    if (receiveList_.empty())
        return std::nullopt;
    std::vector<uint8_t> bytes = std::move(receiveList_.front().bytes);
    receiveList_.pop_front();
    lastActivity_ = SerialTickStart();
    return bytes;
}

int32_t Link3964::receivedCount() const {
    std::lock_guard lock(listMutex_);
    return static_cast<int32_t>(receiveList_.size());
}

int32_t Link3964::queuedCount() const {
    std::lock_guard lock(listMutex_);
    return static_cast<int32_t>(sendQueue_.size());
}

void Link3964::clearReceived() {
    std::lock_guard lock(listMutex_);
    receiveList_.clear();
}

void Link3964::clearQueued() {
    std::lock_guard lock(listMutex_);
    sendQueue_.clear();
}

} // namespace vort

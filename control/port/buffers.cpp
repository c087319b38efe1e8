// InBufferSize, OutBufferSize, InBufferCount, OutBufferCount.
#include <algorithm>

#include "control/object/vort_ctrl.h"
#include "serilon/serilon.h"
#include "vort/dispids.h"

namespace vort {

namespace {

constexpr int32_t kInMin = 2048, kInMax = 32000;
constexpr int32_t kOutMin = 512, kOutMax = 32000;

// Counts above the 16-bit interface's range read as its largest value rather than
// wrapping to a small, wrong number.
int16_t saturate16(int32_t n) {
    return static_cast<int16_t>(std::clamp(n, 0, 32767));
}

} // namespace

int16_t CVortCtrl::inBufferSize() {
    if (portOpenFlag_.load()) {
        int32_t size = SerialBufferSize(openCommId_, SERIAL_DIR_INPUT);
        if (size > 0)
            inBufferSize_ = saturate16(size);
    }
    return inBufferSize_.load();
}

int16_t CVortCtrl::outBufferSize() {
    if (portOpenFlag_.load()) {
        int32_t size = SerialBufferSize(openCommId_, SERIAL_DIR_OUTPUT);
        if (size > 0)
            outBufferSize_ = saturate16(size);
    }
    return outBufferSize_;
}

void CVortCtrl::setInBufferSize(int32_t size) {
    const int16_t clamped = static_cast<int16_t>(std::clamp(size, kInMin, kInMax));
    if (portOpenFlag_.load()) {
        if (jobRunning())
            return;
        SerialSetBuffers(openCommId_, clamped, outBufferSize_);
        inBufferSize_ = saturate16(SerialBufferSize(openCommId_, SERIAL_DIR_INPUT));
    } else {
        inBufferSize_ = clamped;
    }
    propertyWritten(kDispInBufferSize);
}

void CVortCtrl::setOutBufferSize(int32_t size) {
    const int16_t clamped = static_cast<int16_t>(std::clamp(size, kOutMin, kOutMax));
    if (portOpenFlag_.load()) {
        if (jobRunning())
            return;
        SerialSetBuffers(openCommId_, inBufferSize_.load(), clamped);
        outBufferSize_ = saturate16(SerialBufferSize(openCommId_, SERIAL_DIR_OUTPUT));
    } else {
        outBufferSize_ = clamped;
    }
    propertyWritten(kDispOutBufferSize);
}

int16_t CVortCtrl::inBufferCount() {
    if (!portOpenFlag_.load())
        return 0;
    if (protocol_.load() == kProtocol3964)
        return saturate16(link_->receivedCount());
    return saturate16(SerialQueueCount(openCommId_, SERIAL_DIR_INPUT));
}

void CVortCtrl::setInBufferCount(int16_t) {
    if (!portOpenFlag_.load())
        return;
    if (protocol_.load() == kProtocol3964)
        link_->clearReceived();
    else
        SerialFlushQueue(openCommId_, SERIAL_DIR_INPUT);
}

int16_t CVortCtrl::outBufferCount() {
    if (!portOpenFlag_.load())
        return 0;
    if (protocol_.load() == kProtocol3964)
        return saturate16(link_->queuedCount());
    return saturate16(SerialQueueCount(openCommId_, SERIAL_DIR_OUTPUT));
}

void CVortCtrl::setOutBufferCount(int16_t) {
    if (!portOpenFlag_.load())
        return;
    if (protocol_.load() == kProtocol3964)
        link_->clearQueued();
    else
        SerialFlushQueue(openCommId_, SERIAL_DIR_OUTPUT);
}

} // namespace vort

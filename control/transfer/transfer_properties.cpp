// Protocol, FileName, FileDownLoadDir, FileSize, FileTransmit, FileReceive,
// JobProcessing, and the transfer abort.
#include <chrono>
#include <thread>

#include "control/libs/serilon.h"
#include "control/libs/transvex.h"
#include "control/object/vort_ctrl.h"
#include "vort/dispids.h"

namespace vort {

namespace {

// The working file name is a 512-byte buffer with its terminating NUL.
constexpr size_t kMaxFileName = 511;

} // namespace

void CVortCtrl::setProtocol(int16_t value) {
    if (value < kProtocolAscii || value > kProtocol3964)
        return;
    const int16_t old = protocol_.load();
    if (portOpenFlag_.load() && old != value) {
        if (old == kProtocol3964) {
            link_->stop();
        } else if (value == kProtocol3964) {
            // The link must be running before the protocol says 7: a write whose link
            // cannot start is ignored.
            if (!start3964Link())
                return;
        }
    }
    protocol_ = value;
    propertyWritten(kDispProtocol);
}

std::u16string CVortCtrl::fileName() const {
    std::lock_guard lock(fileNameMutex_);
    return fileName_;
}

void CVortCtrl::setFileName(std::u16string text) {
    std::unique_lock lock(fileNameMutex_);
    const size_t comma = text.find(u',');
    if (comma == std::u16string::npos) {
        fileName_ = std::move(text);
        fileSuffix_.clear();
    } else {
        fileSuffix_ = text.substr(comma);
        fileName_ = text.substr(0, comma);
    }
    if (fileName_.size() > kMaxFileName)
        fileName_.resize(kMaxFileName);
    lock.unlock();
    propertyWritten(kDispFileName);
}

std::u16string CVortCtrl::fileDownLoadDir() const {
    std::lock_guard lock(fileNameMutex_);
    return fileDownLoadDir_;
}

void CVortCtrl::setFileDownLoadDir(std::u16string text) {
    {
        std::lock_guard lock(fileNameMutex_);
        fileDownLoadDir_ = std::move(text);
    }
    propertyWritten(kDispFileDownLoadDir);
}

bool CVortCtrl::jobProcessing() const {
    return transferState_.load() != kTransferIdle || dialThreadRunning_.load() || dialFlag_.load();
}

void CVortCtrl::setJobProcessing(bool on) {
    if (!on && jobProcessing())
        AbortJob(false, portOpenFlag_.load());
}

void CVortCtrl::setFileTransmit(bool on) {
    if (on) {
        startTransfer(kTransferSending);
        return;
    }
    if (!on && (transferThreadRunning_.load() || transferState_.load() == kTransferSending))
        AbortTransfer(false, portOpenFlag_.load());
}

void CVortCtrl::setFileReceive(bool on) {
    if (on) {
        startTransfer(kTransferReceiving);
        return;
    }
    if (!on && (transferThreadRunning_.load() || transferState_.load() == kTransferReceiving))
        AbortTransfer(false, portOpenFlag_.load());
}

void CVortCtrl::AbortTransfer(bool wait, bool /*portOpen*/) {
    if (!transferThreadRunning_.load())
        return;
    const int32_t id = activeCommId();
    abortFlag_ = true;
    lastFileFlag_ = true;
    abortCv_.notify_all();
    XferAbort(id, 10000);
    if (wait)
        waitWhileBusy(id, [this] { return transferThreadRunning_.load(); });
}

} // namespace vort

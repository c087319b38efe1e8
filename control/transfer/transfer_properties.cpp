// Protocol, FileName, FileDownLoadDir, FileSize, FileTransmit, FileReceive,
// JobProcessing, starting the transfer job (transfer_job.cpp) and the transfer abort.
#include <algorithm>

#include "control/object/vort_ctrl.h"
#include "platform/component/text.h"
#include "serilon/serilon.h"
#include "transvex/transvex.h"
#include "vort/dispids.h"

namespace vort {

namespace {

// The working file name is a 512-byte buffer with its terminating NUL.
constexpr size_t kMaxFileName = 511;

// A path from the interface's text: both separators count, the file system's is '/'.
std::string systemPath(const std::u16string& text) {
    std::string path = component::toUtf8(text);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

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

void CVortCtrl::setFileNameFromJob(std::u16string name) {
    std::lock_guard lock(fileNameMutex_);
    fileName_ = std::move(name);
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
    return transfer_.state() != kTransferIdle || dial_.threadExists() || dial_.dialling();
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
    if (!on && (transfer_.threadExists() || transfer_.state() == kTransferSending))
        AbortTransfer(false, portOpenFlag_.load());
}

void CVortCtrl::setFileReceive(bool on) {
    if (on) {
        startTransfer(kTransferReceiving);
        return;
    }
    if (!on && (transfer_.threadExists() || transfer_.state() == kTransferReceiving))
        AbortTransfer(false, portOpenFlag_.load());
}

void CVortCtrl::startTransfer(TransferState direction) {
    if (!portOpenFlag_.load() || transfer_.state() != kTransferIdle || dial_.dialling() ||
        dial_.threadExists() || transfer_.threadExists())
        return;
    std::u16string name, suffix, downloadDir;
    {
        std::lock_guard lock(fileNameMutex_);
        name = fileName_;
        suffix = fileSuffix_;
        downloadDir = fileDownLoadDir_;
    }
    if (direction == kTransferSending && name.empty())
        return;
    const int16_t protocol = protocol_.load();
    // The job works on these copies: the host may change the properties meanwhile.
    transfer_.start({.direction = direction,
                     .commId = openCommId_,
                     .protocol = protocol,
                     .name = systemPath(name),
                     .suffix = component::toUtf8(suffix),
                     .downloadDir = component::toUtf8(downloadDir),
                     .carrierEvents = connectedFlag_.load(),
                     .priority = priority_.load(),
                     .link3964 = protocol == kProtocol3964 ? link_->shareFunctions() : nullptr});
}

void CVortCtrl::AbortTransfer(bool wait, bool /*portOpen*/) {
    if (!transfer_.threadExists())
        return;
    const int32_t id = activeCommId();
    transfer_.abort();
    XferAbort(id, 10000);
    if (wait)
        waitWhileBusy(id, [this] { return transfer_.threadExists(); });
}

} // namespace vort

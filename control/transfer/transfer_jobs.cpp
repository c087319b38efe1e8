// File transfer jobs: the send and receive threads that run the transfer library's
// calls over the open comm id, and the wildcard batch of the send side.
#include <algorithm>
#include <cstring>
#include <glob.h>
#include <sys/stat.h>

#include "control/events/priority.h"
#include "control/libs/serilon.h"
#include "control/object/vort_ctrl.h"
#include "control/transfer/file_info_proc.h"
#include "platform/component/text.h"

namespace vort {

namespace {

// Event masks of the comm id while a transfer runs: receive, send and error reports,
// and carrier changes too when a modem connection is up.
constexpr int32_t kTransferMask = 0x4C5;
constexpr int32_t kTransferMaskConnected = 0x4E5;
constexpr int kGapBetweenFilesMs = 1000;

using XferCall = uint8_t (*)(int32_t, char*, int32_t*, XferFileInfoProc);

XferCall sendCall(int16_t protocol) {
    switch (protocol) {
    case kProtocolAscii:
        return XferSendAscii;
    case kProtocolXmodem:
        return XferSendXmodem;
    case kProtocolXmodemCrc:
        return XferSendXmodemCrc;
    case kProtocolYmodem:
        return XferSendYmodem;
    case kProtocolYmodemBatch:
        return XferSendYmodemBatch;
    case kProtocolZmodem:
    case kProtocolZmodemSave:
        return XferSendZmodem;
    default:
        return nullptr;
    }
}

XferCall receiveCall(int16_t protocol) {
    switch (protocol) {
    case kProtocolAscii:
        return XferReceiveAscii;
    case kProtocolXmodem:
        return XferReceiveXmodem;
    case kProtocolXmodemCrc:
        return XferReceiveXmodemCrc;
    case kProtocolYmodem:
        return XferReceiveYmodem;
    case kProtocolYmodemBatch:
        return XferReceiveYmodemBatch;
    case kProtocolZmodem:
    case kProtocolZmodemSave:
        return XferReceiveZmodem;
    default:
        return nullptr;
    }
}

// A path from the interface's text: both separators count, the file system's is '/'.
std::string systemPath(const std::u16string& text) {
    std::string path = component::toUtf8(text);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// Every regular file matching pattern, in name order; directories are skipped.
std::vector<std::string> matchingFiles(const std::string& pattern) {
    std::vector<std::string> files;
    glob_t g{};
    if (::glob(pattern.c_str(), GLOB_NOESCAPE, nullptr, &g) == 0) {
        for (size_t i = 0; i < g.gl_pathc; ++i) {
            struct stat st {};
            if (::stat(g.gl_pathv[i], &st) == 0 && S_ISREG(st.st_mode))
                files.emplace_back(g.gl_pathv[i]);
        }
    }
    ::globfree(&g);
    return files;
}

bool copyName(char (&buffer)[XFER_NAME_SIZE], const std::string& name) {
    if (name.size() >= XFER_NAME_SIZE)
        return false;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return true;
}

} // namespace

void CVortCtrl::startTransfer(TransferState state) {
    if (!portOpenFlag_.load() || transferState_.load() != kTransferIdle || dialFlag_.load() ||
        dialThreadRunning_.load() || transferThreadRunning_.load())
        return;
    const std::u16string name = fileName();
    if (state == kTransferSending && name.empty())
        return;
    if (!copyName(workingName_, systemPath(name)))
        return;
    if (transferThread_.joinable())
        transferThread_.join(); // the previous job has ended
    transferState_ = state;
    abortFlag_ = false;
    transferThreadRunning_ = true;
    try {
        transferThread_ = std::thread([this, state] { runTransfer(state); });
    } catch (const std::system_error&) {
        transferThreadRunning_ = false;
        transferState_ = kTransferIdle;
    }
}

void CVortCtrl::runTransfer(TransferState state) {
    const int32_t id = openCommId_;
    applyThreadPriority(0, priority_.load());
    const int32_t previousMode =
        SerialSetMode(id, connectedFlag_.load() ? kTransferMaskConnected : kTransferMask, 0);
    SerialWaitLeave();
    const int32_t savedYield = SerialGetYield();
    SerialSetYield(1);
    lastFileFlag_ = false;

    if (state == kTransferSending)
        sendFiles(id);
    else
        receiveFile(id);

    transferState_ = kTransferIdle;
    SerialSetYield(savedYield);
    SerialSetMode(id, previousMode, 0);
    transferThreadRunning_ = false;
}

void CVortCtrl::pauseBetweenFiles(int ms) {
    std::unique_lock lock(abortMutex_);
    abortCv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return abortFlag_.load(); });
}

void CVortCtrl::sendFiles(int32_t id) {
    const std::string suffix = component::toUtf8(fileSuffix_);
    const std::vector<std::string> files = matchingFiles(workingName_);
    if (files.empty()) {
        workingName_[0] = '\0';
        return;
    }
    const int16_t protocol = protocol_.load();
    int32_t status = 0;
    for (size_t i = 0; i < files.size() && !lastFileFlag_.load(); ++i) {
        if (status == XFER_STATUS_ABORTED || status == XFER_STATUS_PEER_CANCELLED)
            break;
        if (i + 1 == files.size())
            lastFileFlag_ = true;
        if (!copyName(workingName_, files[i] + suffix))
            continue;
        if (protocol == kProtocol3964) {
            if (const Link3964Functions* fn = link_->functions())
                fn->txFile(id, workingName_, &status);
        } else if (XferCall call = sendCall(protocol)) {
            call(id, workingName_, &status, &FileInfoProc);
        }
        if (!lastFileFlag_.load())
            pauseBetweenFiles(kGapBetweenFilesMs);
    }
}

void CVortCtrl::receiveFile(int32_t id) {
    const std::string target = std::string(workingName_) + component::toUtf8(fileSuffix_);
    if (!copyName(workingName_, target))
        return;
    int32_t status = 0;
    const int16_t protocol = protocol_.load();
    if (protocol == kProtocol3964) {
        if (const Link3964Functions* fn = link_->functions())
            fn->rxFile(id, workingName_, &status);
    } else if (XferCall call = receiveCall(protocol)) {
        call(id, workingName_, &status, &FileInfoProc);
    }
}

} // namespace vort

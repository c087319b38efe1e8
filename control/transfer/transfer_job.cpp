// The transfer thread: the send batch (a wildcard pattern, one file after another) and
// the receive call over the comm id the job started on.
#include "control/transfer/transfer_job.h"

#include <cstring>
#include <glob.h>
#include <sys/stat.h>
#include <system_error>

#include "control/events/priority.h"
#include "control/object/vort_ctrl.h"
#include "control/transfer/file_info_proc.h"
#include "serilon/serilon.h"

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

TransferJob::TransferJob(CVortCtrl& owner) : owner_(owner) {}

TransferJob::~TransferJob() {
    join();
}

void TransferJob::join() {
    if (thread_.joinable())
        thread_.join();
}

bool TransferJob::start(Request request) {
    auto refuse = [&] {
        if (request.link3964)
            releaseLink3964();
        return false;
    };
    if (threadRunning_.load())
        return refuse();
    join(); // the previous job has ended
    if (!copyName(workingName_, request.name))
        return refuse();
    request_ = std::move(request);
    state_ = request_.direction;
    {
        std::lock_guard lock(abortMutex_);
        abort_ = false;
        lastFile_ = false; // here, not in the thread: an abort right after the start counts
    }
    threadRunning_ = true;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        threadRunning_ = false;
        state_ = kTransferIdle;
        if (request_.link3964)
            releaseLink3964();
        request_.link3964 = nullptr;
        return false;
    }
    return true;
}

void TransferJob::abort() {
    {
        std::lock_guard lock(abortMutex_);
        abort_ = true;
        lastFile_ = true;
    }
    abortCv_.notify_all();
}

void TransferJob::run() {
    const int32_t id = request_.commId;
    applyThreadPriority(0, request_.priority);
    const int32_t previousMode =
        SerialSetMode(id, request_.carrierEvents ? kTransferMaskConnected : kTransferMask, 0);
    SerialWaitLeave();
    const int32_t savedYield = SerialGetYield();
    SerialSetYield(1);

    if (request_.direction == kTransferSending)
        sendFiles();
    else
        receiveFile();

    if (request_.link3964)
        releaseLink3964();
    state_ = kTransferIdle;
    SerialSetYield(savedYield);
    SerialSetMode(id, previousMode, 0);
    threadRunning_ = false;
}

void TransferJob::pauseBetweenFiles(int ms) {
    std::unique_lock lock(abortMutex_);
    abortCv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return abort_.load(); });
}

void TransferJob::sendFiles() {
    const std::vector<std::string> files = matchingFiles(workingName_);
    if (files.empty()) {
        workingName_[0] = '\0';
        return;
    }
    const int32_t id = request_.commId;
    int32_t status = 0;
    for (size_t i = 0; i < files.size() && !lastFile_.load(); ++i) {
        if (status == XFER_STATUS_ABORTED || status == XFER_STATUS_PEER_CANCELLED)
            break;
        if (i + 1 == files.size())
            lastFile_ = true;
        if (!copyName(workingName_, files[i] + request_.suffix))
            continue;
        if (request_.protocol == kProtocol3964) {
            if (request_.link3964)
                request_.link3964->txFile(id, workingName_, &status);
        } else if (XferCall call = sendCall(request_.protocol)) {
            call(id, workingName_, &status, &FileInfoProc);
        }
        if (!lastFile_.load())
            pauseBetweenFiles(kGapBetweenFilesMs);
    }
}

void TransferJob::receiveFile() {
    if (!copyName(workingName_, std::string(workingName_) + request_.suffix))
        return;
    const int32_t id = request_.commId;
    int32_t status = 0;
    if (request_.protocol == kProtocol3964) {
        if (request_.link3964)
            request_.link3964->rxFile(id, workingName_, &status);
    } else if (XferCall call = receiveCall(request_.protocol)) {
        call(id, workingName_, &status, &FileInfoProc);
    }
}

} // namespace vort

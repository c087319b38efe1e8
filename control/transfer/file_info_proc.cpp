// The transfer job's side of the transfer library's reports: what each action does,
// the resume decision for received files, the file times, and OnFileInfo.
#include "control/transfer/file_info_proc.h"

#include <cstring>

#include "control/object/vort_ctrl.h"
#include "control/transfer/download_dir.h"
#include "control/transfer/file_times.h"
#include "platform/component/text.h"
#include "serilon/serilon.h"

namespace vort {

namespace {

bool isZmodemKind(int16_t kind) {
    return kind == XFER_KIND_ZMODEM || kind == XFER_KIND_ZMODEM_SAVE;
}

std::string recordName(const XferFileInfo& r) {
    return std::string(r.fileName, strnlen(r.fileName, sizeof r.fileName));
}

bool endsWithSeparator(const std::string& s) {
    return !s.empty() && (s.back() == '\\' || s.back() == '/');
}

} // namespace

int32_t TransferJob::onFileInfo(int32_t action, int32_t data, XferFileInfo* record) {
    if (!owner_.isPortOpenFlagSet() || !record)
        return XFER_RESULT_STOP;
    int32_t result = XFER_RESULT_GO_ON;
    bool post = true;

    switch (action & 0xFFFF) {
    case XFER_ACTION_RX_PROGRESS:
        if (data == 0) {
            post = false;
            if (isZmodemKind(record->kind) && record->month != 0)
                setFileTimes(recordName(*record), *record);
        }
        break;
    case XFER_ACTION_BREAK:
        result = XFER_RESULT_STOP;
        break;
    case XFER_ACTION_SYN:
        // ZMODEM/Save asks the receiver to keep an existing file of that name.
        if (request_.protocol == kProtocolZmodemSave)
            record->options &= ~XFER_OPT_REPLACE;
        break;
    case XFER_ACTION_RX_HEADER: {
        post = false;
        std::string name = recordName(*record);
        std::string dir = request_.downloadDir;
        if (dir == kDefaultDownLoadDir) {
            // The stored default names the user's download directory, never the root.
            const auto downloads = userDownloadDirectory();
            if (!downloads) {
                result = XFER_RESULT_STOP; // no home to receive into: the file is skipped
                break;
            }
            dir = *downloads;
        }
        if (!dir.empty())
            name = dir + (endsWithSeparator(dir) ? "" : "/") + name;
        for (char& c : name)
            if (c == '\\')
                c = '/';
        // A path the record cannot hold is skipped rather than cut into another name.
        if (name.size() >= sizeof record->fileName) {
            result = XFER_RESULT_STOP;
            break;
        }
        std::memcpy(record->fileName, name.c_str(), name.size() + 1);
        if (isZmodemKind(record->kind) || record->kind == XFER_KIND_YMODEM_BATCH)
            owner_.setFileNameFromJob(component::fromUtf8(name));
        if (isZmodemKind(record->kind)) {
            if (auto local = localFileDetails(name); local && local->size > 0)
                result = resumeDecision(*local, *record);
        }
        break;
    }
    case XFER_ACTION_RX_FINISHED:
        if (isZmodemKind(record->kind) && record->month != 0)
            setFileTimes(recordName(*record), *record);
        break;
    case XFER_ACTION_TX_FINISHED:
    case XFER_ACTION_TX_SKIPPED:
        // A skipped file ends nothing: the batch goes on as after a finished one.
        if (!lastFile_.load())
            result = XFER_RESULT_MORE_FILES;
        break;
    case XFER_ACTION_FILE_DETAILS: {
        post = false;
        const std::string name = recordName(*record);
        if (auto local = localFileDetails(name)) {
            record->size = static_cast<int32_t>(static_cast<uint32_t>(local->size));
            record->year = local->year;
            record->month = local->month;
            record->day = local->day;
            record->hour = local->hour;
            record->minute = local->minute;
            record->second = local->second;
        }
        std::memcpy(workingName_, record->fileName, sizeof workingName_);
        workingName_[sizeof workingName_ - 1] = '\0';
        owner_.setFileNameFromJob(component::fromUtf8(name));
        break;
    }
    default:
        break;
    }

    if (abort_.load())
        result = XFER_RESULT_STOP;
    if (post) {
        fileSize_ = record->size != 0 ? record->size : data;
        owner_.PostNotification(
            (static_cast<uint32_t>(static_cast<uint16_t>(action)) << 16) | kNotifyFileInfo, data);
    }
    return result;
}

} // namespace vort

extern "C" int32_t FileInfoProc(int32_t commId, int32_t action, int32_t data,
                                XferFileInfo* record) {
    auto* control = reinterpret_cast<vort::CVortCtrl*>(SerialGetUserData(commId, 0));
    if (!control)
        return XFER_RESULT_STOP;
    return control->transferJob().onFileInfo(action, data, record);
}

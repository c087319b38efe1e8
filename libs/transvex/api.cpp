// The C exports of the transfer library: each transfer call picks its engine, runs
// it over the comm id in the calling thread and reports through the caller's
// file-info procedure.
#include "libs/transvex/abort_registry.h"
#include "libs/transvex/ascii_transfer.h"
#include "libs/transvex/comm_link.h"
#include "libs/transvex/file_record.h"
#include "libs/transvex/open_sessions.h"
#include "libs/transvex/session_runner.h"
#include "libs/transvex/xmodem_block.h"
#include "libs/transvex/xmodem_receiver.h"
#include "libs/transvex/xmodem_sender.h"
#include "libs/transvex/zmodem_receiver.h"
#include "libs/transvex/zmodem_sender.h"
#include "serilon/serilon.h"
#include "transvex/transvex.h"

#include <algorithm>
#include <memory>

namespace transvex {
namespace {

enum class Call {
    SendAscii,
    ReceiveAscii,
    SendXmodem,
    ReceiveXmodem,
    SendXmodemCrc,
    ReceiveXmodemCrc,
    SendYmodem,
    ReceiveYmodem,
    SendYmodemBatch,
    ReceiveYmodemBatch,
    SendZmodem,
    ReceiveZmodem,
};

bool takesNamesFromSender(Call c) {
    return c == Call::ReceiveZmodem || c == Call::ReceiveYmodemBatch;
}

bool sendsXmodemFamily(Call c) {
    return c == Call::SendXmodem || c == Call::SendXmodemCrc || c == Call::SendYmodem ||
           c == Call::SendYmodemBatch;
}

// Input that waited before a session began is not the session's: a ZMODEM session
// drops all of it (a cancelled peer's CANs, an earlier receiver's ZRINIT: ZMODEM asks
// again for everything it needs); an XMODEM-family sender keeps only the last start
// character there, a receiver's NAK or 'C' that may not come again for seconds.
// Returns what the engine is to see first.
std::vector<uint8_t> sessionStartInput(Call call, Channel& channel) {
    if (call != Call::SendZmodem && call != Call::ReceiveZmodem && !sendsXmodemFamily(call)) {
        return {}; // ASCII and the XMODEM receivers keep everything
    }
    const std::vector<uint8_t> stale = channel.takeWaitingInput();
    if (sendsXmodemFamily(call)) {
        const auto last = std::find_if(stale.rbegin(), stale.rend(),
                                       [](uint8_t b) { return b == kNak || b == kCrcStart; });
        if (last != stale.rend()) {
            return {*last};
        }
    }
    return {};
}

std::unique_ptr<Engine> makeEngine(Call call, const CallName& name, EngineIo io,
                                   const std::optional<OpenSession>& open) {
    using XS = XmodemSenderConfig::Mode;
    using XR = XmodemReceiverConfig::Mode;
    switch (call) {
    case Call::SendAscii: {
        AsciiSenderConfig c;
        c.path = name.path;
        return std::make_unique<AsciiSender>(c, std::move(io));
    }
    case Call::ReceiveAscii: {
        AsciiReceiverConfig c;
        c.path = name.path;
        c.keepSub = (name.options & XFER_OPT_KEEP_SUB) != 0;
        c.silenceMs = static_cast<uint32_t>(name.silenceSeconds) * 1000u;
        return std::make_unique<AsciiReceiver>(c, std::move(io));
    }
    case Call::SendXmodem:
    case Call::SendXmodemCrc:
    case Call::SendYmodem:
    case Call::SendYmodemBatch: {
        XmodemSenderConfig c;
        c.path = name.path;
        c.mode = call == Call::SendYmodem        ? XS::Xmodem1k
                 : call == Call::SendYmodemBatch ? XS::YmodemBatch
                                                 : XS::Xmodem;
        c.use1k = (name.options & XFER_OPT_1K_BLOCKS) != 0;
        c.shortBlocks = (name.options & XFER_OPT_SHORT_BLOCKS) != 0;
        return std::make_unique<XmodemSender>(c, std::move(io));
    }
    case Call::ReceiveXmodem:
    case Call::ReceiveXmodemCrc:
    case Call::ReceiveYmodem:
    case Call::ReceiveYmodemBatch: {
        XmodemReceiverConfig c;
        c.path = name.path;
        c.mode = call == Call::ReceiveXmodem      ? XR::Checksum
                 : call == Call::ReceiveXmodemCrc ? XR::Crc
                 : call == Call::ReceiveYmodem    ? XR::Xmodem1k
                                                  : XR::YmodemBatch;
        return std::make_unique<XmodemReceiver>(c, std::move(io));
    }
    case Call::SendZmodem: {
        ZmodemSenderConfig c;
        c.path = name.path;
        c.options = name.options | (name.keepExisting ? 0 : XFER_OPT_REPLACE);
        if (open && open->kind == OpenSession::Kind::Zmodem) {
            c.session = open->zmodem;
        }
        return std::make_unique<ZmodemSender>(c, std::move(io));
    }
    case Call::ReceiveZmodem: {
        ZmodemReceiverConfig c;
        c.options = name.options;
        return std::make_unique<ZmodemReceiver>(c, std::move(io));
    }
    }
    return nullptr;
}

uint8_t runCall(Call call, int32_t commId, char* fileName, int32_t* status, XferFileInfoProc proc) {
    int32_t ignored = 0;
    int32_t& result = status != nullptr ? *status : ignored;
    auto report = [commId, proc](int32_t action, int32_t data, XferFileInfo* record) {
        return proc != nullptr ? proc(commId, action, data, record) : int32_t{XFER_RESULT_GO_ON};
    };
    auto refuse = [&](int32_t why, const std::string& path) -> uint8_t {
        XferFileInfo record = emptyRecord();
        setRecordName(record, path);
        result = why;
        report(XFER_ACTION_BREAK, why, &record);
        return 0;
    };

    const auto name = parseCallName(fileName);
    if (!name || (name->path.empty() && !takesNamesFromSender(call))) {
        return refuse(XFER_STATUS_BAD_ARGUMENT, name ? name->path : std::string());
    }
    if (SerialInUse(commId) == 0 || SerialOpenStatus(commId) != SERIAL_OK) {
        return refuse(XFER_STATUS_LINE_LOST, name->path);
    }
    CommLink link(commId);
    AbortRegistration registration(commId, link);
    if (!registration.ok()) {
        result = XFER_STATUS_BUSY;
        return 0;
    }
    // A session the previous call left open goes on only with the call it was left for.
    const std::optional<OpenSession> open = takeOpenSession(commId, monotonicMs());
    const bool continues =
        open && ((call == Call::SendZmodem && open->kind == OpenSession::Kind::Zmodem) ||
                 (call == Call::SendYmodemBatch && open->kind == OpenSession::Kind::YmodemBatch));
    const std::vector<uint8_t> first =
        continues ? std::vector<uint8_t>{} : sessionStartInput(call, link);
    auto engine = makeEngine(call, *name, channelIo(link, report), continues ? open : std::nullopt);
    result = runSession(*engine, link, RunLimits{}, first);

    OpenSession left;
    left.leftAtMs = monotonicMs();
    if (const auto* zs = dynamic_cast<const ZmodemSender*>(engine.get())) {
        if (const auto session = zs->sessionLeftOpen()) {
            left.kind = OpenSession::Kind::Zmodem;
            left.zmodem = *session;
            leaveSessionOpen(commId, left);
        }
    } else if (const auto* xs = dynamic_cast<const XmodemSender*>(engine.get())) {
        if (xs->batchLeftOpen()) {
            left.kind = OpenSession::Kind::YmodemBatch;
            leaveSessionOpen(commId, left);
        }
    }
    return result == XFER_STATUS_OK ? 1 : 0;
}

} // namespace
} // namespace transvex

using transvex::Call;
using transvex::runCall;

extern "C" {

#define XFER_DEFINE(fn, call)                                                                      \
    uint8_t fn(int32_t commId, char* fileName, int32_t* status, XferFileInfoProc proc) {           \
        return runCall(Call::call, commId, fileName, status, proc);                                \
    }

XFER_DEFINE(XferSendAscii, SendAscii)
XFER_DEFINE(XferReceiveAscii, ReceiveAscii)
XFER_DEFINE(XferSendXmodem, SendXmodem)
XFER_DEFINE(XferReceiveXmodem, ReceiveXmodem)
XFER_DEFINE(XferSendXmodemCrc, SendXmodemCrc)
XFER_DEFINE(XferReceiveXmodemCrc, ReceiveXmodemCrc)
XFER_DEFINE(XferSendYmodem, SendYmodem)
XFER_DEFINE(XferReceiveYmodem, ReceiveYmodem)
XFER_DEFINE(XferSendYmodemBatch, SendYmodemBatch)
XFER_DEFINE(XferReceiveYmodemBatch, ReceiveYmodemBatch)
XFER_DEFINE(XferSendZmodem, SendZmodem)
XFER_DEFINE(XferReceiveZmodem, ReceiveZmodem)
#undef XFER_DEFINE

int32_t XferWaitQueue(int32_t commId, int32_t dir, int32_t timeoutMs) {
    if (dir != SERIAL_DIR_INPUT && dir != SERIAL_DIR_OUTPUT) {
        return 0;
    }
    if (timeoutMs < 0) {
        timeoutMs = 0;
    }
    // The wait is on a change of the count seen now, so a queue that moves
    // between these two calls ends the wait at once instead of being missed.
    const int32_t now = SerialQueueCount(commId, dir);
    return SerialWaitQueue(commId, dir, now, timeoutMs);
}

int32_t XferAbort(int32_t commId, int32_t timeoutMs) {
    // A job stopped between two files leaves no session for the next job to continue.
    transvex::forgetOpenSession(commId);
    return transvex::abortTransfer(commId, timeoutMs) ? 1 : 0;
}

} // extern "C"

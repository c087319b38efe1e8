// Transfers over a damaged line: two pseudo-terminal pairs joined by a relay that
// flips bits and loses bytes. ZMODEM must end with an identical file; no protocol may
// report success with a file that differs.
#include "engine_pair.h"
#include "line_relay.h"
#include "test_files.h"

#include "libs/transvex/fd_channel.h"
#include "libs/transvex/file_record.h"
#include "libs/transvex/session_runner.h"
#include "libs/transvex/xmodem_receiver.h"
#include "libs/transvex/xmodem_sender.h"
#include "libs/transvex/zmodem_receiver.h"
#include "libs/transvex/zmodem_sender.h"

#include <gtest/gtest.h>
#include <thread>

namespace transvex::test {
namespace {

ReportFn storeIn(const std::string& dir) {
    return [dir](int32_t action, int32_t, XferFileInfo* r) {
        if (action == XFER_ACTION_RX_HEADER) {
            setRecordName(*r, dir + "/" + recordName(*r));
        }
        return int32_t{XFER_RESULT_GO_ON};
    };
}

struct Result {
    int32_t tx = 1, rx = 1;
};

// Runs sender on side 0 and receiver on side 1 of the relay, each in its own thread.
template <class MakeTx, class MakeRx>
Result runOverRelay(LineRelay& relay, MakeTx makeTx, MakeRx makeRx) {
    FdChannel a(relay.port(0)), b(relay.port(1));
    Result r;
    std::thread rxThread([&] {
        auto rx = makeRx(channelIo(b, {}));
        r.rx = runSession(*rx, b);
    });
    {
        auto tx = makeTx(channelIo(a, {}));
        r.tx = runSession(*tx, a);
    }
    rxThread.join();
    return r;
}

TEST(NoisyLine, ZmodemEndsIdenticalAtBothErrorRates) {
    for (double rate : {1e-4, 1e-5}) {
        SCOPED_TRACE(rate);
        ScratchDir dir;
        std::filesystem::create_directory(dir.path() / "in");
        const auto data = randomBytes(1 << 20, 5);
        writeFile(dir / "n.bin", data, 1400000000);
        LineRelay relay({0, rate / 2, rate / 2, 9});
        const std::string in = dir / "in";
        auto r = runOverRelay(
            relay,
            [&](EngineIo io) {
                ZmodemSenderConfig c;
                c.path = dir / "n.bin";
                return std::make_unique<ZmodemSender>(c, std::move(io));
            },
            [&](EngineIo io) {
                io.report = storeIn(in);
                return std::make_unique<ZmodemReceiver>(ZmodemReceiverConfig{}, std::move(io));
            });
        EXPECT_GT(relay.flipped() + relay.dropped(), 0u);
        EXPECT_EQ(r.tx, XFER_STATUS_OK);
        EXPECT_EQ(r.rx, XFER_STATUS_OK);
        EXPECT_EQ(readFile(in + "/n.bin"), data);
        EXPECT_EQ(fileMtime(in + "/n.bin"), 1400000000);
    }
}

TEST(NoisyLine, XmodemFamilyNeverReportsSuccessWithDifferentFile) {
    using RxMode = XmodemReceiverConfig::Mode;
    for (RxMode mode : {RxMode::Checksum, RxMode::Crc, RxMode::Xmodem1k, RxMode::YmodemBatch}) {
        SCOPED_TRACE(static_cast<int>(mode));
        ScratchDir dir;
        std::filesystem::create_directory(dir.path() / "in");
        auto data = randomBytes(100000, 6);
        data.back() = 'x';
        writeFile(dir / "x.bin", data);
        LineRelay relay({0, 5e-5, 5e-5, 3});
        const std::string in = dir / "in";
        auto r = runOverRelay(
            relay,
            [&](EngineIo io) {
                XmodemSenderConfig c;
                c.path = dir / "x.bin";
                c.ackTimeoutMs = 1000;
                c.mode = mode == RxMode::YmodemBatch ? XmodemSenderConfig::Mode::YmodemBatch
                         : mode == RxMode::Xmodem1k  ? XmodemSenderConfig::Mode::Xmodem1k
                                                     : XmodemSenderConfig::Mode::Xmodem;
                return std::make_unique<XmodemSender>(c, std::move(io));
            },
            [&](EngineIo io) {
                io.report = storeIn(in);
                XmodemReceiverConfig c;
                c.mode = mode;
                c.path = in + "/x.bin";
                c.charTimeoutMs = 200;
                c.blockTimeoutMs = 2000;
                return std::make_unique<XmodemReceiver>(c, std::move(io));
            });
        if (r.rx == XFER_STATUS_OK) {
            EXPECT_EQ(readFile(in + "/x.bin"), data);
        }
        if (r.tx == XFER_STATUS_OK) {
            EXPECT_EQ(r.rx, XFER_STATUS_OK) << "the sender saw success the receiver did not";
        }
    }
}

} // namespace
} // namespace transvex::test

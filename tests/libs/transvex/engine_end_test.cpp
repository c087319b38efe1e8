// How every engine ends when the local side stops or the line goes: the same status,
// one XFER_ACTION_BREAK, the cancel sequence only where the protocol has one, no
// deadline left, and nothing more from a second stop.
#include "engine_pair.h"
#include "test_files.h"

#include "libs/transvex/ascii_transfer.h"
#include "libs/transvex/xmodem_receiver.h"
#include "libs/transvex/xmodem_sender.h"
#include "libs/transvex/zmodem_receiver.h"
#include "libs/transvex/zmodem_sender.h"

#include <gtest/gtest.h>

#include <memory>

namespace transvex::test {
namespace {

struct EngineKind {
    const char* name;
    bool hasCancel; // the protocol tells the peer that the local side stops
    std::function<std::unique_ptr<Engine>(const std::string& file, EngineIo io)> make;
    friend void PrintTo(const EngineKind& k, std::ostream* os) { *os << k.name; }
};

// An engine whose config names the test file (a sender's) or a new file beside it.
template <typename E, typename Config>
EngineKind withPath(const char* name, bool hasCancel, std::string suffix = "") {
    return {name, hasCancel, [suffix](const std::string& file, EngineIo io) {
                Config c;
                c.path = file + suffix;
                return std::unique_ptr<Engine>(std::make_unique<E>(c, std::move(io)));
            }};
}

const EngineKind kKinds[] = {
    withPath<XmodemSender, XmodemSenderConfig>("XmodemSender", true),
    withPath<XmodemReceiver, XmodemReceiverConfig>("XmodemReceiver", true, ".in"),
    withPath<ZmodemSender, ZmodemSenderConfig>("ZmodemSender", true),
    {"ZmodemReceiver", true,
     [](const std::string&, EngineIo io) {
         return std::unique_ptr<Engine>(
             std::make_unique<ZmodemReceiver>(ZmodemReceiverConfig{}, std::move(io)));
     }},
    withPath<AsciiSender, AsciiSenderConfig>("AsciiSender", false),
    withPath<AsciiReceiver, AsciiReceiverConfig>("AsciiReceiver", false, ".in"),
};

class EngineEnd : public ::testing::TestWithParam<EngineKind> {
protected:
    void SetUp() override {
        writeFile(dir / "file", randomBytes(4096, 7));
        EngineIo io;
        io.write = [this](std::span<const uint8_t> b) {
            line.insert(line.end(), b.begin(), b.end());
        };
        io.report = recording(log);
        engine = GetParam().make(dir / "file", std::move(io));
        engine->start(1000);
        ASSERT_FALSE(engine->finished()) << engine->stateName();
        line.clear();
    }

    // A second stop of either kind changes nothing.
    void expectStopsOnce() {
        const auto written = line;
        const size_t reports = log.entries.size();
        const int32_t status = engine->status();
        engine->abort(1002);
        engine->lineLost();
        EXPECT_EQ(line, written);
        EXPECT_EQ(log.entries.size(), reports);
        EXPECT_EQ(engine->status(), status);
    }

    ScratchDir dir;
    std::vector<uint8_t> line;
    Reports log;
    std::unique_ptr<Engine> engine;
};

TEST_P(EngineEnd, AbortCancelsThePeerAndReportsOnce) {
    engine->abort(1001);
    EXPECT_TRUE(engine->finished());
    EXPECT_EQ(engine->status(), XFER_STATUS_ABORTED);
    const auto cancel = cancelSequence();
    EXPECT_EQ(line, GetParam().hasCancel ? std::vector<uint8_t>(cancel.begin(), cancel.end())
                                         : std::vector<uint8_t>{});
    ASSERT_EQ(log.count(XFER_ACTION_BREAK), 1);
    EXPECT_EQ(log.first(XFER_ACTION_BREAK)->data, XFER_STATUS_ABORTED);
    EXPECT_EQ(engine->deadline(), UINT64_MAX);
    expectStopsOnce();
}

TEST_P(EngineEnd, LostLineEndsWithoutWritingAndReportsOnce) {
    engine->lineLost();
    EXPECT_TRUE(engine->finished());
    EXPECT_EQ(engine->status(), XFER_STATUS_LINE_LOST);
    EXPECT_TRUE(line.empty());
    ASSERT_EQ(log.count(XFER_ACTION_BREAK), 1);
    EXPECT_EQ(log.first(XFER_ACTION_BREAK)->data, XFER_STATUS_LINE_LOST);
    EXPECT_EQ(engine->deadline(), UINT64_MAX);
    expectStopsOnce();
}

// The caller's procedure stops a sender when it is offered the file, at either of the
// two questions: the sender ends aborted before anything went to the line.
TEST(EngineEndOffer, StopAtTheFileOfferAbortsTheSender) {
    ScratchDir dir;
    writeFile(dir / "file", randomBytes(100, 3));
    for (const int32_t stopAt : {XFER_ACTION_FILE_DETAILS, XFER_ACTION_SYN}) {
        std::vector<uint8_t> line;
        Reports log;
        EngineIo io;
        io.write = [&](std::span<const uint8_t> b) { line.insert(line.end(), b.begin(), b.end()); };
        io.report = recording(log, [stopAt](int32_t action, int32_t, XferFileInfo*) {
            return action == stopAt ? XFER_RESULT_STOP : XFER_RESULT_GO_ON;
        });
        XmodemSenderConfig c;
        c.path = dir / "file";
        c.mode = XmodemSenderConfig::Mode::YmodemBatch;
        XmodemSender tx(c, io);
        tx.start(1000);
        EXPECT_TRUE(tx.finished()) << stopAt;
        EXPECT_EQ(tx.status(), XFER_STATUS_ABORTED) << stopAt;
        EXPECT_TRUE(line.empty()) << stopAt;
        EXPECT_EQ(log.count(XFER_ACTION_SYN), stopAt == XFER_ACTION_SYN ? 1 : 0);
        EXPECT_EQ(log.count(XFER_ACTION_BREAK), 1) << stopAt;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryEngine, EngineEnd, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace transvex::test

// ASCII sending and receiving engines.
#include "engine_pair.h"
#include "test_files.h"

#include "libs/transvex/ascii_transfer.h"

#include <gtest/gtest.h>

namespace transvex::test {
namespace {

struct Rx {
    std::vector<uint8_t> answers;
    Reports log;
    AsciiReceiver engine;
    explicit Rx(AsciiReceiverConfig c) : engine(std::move(c), io()) {}
    EngineIo io() {
        EngineIo e;
        e.write = [this](std::span<const uint8_t> b) {
            answers.insert(answers.end(), b.begin(), b.end());
        };
        e.report = recording(log);
        return e;
    }
};

TEST(AsciiEngine, SenderPutsTheFileOnTheLineUnchanged) {
    ScratchDir dir;
    const auto data = everyByteValue();
    writeFile(dir / "t", data);
    std::vector<uint8_t> line;
    Reports log;
    EngineIo io;
    io.write = [&](std::span<const uint8_t> b) { line.insert(line.end(), b.begin(), b.end()); };
    io.report = recording(log);
    AsciiSenderConfig c;
    c.path = dir / "t";
    AsciiSender tx(c, io);
    tx.start(0);
    for (uint64_t t = 0; !tx.finished() && t < 10000; ++t) {
        tx.tick(t);
    }
    EXPECT_EQ(tx.status(), XFER_STATUS_OK);
    EXPECT_EQ(line, data);
    EXPECT_EQ(log.first(XFER_ACTION_TX_FINISHED)->data, static_cast<int32_t>(data.size()));
}

TEST(AsciiEngine, ReceiverEndsAtCtrlZOrSilence) {
    ScratchDir dir;
    {
        AsciiReceiverConfig c;
        c.path = dir / "z";
        Rx rx(c);
        rx.engine.start(0);
        const std::string text = "abc\r\n\x1A"
                                 "after";
        rx.engine.feed(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 5);
        EXPECT_EQ(rx.engine.status(), XFER_STATUS_OK);
        EXPECT_TRUE(rx.engine.finished());
        EXPECT_EQ(readFile(dir / "z"), (std::vector<uint8_t>{'a', 'b', 'c', '\r', '\n'}));
        EXPECT_EQ(rx.log.first(XFER_ACTION_RX_FINISHED)->data, 5);
    }
    {
        AsciiReceiverConfig c;
        c.path = dir / "s";
        c.keepSub = true;
        c.silenceMs = 1000;
        Rx rx(c);
        rx.engine.start(0);
        const std::vector<uint8_t> part = {'x', 0x1A, 'y'};
        rx.engine.feed(part, 100);
        rx.engine.tick(1099);
        EXPECT_FALSE(rx.engine.finished());
        rx.engine.tick(1100);
        EXPECT_EQ(rx.engine.status(), XFER_STATUS_OK);
        EXPECT_EQ(readFile(dir / "s"), part);
    }
    {
        AsciiReceiverConfig c;
        c.path = dir / "n";
        c.startMs = 500;
        Rx rx(c);
        rx.engine.start(0);
        rx.engine.tick(600);
        EXPECT_EQ(rx.engine.status(), XFER_STATUS_TIMEOUT);
    }
}

} // namespace
} // namespace transvex::test

// XMODEM, 1K XMODEM and YMODEM batch engines against each other in memory.
#include "engine_pair.h"
#include "test_files.h"

#include "libs/transvex/file_record.h"
#include "libs/transvex/xmodem_block.h"
#include "libs/transvex/xmodem_receiver.h"
#include "libs/transvex/xmodem_sender.h"
#include "libs/transvex/ymodem_header.h"

#include <gtest/gtest.h>

namespace transvex::test {
namespace {

using RxMode = XmodemReceiverConfig::Mode;
using TxMode = XmodemSenderConfig::Mode;

constexpr int64_t kMtime = 1650000000;

std::vector<uint8_t> dataWithoutTrailingSub(size_t n, uint32_t seed) {
    auto d = randomBytes(n, seed);
    if (!d.empty() && d.back() == kSub) {
        d.back() = 'x';
    }
    return d;
}

ReportFn storeIn(const ScratchDir& dir, int32_t decision = XFER_RESULT_GO_ON) {
    std::string base = dir.path().string();
    return [base, decision](int32_t action, int32_t, XferFileInfo* r) {
        if (action == XFER_ACTION_RX_HEADER) {
            setRecordName(*r, base + "/" + recordName(*r));
            return decision;
        }
        return int32_t{XFER_RESULT_GO_ON};
    };
}

struct Case {
    TxMode tx;
    RxMode rx;
    bool use1k;
};

TEST(XmodemEngine, EveryModeCarriesEdgeSizesExactly) {
    const Case cases[] = {{TxMode::Xmodem, RxMode::Checksum, false},
                          {TxMode::Xmodem, RxMode::Crc, false},
                          {TxMode::Xmodem, RxMode::Crc, true},
                          {TxMode::Xmodem1k, RxMode::Xmodem1k, false},
                          {TxMode::YmodemBatch, RxMode::YmodemBatch, false}};
    for (const Case& c : cases) {
        for (size_t size : {0u, 1u, 127u, 128u, 129u, 1023u, 1024u, 1025u, 5000u, 0xFFFFFFFFu}) {
            const bool every = size == 0xFFFFFFFFu;
            const auto data = every ? everyByteValue() : dataWithoutTrailingSub(size, 40 + size);
            SCOPED_TRACE(testing::Message()
                         << int(c.tx) << "/" << int(c.rx) << " size " << data.size());
            ScratchDir src, dst;
            writeFile(src / "x.bin", data, kMtime);
            EnginePair pair;
            Reports txLog, rxLog;
            XmodemSenderConfig sc;
            sc.path = src / "x.bin";
            sc.mode = c.tx;
            sc.use1k = c.use1k;
            XmodemReceiverConfig rc;
            rc.mode = c.rx;
            rc.path = dst / "x.bin";
            XmodemSender tx(sc, pair.ioA(recording(txLog)));
            XmodemReceiver rx(rc, pair.ioB(recording(rxLog, storeIn(dst))));
            ASSERT_TRUE(pair.run(tx, rx));
            EXPECT_EQ(tx.status(), XFER_STATUS_OK);
            EXPECT_EQ(rx.status(), XFER_STATUS_OK);
            EXPECT_EQ(readFile(dst / "x.bin"), data);
            if (c.tx == TxMode::YmodemBatch) {
                EXPECT_EQ(fileMtime(dst / "x.bin"), kMtime);
                const auto* hdr = rxLog.first(XFER_ACTION_RX_HEADER);
                ASSERT_NE(hdr, nullptr);
                EXPECT_EQ(+hdr->record.kind, XFER_KIND_YMODEM_BATCH);
                EXPECT_EQ(+hdr->record.size, static_cast<int32_t>(data.size()));
                EXPECT_EQ(txLog.count(XFER_ACTION_SYN), 1);
            }
            EXPECT_EQ(rxLog.count(XFER_ACTION_RX_FINISHED), 1);
        }
    }
}

TEST(XmodemEngine, NoisyLineNeverYieldsDifferentFileAsSuccess) {
    for (auto mode : {RxMode::Checksum, RxMode::Crc, RxMode::YmodemBatch}) {
        for (uint32_t seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE(testing::Message() << int(mode) << " seed " << seed);
            ScratchDir src, dst;
            const auto data = dataWithoutTrailingSub(40000, seed);
            writeFile(src / "n.bin", data, kMtime);
            EnginePair pair;
            pair.chunk = 64;
            pair.ab.setNoise({2e-4, 2e-4, seed});
            pair.ba.setNoise({2e-4, 2e-4, seed + 100});
            XmodemSenderConfig sc;
            sc.path = src / "n.bin";
            sc.mode = mode == RxMode::YmodemBatch ? TxMode::YmodemBatch : TxMode::Xmodem;
            XmodemReceiverConfig rc;
            rc.mode = mode;
            rc.path = dst / "n.bin";
            XmodemSender tx(sc, pair.ioA({}));
            XmodemReceiver rx(rc, pair.ioB(storeIn(dst)));
            ASSERT_TRUE(pair.run(tx, rx));
            if (rx.status() == XFER_STATUS_OK) {
                EXPECT_EQ(readFile(dst / "n.bin"), data);
            }
            EXPECT_EQ(rx.status(), XFER_STATUS_OK) << "this much noise is within the retries";
        }
    }
}

TEST(XmodemEngine, YmodemBatchCarriesSeveralFilesAcrossSendCalls) {
    ScratchDir src, dst;
    const auto a = randomBytes(3000, 1), b = randomBytes(100, 2);
    writeFile(src / "a.bin", a, kMtime);
    writeFile(src / "b.bin", b, kMtime + 60);
    EnginePair pair;
    XmodemReceiverConfig rc;
    rc.mode = RxMode::YmodemBatch;
    Reports rxLog;
    XmodemReceiver rx(rc, pair.ioB(recording(rxLog, storeIn(dst))));
    XmodemSenderConfig s1;
    s1.path = src / "a.bin";
    s1.mode = TxMode::YmodemBatch;
    XmodemSender tx1(s1, pair.ioA([](int32_t action, int32_t, XferFileInfo*) {
        return action == XFER_ACTION_TX_FINISHED ? XFER_RESULT_MORE_FILES : XFER_RESULT_GO_ON;
    }));
    pair.run(tx1, rx, 5000);
    ASSERT_TRUE(tx1.finished());
    EXPECT_EQ(tx1.status(), XFER_STATUS_OK);
    XmodemSenderConfig s2 = s1;
    s2.path = src / "b.bin";
    XmodemSender tx2(s2, pair.ioA({}));
    tx2.start(pair.now);
    for (int i = 0; i < 100000 && !(tx2.finished() && rx.finished()); ++i) {
        if (!pair.ba.empty()) {
            auto bytes = pair.ba.take(4096);
            tx2.feed(bytes, pair.now);
        }
        if (!pair.ab.empty()) {
            auto bytes = pair.ab.take(4096);
            rx.feed(bytes, pair.now);
        }
        tx2.tick(pair.now);
        rx.tick(pair.now);
        pair.now += 10;
    }
    EXPECT_EQ(rx.status(), XFER_STATUS_OK);
    EXPECT_EQ(rx.filesReceived(), 2);
    EXPECT_EQ(readFile(dst / "a.bin"), a);
    EXPECT_EQ(readFile(dst / "b.bin"), b);
    EXPECT_EQ(fileMtime(dst / "b.bin"), kMtime + 60);
}

TEST(XmodemEngine, OneKReceiverTakesABatchSenderIntoItsOwnTarget) {
    ScratchDir src, dst;
    const auto data = randomBytes(3000, 9); // not a multiple of 128: padding to trim
    writeFile(src / "sent.bin", data, kMtime);
    EnginePair pair;
    XmodemSenderConfig sc;
    sc.path = src / "sent.bin";
    sc.mode = TxMode::YmodemBatch;
    XmodemReceiverConfig rc;
    rc.mode = RxMode::Xmodem1k;
    rc.path = dst / "target.bin";
    Reports rxLog;
    XmodemSender tx(sc, pair.ioA({}));
    XmodemReceiver rx(rc, pair.ioB(recording(rxLog)));
    ASSERT_TRUE(pair.run(tx, rx));
    EXPECT_EQ(rx.status(), XFER_STATUS_OK);
    EXPECT_EQ(tx.status(), XFER_STATUS_OK);
    EXPECT_EQ(readFile(dst / "target.bin"), data);
    EXPECT_EQ(rxLog.count(XFER_ACTION_RX_HEADER), 0) << "the target is fixed, no name asked";
    EXPECT_FALSE(std::filesystem::exists(dst / "sent.bin"));
}

// Feeds a receiver hand-made blocks and collects its answers.
struct ScriptedReceiver {
    std::vector<uint8_t> answers;
    Reports log;
    ScratchDir dir;
    XmodemReceiver rx;
    explicit ScriptedReceiver(RxMode mode, const std::string& target = "")
        : rx(config(mode, target), io()) {}
    XmodemReceiverConfig config(RxMode mode, const std::string& target) {
        XmodemReceiverConfig c;
        c.mode = mode;
        c.path = target;
        return c;
    }
    EngineIo io() {
        EngineIo e;
        e.write = [this](std::span<const uint8_t> b) {
            answers.insert(answers.end(), b.begin(), b.end());
        };
        e.report = recording(log, storeIn(dir));
        return e;
    }
    void feed(const std::vector<uint8_t>& bytes, uint64_t now = 1) { rx.feed(bytes, now); }
    void header(const std::vector<uint8_t>& payload) {
        std::vector<uint8_t> p = payload;
        p.resize(128, 0);
        feed(buildXmodemBlock(0, p, true, 0));
    }
};

TEST(XmodemEngine, RefusedNamesAreReadButNeverWritten) {
    for (std::string bad : {"../up.txt", "/etc/passwd", "a/../../b", "C:\\x.txt", "tab\tname"}) {
        SCOPED_TRACE(bad);
        ScriptedReceiver s(RxMode::YmodemBatch);
        s.rx.start(0);
        s.header(buildFileHeader(bad, 5, kMtime, 0644));
        EXPECT_EQ(s.log.count(XFER_ACTION_RX_HEADER), 0);
        ASSERT_EQ(s.log.count(XFER_ACTION_BREAK), 1);
        EXPECT_EQ(s.log.first(XFER_ACTION_BREAK)->data, XFER_STATUS_BAD_NAME);
        std::vector<uint8_t> data = {'h', 'e', 'l', 'l', 'o'};
        s.feed(buildXmodemBlock(1, data, true, kSub));
        s.feed({kEot});
        s.feed({kEot});
        s.header({});
        EXPECT_TRUE(s.rx.finished());
        EXPECT_EQ(s.rx.status(), XFER_STATUS_BAD_NAME);
        EXPECT_TRUE(std::filesystem::is_empty(s.dir.path()));
    }
}

TEST(XmodemEngine, HeaderWithUnreadableSizeCancelsTheSession) {
    ScriptedReceiver s(RxMode::YmodemBatch);
    s.rx.start(0);
    std::vector<uint8_t> p = {'a', 0, '1', '2', 'x', ' ', '0'};
    s.header(p);
    EXPECT_TRUE(s.rx.finished());
    EXPECT_EQ(s.rx.status(), XFER_STATUS_PROTOCOL_ERROR);
    EXPECT_NE(std::search(s.answers.begin(), s.answers.end(), cancelSequence().begin(),
                          cancelSequence().end()),
              s.answers.end());
}

TEST(XmodemEngine, FileShorterThanAnnouncedIsAFailure) {
    ScriptedReceiver s(RxMode::YmodemBatch);
    s.rx.start(0);
    s.header(buildFileHeader("short.bin", 500, kMtime, 0644));
    s.feed(buildXmodemBlock(1, randomBytes(128, 3), true, kSub));
    s.feed({kEot});
    s.feed({kEot});
    s.header({});
    EXPECT_TRUE(s.rx.finished());
    EXPECT_EQ(s.rx.status(), XFER_STATUS_SIZE_MISMATCH);
    EXPECT_EQ(s.log.count(XFER_ACTION_RX_FINISHED), 0);
}

TEST(XmodemEngine, SingleEotIsConfirmedBeforeTheFileEnds) {
    ScratchDir dir;
    ScriptedReceiver s(RxMode::Crc, dir / "t.bin");
    s.rx.start(0);
    s.answers.clear();
    s.feed(buildXmodemBlock(1, std::vector<uint8_t>(128, 'a'), true, kSub));
    s.feed({kEot});
    EXPECT_FALSE(s.rx.finished());
    EXPECT_EQ(s.answers, (std::vector<uint8_t>{kAck, kNak}));
    // The "EOT" was a damaged block start: the real block comes and counts.
    s.feed(buildXmodemBlock(2, std::vector<uint8_t>(10, 'b'), true, kSub));
    s.feed({kEot});
    s.feed({kEot});
    EXPECT_EQ(s.rx.status(), XFER_STATUS_OK);
    std::vector<uint8_t> want(128, 'a');
    want.insert(want.end(), 10, 'b');
    EXPECT_EQ(readFile(dir / "t.bin"), want);
}

TEST(XmodemEngine, DuplicateBlockIsAcknowledgedAndDropped) {
    ScratchDir dir;
    ScriptedReceiver s(RxMode::Checksum, dir / "d.bin");
    s.rx.start(0);
    const auto block = buildXmodemBlock(1, std::vector<uint8_t>(128, 'z'), false, kSub);
    s.feed(block);
    s.feed(block);
    s.feed({kEot});
    s.feed({kEot});
    EXPECT_EQ(s.rx.status(), XFER_STATUS_OK);
    EXPECT_EQ(readFile(dir / "d.bin"), std::vector<uint8_t>(128, 'z'));
}

TEST(XmodemEngine, BlockOutOfSequenceCancels) {
    ScratchDir dir;
    ScriptedReceiver s(RxMode::Crc, dir / "o.bin");
    s.rx.start(0);
    s.feed(buildXmodemBlock(5, std::vector<uint8_t>(128, 'z'), true, kSub));
    EXPECT_EQ(s.rx.status(), XFER_STATUS_PROTOCOL_ERROR);
}

TEST(XmodemEngine, PeerCancelIsReported) {
    ScratchDir dir;
    ScriptedReceiver s(RxMode::Crc, dir / "c.bin");
    s.rx.start(0);
    s.feed({kCan, kCan});
    EXPECT_EQ(s.rx.status(), XFER_STATUS_PEER_CANCELLED);
    EXPECT_EQ(s.log.first(XFER_ACTION_BREAK)->data, XFER_STATUS_PEER_CANCELLED);
}

TEST(XmodemEngine, CrcReceiverFallsBackToChecksumAndTimesOut) {
    ScratchDir dir;
    ScriptedReceiver s(RxMode::Crc, dir / "f.bin");
    s.rx.start(0);
    for (uint64_t t = 0; t <= 3000 * 4; t += 3000) {
        s.rx.tick(t);
    }
    ASSERT_GE(s.answers.size(), 5u);
    EXPECT_EQ(s.answers[0], 'C');
    EXPECT_EQ(s.answers[2], 'C');
    EXPECT_EQ(s.answers[3], kNak);
    for (uint64_t t = 3000 * 5; !s.rx.finished() && t < 3000 * 40; t += 3000) {
        s.rx.tick(t);
    }
    EXPECT_EQ(s.rx.status(), XFER_STATUS_TIMEOUT);
    EXPECT_FALSE(std::filesystem::exists(dir / "f.bin")) << "nothing received, nothing created";
}

TEST(XmodemEngine, SenderGivesUpAfterRepeatedNaks) {
    ScratchDir src;
    writeFile(src / "s.bin", randomBytes(300, 1));
    std::vector<uint8_t> sent;
    EngineIo io;
    io.write = [&](std::span<const uint8_t> b) { sent.insert(sent.end(), b.begin(), b.end()); };
    Reports log;
    io.report = recording(log);
    XmodemSenderConfig c;
    c.path = src / "s.bin";
    c.maxRetries = 3;
    XmodemSender tx(c, io);
    tx.start(0);
    std::vector<uint8_t> naks(5, kNak);
    tx.feed(naks, 1);
    EXPECT_EQ(tx.status(), XFER_STATUS_TOO_MANY_ERRORS);
    EXPECT_EQ(log.count(XFER_ACTION_RETRY), 3);
}

} // namespace
} // namespace transvex::test

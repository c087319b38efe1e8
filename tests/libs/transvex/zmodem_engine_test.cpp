// ZMODEM sender and receiver engines against each other in memory.
#include "engine_pair.h"
#include "test_files.h"

#include "libs/transvex/crc32.h"
#include "libs/transvex/file_record.h"
#include "libs/transvex/ymodem_header.h"
#include "libs/transvex/zmodem_frame.h"
#include "libs/transvex/zmodem_receiver.h"
#include "libs/transvex/zmodem_sender.h"

#include <gtest/gtest.h>

namespace transvex::test {
namespace {

constexpr int64_t kMtime = 1700000000; // an even second, any zone

// A receiver's file-info procedure that stores files in dir, deciding with decision.
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

// The header types in what one side wrote, in order.
std::vector<uint8_t> headerTypes(const std::vector<uint8_t>& wire) {
    std::vector<uint8_t> types;
    ZFrameParser parser;
    parser.push(wire, [&](const ZFrameParser::Event& ev) {
        if (ev.kind == ZFrameParser::Kind::Header) {
            types.push_back(ev.header.type);
        }
    });
    return types;
}

struct Transfer {
    ScratchDir src, dst;
    Reports txLog, rxLog;
    EnginePair pair;
    ZmodemSenderConfig scfg;
    ZmodemReceiverConfig rcfg;
    int32_t decision = XFER_RESULT_GO_ON;
    int32_t txStatus = 1, rxStatus = 1;
    int rxRetries = 0;

    std::string put(const std::vector<uint8_t>& data, const std::string& name = "f.bin") {
        const std::string p = src / name;
        writeFile(p, data, kMtime);
        scfg.path = p;
        return p;
    }
    bool run(uint64_t limitMs = 600000) {
        ZmodemSender tx(scfg, pair.ioA(recording(txLog)));
        ZmodemReceiver rx(rcfg, pair.ioB(recording(rxLog, storeIn(dst, decision))));
        const bool done = pair.run(tx, rx, limitMs);
        txStatus = tx.status();
        rxStatus = rx.status();
        return done;
    }
};

TEST(ZmodemEngine, FilesOfEveryEdgeSizeArriveWhole) {
    for (size_t size : {0u, 1u, 127u, 128u, 1023u, 1024u, 8191u, 8192u, 8193u, 100000u}) {
        SCOPED_TRACE(size);
        Transfer t;
        const auto data = randomBytes(size, static_cast<uint32_t>(size) + 7);
        t.put(data, "edge.bin");
        ASSERT_TRUE(t.run());
        EXPECT_EQ(t.txStatus, XFER_STATUS_OK);
        EXPECT_EQ(t.rxStatus, XFER_STATUS_OK);
        EXPECT_EQ(readFile(t.dst / "edge.bin"), data);
        EXPECT_EQ(fileMtime(t.dst / "edge.bin"), kMtime);
        const auto* hdr = t.rxLog.first(XFER_ACTION_RX_HEADER);
        ASSERT_NE(hdr, nullptr);
        EXPECT_EQ(+hdr->record.size, static_cast<int32_t>(size));
        EXPECT_EQ(+hdr->record.kind, XFER_KIND_ZMODEM);
        EXPECT_EQ(recordTime(hdr->record), kMtime);
        const auto* fin = t.rxLog.first(XFER_ACTION_RX_FINISHED);
        ASSERT_NE(fin, nullptr);
        EXPECT_EQ(fin->data, static_cast<int32_t>(size));
        ASSERT_EQ(t.txLog.count(XFER_ACTION_TX_FINISHED), 1);
        EXPECT_EQ(t.txLog.first(XFER_ACTION_TX_FINISHED)->data, static_cast<int32_t>(size));
    }
}

TEST(ZmodemEngine, EveryByteValueWithAndWithoutControlEscaping) {
    for (bool escape : {false, true}) {
        SCOPED_TRACE(escape);
        Transfer t;
        const auto data = everyByteValue();
        t.put(data);
        t.scfg.options = XFER_OPT_REPLACE | (escape ? XFER_OPT_ESCAPE_CONTROL : 0);
        ASSERT_TRUE(t.run());
        EXPECT_EQ(readFile(t.dst / "f.bin"), data);
        // Once the session is set up, no bare control character may travel except the
        // framing's own ZDLE and hex headers' CR, LF and XON.
        const auto& wire = t.pair.ab.all();
        size_t controls = 0;
        for (uint8_t b : wire) {
            const bool control = (b & 0x60) == 0;
            if (control && b != kZdle && b != '\r' && b != 0x8A && b != 0x11 && b != '\n') {
                ++controls;
            }
        }
        if (escape) {
            EXPECT_EQ(controls, 0u);
        } else {
            EXPECT_GT(controls, 0u);
        }
    }
}

TEST(ZmodemEngine, NoisyLineEndsWithIdenticalFile) {
    for (double rate : {1e-3, 1e-4}) {
        SCOPED_TRACE(rate);
        Transfer t;
        const auto data = randomBytes(300000, 99);
        t.put(data);
        t.pair.ab.setNoise({rate, rate, 5});
        t.pair.ba.setNoise({rate, rate, 6});
        ASSERT_TRUE(t.run());
        EXPECT_EQ(t.txStatus, XFER_STATUS_OK);
        EXPECT_EQ(t.rxStatus, XFER_STATUS_OK);
        EXPECT_EQ(readFile(t.dst / "f.bin"), data);
        EXPECT_GT(t.txLog.count(XFER_ACTION_RETRY) + t.rxLog.count(XFER_ACTION_RETRY), 0);
    }
}

TEST(ZmodemEngine, RetryCountStartsAgainWhenDataMovesOn) {
    // With at most 4 errors allowed in a row, a long noisy transfer (some 80 errors)
    // only succeeds when progress resets the count.
    Transfer t;
    const auto data = randomBytes(400000, 3);
    t.put(data);
    t.scfg.maxRetries = 4;
    t.rcfg.maxRetries = 4;
    t.pair.ab.setNoise({2e-4, 0, 11});
    ASSERT_TRUE(t.run());
    EXPECT_EQ(t.rxStatus, XFER_STATUS_OK);
    EXPECT_EQ(readFile(t.dst / "f.bin"), data);
    EXPECT_GT(t.rxLog.count(XFER_ACTION_RETRY), 20);
    int maxRetry = 0;
    for (const auto& e : t.rxLog.entries) {
        if (e.action == XFER_ACTION_RETRY) {
            maxRetry = std::max(maxRetry, e.data);
        }
    }
    EXPECT_LE(maxRetry, 4);
}

TEST(ZmodemEngine, DeadLineGivesUpWithTooManyErrors) {
    Transfer t;
    t.put(randomBytes(50000, 4));
    t.scfg.maxRetries = 4;
    t.rcfg.maxRetries = 4;
    bool corrupt = false;
    ZmodemSender tx(t.scfg, t.pair.ioA(recording(t.txLog)));
    ZmodemReceiver rx(t.rcfg, t.pair.ioB(recording(t.rxLog, storeIn(t.dst))));
    // Once data flows, every byte towards the receiver is damaged.
    ASSERT_TRUE(t.pair.run(tx, rx, 600000, [&](EnginePair& p) {
        if (!corrupt && rx.state() == ZmodemReceiver::State::Receiving) {
            corrupt = true;
            p.ab.setNoise({1.0, 0, 1});
        }
    }));
    EXPECT_NE(rx.status(), XFER_STATUS_OK);
    EXPECT_NE(tx.status(), XFER_STATUS_OK);
}

TEST(ZmodemEngine, InterruptedTransferResumesFromPartialFile) {
    Transfer t;
    const auto data = randomBytes(200000, 21);
    t.put(data);
    {
        // First attempt: the receiver stops half-way, as if the line dropped.
        ZmodemSender tx(t.scfg, t.pair.ioA(recording(t.txLog)));
        ZmodemReceiver rx(t.rcfg, t.pair.ioB(recording(t.rxLog, storeIn(t.dst))));
        bool cut = false;
        t.pair.run(tx, rx, 600000, [&](EnginePair& p) {
            if (!cut && std::filesystem::exists(t.dst / "f.bin") &&
                std::filesystem::file_size(t.dst / "f.bin") >= 100000) {
                cut = true;
                rx.abort(p.now);
            }
        });
        ASSERT_TRUE(cut);
        EXPECT_EQ(rx.status(), XFER_STATUS_ABORTED);
        EXPECT_EQ(tx.status(), XFER_STATUS_PEER_CANCELLED);
    }
    const auto partial = readFile(t.dst / "f.bin");
    ASSERT_GT(partial.size(), 0u);
    ASSERT_LT(partial.size(), data.size());
    ASSERT_TRUE(std::equal(partial.begin(), partial.end(), data.begin()));

    Transfer again;
    again.scfg = t.scfg;
    again.decision = XFER_RESULT_RESUME;
    std::filesystem::copy_file(t.dst / "f.bin", again.dst / "f.bin");
    ASSERT_TRUE(again.run());
    EXPECT_EQ(again.rxStatus, XFER_STATUS_OK);
    EXPECT_EQ(readFile(again.dst / "f.bin"), data);
    // Only the rest travelled: the sender's first progress report is the resume point.
    const auto* first = again.txLog.first(XFER_ACTION_TX_PROGRESS);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->data, static_cast<int32_t>(partial.size()));
    EXPECT_LT(again.pair.ab.all().size(), data.size() - partial.size() + 20000);
}

TEST(ZmodemEngine, SkippedFileIsNotWrittenAndSenderCompletes) {
    Transfer t;
    t.put(randomBytes(5000, 8));
    t.decision = XFER_RESULT_STOP;
    ASSERT_TRUE(t.run());
    EXPECT_EQ(t.txStatus, XFER_STATUS_OK);
    EXPECT_EQ(t.rxStatus, XFER_STATUS_OK);
    EXPECT_FALSE(std::filesystem::exists(t.dst / "f.bin"));
    // The sender tells a skip from a sent file: nothing was confirmed.
    EXPECT_EQ(t.txLog.count(XFER_ACTION_TX_FINISHED), 0);
    ASSERT_EQ(t.txLog.count(XFER_ACTION_TX_SKIPPED), 1);
    EXPECT_EQ(t.txLog.first(XFER_ACTION_TX_SKIPPED)->data, 0);
    EXPECT_EQ(+t.txLog.first(XFER_ACTION_TX_SKIPPED)->record.size, 5000);
    for (const auto& e : t.txLog.entries) {
        EXPECT_FALSE(e.action == XFER_ACTION_TX_PROGRESS && e.data != 0) << "no bytes claimed sent";
    }
    EXPECT_EQ(headerTypes(t.pair.ab.all()), (std::vector<uint8_t>{ZRQINIT, ZFILE, ZFIN}));
}

TEST(ZmodemEngine, NothingLeftToSendStillGoesAsAnEmptyDataFrame) {
    // An empty file: the receiver sees ZDATA at 0 with one empty subpacket, then ZEOF.
    Transfer empty;
    empty.put({}, "empty.bin");
    ASSERT_TRUE(empty.run());
    EXPECT_EQ(empty.rxStatus, XFER_STATUS_OK);
    EXPECT_TRUE(std::filesystem::exists(empty.dst / "empty.bin"));
    EXPECT_EQ(std::filesystem::file_size(empty.dst / "empty.bin"), 0u);
    EXPECT_EQ(headerTypes(empty.pair.ab.all()),
              (std::vector<uint8_t>{ZRQINIT, ZFILE, ZDATA, ZEOF, ZFIN}));
    ASSERT_EQ(empty.txLog.count(XFER_ACTION_TX_FINISHED), 1);

    // A receiver that already holds all of it asks for the end: the same frame there.
    Transfer whole;
    const auto data = randomBytes(3000, 5);
    whole.put(data);
    writeFile(whole.dst / "f.bin", data);
    whole.decision = XFER_RESULT_RESUME;
    ASSERT_TRUE(whole.run());
    EXPECT_EQ(whole.rxStatus, XFER_STATUS_OK);
    EXPECT_EQ(readFile(whole.dst / "f.bin"), data);
    EXPECT_EQ(headerTypes(whole.pair.ab.all()),
              (std::vector<uint8_t>{ZRQINIT, ZFILE, ZCRC, ZDATA, ZEOF, ZFIN}));
}

TEST(ZmodemEngine, TheNextFileOfAnOpenSessionStartsWithItsZfile) {
    ScratchDir src, dst;
    const auto a = randomBytes(3000, 1), b = randomBytes(7000, 2);
    writeFile(src / "a.bin", a, kMtime);
    writeFile(src / "b.bin", b, kMtime);
    EnginePair pair;
    Reports rxLog, txLog;
    ZmodemReceiver rx({}, pair.ioB(recording(rxLog, storeIn(dst))));
    auto more = [](int32_t action, int32_t, XferFileInfo*) {
        return action == XFER_ACTION_TX_FINISHED ? XFER_RESULT_MORE_FILES : XFER_RESULT_GO_ON;
    };
    ZmodemSenderConfig c1;
    c1.path = src / "a.bin";
    c1.options |= XFER_OPT_ESCAPE_CONTROL;
    ZmodemSender tx1(c1, pair.ioA(recording(txLog, more)));
    pair.run(tx1, rx, 20000);
    ASSERT_EQ(tx1.status(), XFER_STATUS_OK);
    const auto session = tx1.sessionLeftOpen();
    ASSERT_TRUE(session.has_value());
    EXPECT_TRUE(session->escapeAnnounced);
    const size_t firstFileBytes = pair.ab.all().size();

    ZmodemSenderConfig c2;
    c2.path = src / "b.bin";
    c2.options |= XFER_OPT_ESCAPE_CONTROL;
    c2.session = session;
    ZmodemSender tx2(c2, pair.ioA(recording(txLog)));
    tx2.start(pair.now);
    pair.runStarted(tx2, rx, 60000);
    EXPECT_EQ(tx2.status(), XFER_STATUS_OK);
    EXPECT_EQ(rx.status(), XFER_STATUS_OK);
    EXPECT_FALSE(tx2.sessionLeftOpen().has_value()) << "the last file closed the session";
    EXPECT_EQ(readFile(dst / "b.bin"), b);
    const std::vector<uint8_t> second(pair.ab.all().begin() + static_cast<long>(firstFileBytes),
                                      pair.ab.all().end());
    // No "rz", no ZRQINIT, no second ZSINIT: straight to the file, and one ZFIN.
    EXPECT_EQ(headerTypes(second), (std::vector<uint8_t>{ZFILE, ZDATA, ZEOF, ZFIN}));
    EXPECT_EQ(std::string(second.begin(), second.begin() + 2).find("rz"), std::string::npos);
    EXPECT_EQ(std::string(pair.ab.all().end() - 2, pair.ab.all().end()), "OO");

    // A file that cannot be read leaves the session to the next sender untouched.
    ZmodemSenderConfig c3;
    c3.path = src / "missing.bin";
    c3.session = session;
    ZmodemSender tx3(c3, pair.ioA({}));
    tx3.start(pair.now);
    EXPECT_EQ(tx3.status(), XFER_STATUS_FILE_ERROR);
    ASSERT_TRUE(tx3.sessionLeftOpen().has_value());
    EXPECT_EQ(tx3.sessionLeftOpen()->rxFlags, session->rxFlags);
}

TEST(ZmodemEngine, MoreFilesResultKeepsSessionOpenForNextSender) {
    ScratchDir src, dst;
    const auto a = randomBytes(3000, 1), b = randomBytes(7000, 2);
    writeFile(src / "a.bin", a, kMtime);
    writeFile(src / "b.bin", b, kMtime);
    EnginePair pair;
    Reports rxLog, txLog;
    ZmodemReceiver rx({}, pair.ioB(recording(rxLog, storeIn(dst))));
    ZmodemSenderConfig c1;
    c1.path = src / "a.bin";
    ZmodemSender tx1(c1, pair.ioA(recording(txLog, [](int32_t action, int32_t, XferFileInfo*) {
        return action == XFER_ACTION_TX_FINISHED ? XFER_RESULT_MORE_FILES : XFER_RESULT_GO_ON;
    })));
    // The receiver runs on while the first sender finishes without ZFIN.
    pair.run(tx1, rx, 20000, [](EnginePair&) {});
    EXPECT_TRUE(tx1.finished());
    EXPECT_EQ(tx1.status(), XFER_STATUS_OK);
    EXPECT_FALSE(rx.finished());
    ZmodemSenderConfig c2;
    c2.path = src / "b.bin";
    ZmodemSender tx2(c2, pair.ioA(recording(txLog)));
    tx2.start(pair.now);
    for (int i = 0; i < 200000 && !(tx2.finished() && rx.finished()); ++i) {
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
        pair.now += 1;
    }
    EXPECT_EQ(tx2.status(), XFER_STATUS_OK);
    EXPECT_EQ(rx.status(), XFER_STATUS_OK);
    EXPECT_EQ(rx.filesReceived(), 2);
    EXPECT_EQ(readFile(dst / "a.bin"), a);
    EXPECT_EQ(readFile(dst / "b.bin"), b);
}

TEST(ZmodemEngine, ReceiverHonoursNothingButTheAnnouncedBuffer) {
    Transfer t;
    const auto data = randomBytes(20000, 12);
    t.put(data);
    t.rcfg.bufferSize = 1024;
    ASSERT_TRUE(t.run());
    EXPECT_EQ(readFile(t.dst / "f.bin"), data);
    // Read back what the sender put on the line: no frame may carry more than the
    // receiver's buffer before a ZCRCW or ZCRCE.
    ZFrameParser parser;
    size_t inFrame = 0, maxInFrame = 0;
    parser.push(t.pair.ab.all(), [&](const ZFrameParser::Event& ev) {
        if (ev.kind == ZFrameParser::Kind::Header && ev.header.type == ZDATA) {
            inFrame = 0;
        } else if (ev.kind == ZFrameParser::Kind::Data) {
            inFrame += ev.data.size();
            maxInFrame = std::max(maxInFrame, inFrame);
            if (ev.frameEnd == kZcrcw || ev.frameEnd == kZcrce) {
                inFrame = 0;
            }
        }
    });
    EXPECT_LE(maxInFrame, 1024u);
}

TEST(ZmodemEngine, AbortSendsCancelAndPeerReportsIt) {
    Transfer t;
    t.put(randomBytes(100000, 13));
    ZmodemSender tx(t.scfg, t.pair.ioA(recording(t.txLog)));
    ZmodemReceiver rx(t.rcfg, t.pair.ioB(recording(t.rxLog, storeIn(t.dst))));
    bool aborted = false;
    ASSERT_TRUE(t.pair.run(tx, rx, 60000, [&](EnginePair& p) {
        if (!aborted && tx.bytesAcknowledged() > 20000) {
            aborted = true;
            tx.abort(p.now);
        }
    }));
    EXPECT_EQ(tx.status(), XFER_STATUS_ABORTED);
    EXPECT_EQ(rx.status(), XFER_STATUS_PEER_CANCELLED);
    EXPECT_EQ(t.txLog.first(XFER_ACTION_BREAK)->data, XFER_STATUS_ABORTED);
    EXPECT_EQ(t.rxLog.first(XFER_ACTION_BREAK)->data, XFER_STATUS_PEER_CANCELLED);
}

TEST(ZmodemEngine, ProgressStopResultAbortsTheTransfer) {
    Transfer t;
    t.put(randomBytes(100000, 14));
    ZmodemSender tx(
        t.scfg, t.pair.ioA(recording(t.txLog, [](int32_t action, int32_t data, XferFileInfo*) {
            return action == XFER_ACTION_TX_PROGRESS && data > 10000 ? XFER_RESULT_STOP
                                                                     : XFER_RESULT_GO_ON;
        })));
    ZmodemReceiver rx(t.rcfg, t.pair.ioB(recording(t.rxLog, storeIn(t.dst))));
    ASSERT_TRUE(t.pair.run(tx, rx));
    EXPECT_EQ(tx.status(), XFER_STATUS_ABORTED);
    EXPECT_EQ(rx.status(), XFER_STATUS_PEER_CANCELLED);
}

TEST(ZmodemEngine, SilentReceiverTimesOut) {
    ScratchDir src;
    writeFile(src / "f", randomBytes(10, 1));
    EnginePair pair;
    ZmodemSenderConfig c;
    c.path = src / "f";
    c.initTries = 3;
    std::vector<uint8_t> sent;
    EngineIo io;
    io.write = [&](std::span<const uint8_t> b) { sent.insert(sent.end(), b.begin(), b.end()); };
    ZmodemSender tx(c, io);
    tx.start(0);
    for (uint64_t t = 0; t < 100000 && !tx.finished(); t += 100) {
        tx.tick(t);
    }
    EXPECT_TRUE(tx.finished());
    EXPECT_EQ(tx.status(), XFER_STATUS_TIMEOUT);
}

// A receiver fed hand-made frames, its answers parsed back.
struct ScriptedZmodemReceiver {
    ScratchDir dir;
    Reports log;
    std::vector<ZHeader> answers;
    ZFrameParser answerParser{true};
    ZdleEncoder enc;
    ZmodemReceiver rx;
    explicit ScriptedZmodemReceiver(int32_t decision = XFER_RESULT_GO_ON,
                                    ZmodemReceiverConfig cfg = {})
        : rx(cfg, io(decision)) {
        rx.start(0);
    }
    EngineIo io(int32_t decision) {
        EngineIo e;
        e.write = [this](std::span<const uint8_t> b) {
            answerParser.push(b, [this](const ZFrameParser::Event& ev) {
                if (ev.kind == ZFrameParser::Kind::Header) {
                    answers.push_back(ev.header);
                }
            });
        };
        e.report = recording(log, storeIn(dir, decision));
        return e;
    }
    void zfile(const std::vector<uint8_t>& info) {
        std::vector<uint8_t> wire;
        appendBinaryHeader(ZHeader::withFlags(ZFILE, kZcBin), true, enc, wire);
        appendSubpacket(info, kZcrcw, true, enc, wire);
        rx.feed(wire, 10);
    }
    uint8_t lastAnswer() const { return answers.empty() ? 0xFF : answers.back().type; }
    void header(const ZHeader& h, uint64_t now) {
        std::vector<uint8_t> wire;
        appendBinaryHeader(h, true, enc, wire);
        rx.feed(wire, now);
    }
};

TEST(ZmodemEngine, ResumeContinuesOnlyTheSameFile) {
    const auto theirs = randomBytes(20000, 40);
    const std::vector<uint8_t> head(theirs.begin(), theirs.begin() + 8000);
    const auto info = buildFileHeader("r.bin", theirs.size(), kMtime, 0644);

    // Both answers the sender may give to the ZCRC for the local 8000 bytes.
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same);
        ScriptedZmodemReceiver s(XFER_RESULT_RESUME);
        writeFile(s.dir / "r.bin", same ? head : randomBytes(8000, 41));
        s.zfile(info);
        ASSERT_EQ(s.lastAnswer(), ZCRC);
        EXPECT_EQ(s.answers.back().position(), 8000u);
        s.header(ZHeader::withPosition(ZCRC, crc32(head)), 20);
        ASSERT_EQ(s.lastAnswer(), ZRPOS);
        EXPECT_EQ(s.answers.back().position(), same ? 8000u : 0u);
        EXPECT_EQ(std::filesystem::file_size(s.dir / "r.bin"), same ? 8000u : 0u);
    }

    // A sender that answers with something else, here its ZFILE again: received anew.
    {
        ScriptedZmodemReceiver s(XFER_RESULT_RESUME);
        writeFile(s.dir / "r.bin", head);
        s.zfile(info);
        ASSERT_EQ(s.lastAnswer(), ZCRC);
        s.zfile(info);
        ASSERT_EQ(s.lastAnswer(), ZRPOS);
        EXPECT_EQ(s.answers.back().position(), 0u);
    }

    // A sender that never answers: asked crcTries times, then received anew.
    {
        ZmodemReceiverConfig cfg;
        cfg.crcTimeoutMs = 1000;
        cfg.crcTries = 3;
        ScriptedZmodemReceiver s(XFER_RESULT_RESUME, cfg);
        writeFile(s.dir / "r.bin", head);
        s.zfile(info);
        for (uint64_t t = 10; t < 10000 && s.lastAnswer() == ZCRC; t += 100) {
            s.rx.tick(t);
        }
        int asked = 0;
        for (const auto& h : s.answers) {
            asked += h.type == ZCRC;
        }
        EXPECT_EQ(asked, 3);
        ASSERT_EQ(s.lastAnswer(), ZRPOS);
        EXPECT_EQ(s.answers.back().position(), 0u);
    }

    // The sender ends the session instead: the local file stays as it was.
    {
        ScriptedZmodemReceiver s(XFER_RESULT_RESUME);
        writeFile(s.dir / "r.bin", head);
        s.zfile(info);
        std::vector<uint8_t> wire;
        appendHexHeader(ZHeader::withPosition(ZFIN, 0), wire);
        s.rx.feed(wire, 20);
        EXPECT_EQ(s.lastAnswer(), ZFIN);
        EXPECT_EQ(readFile(s.dir / "r.bin"), head);
    }
}

TEST(ZmodemEngine, OurSenderAnswersTheCrcSoAnUnrelatedLocalFileIsReplaced) {
    Transfer t;
    const auto data = randomBytes(50000, 42);
    t.put(data);
    writeFile(t.dst / "f.bin", randomBytes(20000, 43)); // same name, another file
    t.decision = XFER_RESULT_RESUME;
    ASSERT_TRUE(t.run());
    EXPECT_EQ(t.rxStatus, XFER_STATUS_OK);
    EXPECT_EQ(readFile(t.dst / "f.bin"), data);
    ASSERT_EQ(t.rxLog.count(XFER_ACTION_RX_FINISHED), 1);
    EXPECT_EQ(t.rxLog.first(XFER_ACTION_RX_FINISHED)->data, 50000);
}

TEST(ZmodemEngine, RefusedNamesAreSkippedAndNothingIsWritten) {
    for (const std::string& bad : std::vector<std::string>{"../x", "/etc/passwd", "a/../../b", "",
                                                           "C:\\evil", std::string(600, 'n')}) {
        SCOPED_TRACE(bad.substr(0, 20));
        ScriptedZmodemReceiver s;
        s.zfile(buildFileHeader(bad, 3, kMtime, 0644));
        EXPECT_EQ(s.lastAnswer(), ZSKIP);
        EXPECT_EQ(s.log.count(XFER_ACTION_RX_HEADER), 0);
        ASSERT_NE(s.log.first(XFER_ACTION_BREAK), nullptr);
        EXPECT_EQ(s.log.first(XFER_ACTION_BREAK)->data, XFER_STATUS_BAD_NAME);
        EXPECT_TRUE(std::filesystem::is_empty(s.dir.path()));
        EXPECT_FALSE(s.rx.finished()) << "the session goes on with the next file";
    }
    ScriptedZmodemReceiver s;
    std::vector<uint8_t> badSize = {'a', 0, '1', 'x'};
    s.zfile(badSize);
    EXPECT_EQ(s.lastAnswer(), ZSKIP);
    EXPECT_EQ(s.log.first(XFER_ACTION_BREAK)->data, XFER_STATUS_PROTOCOL_ERROR);
}

TEST(ZmodemEngine, OversizedSubpacketIsRefusedAndNotWritten) {
    ScriptedZmodemReceiver s;
    s.zfile(buildFileHeader("big.bin", 9000, kMtime, 0644));
    ASSERT_EQ(s.lastAnswer(), ZRPOS);
    std::vector<uint8_t> wire;
    appendBinaryHeader(ZHeader::withPosition(ZDATA, 0), true, s.enc, wire);
    appendSubpacket(std::vector<uint8_t>(9000, 'q'), kZcrcg, true, s.enc, wire);
    s.rx.feed(wire, 20);
    EXPECT_EQ(s.lastAnswer(), ZRPOS);
    EXPECT_EQ(s.answers.back().position(), 0u);
    EXPECT_EQ(std::filesystem::file_size(s.dir / "big.bin"), 0u);
    EXPECT_EQ(s.log.count(XFER_ACTION_RETRY), 1);
}

TEST(ZmodemEngine, SenderStartingOverMidFileGetsAFreshStart) {
    ScriptedZmodemReceiver s;
    s.zfile(buildFileHeader("part.bin", 5000, kMtime, 0644));
    ASSERT_EQ(s.lastAnswer(), ZRPOS);
    std::vector<uint8_t> wire;
    appendBinaryHeader(ZHeader::withPosition(ZDATA, 0), true, s.enc, wire);
    appendSubpacket(std::vector<uint8_t>(100, 'p'), kZcrce, true, s.enc, wire);
    appendHexHeader(ZHeader::withPosition(ZRQINIT, 0), wire);
    s.rx.feed(wire, 20);
    EXPECT_EQ(s.lastAnswer(), ZRINIT);
    EXPECT_EQ(s.log.first(XFER_ACTION_BREAK)->data, XFER_STATUS_PROTOCOL_ERROR);
    EXPECT_EQ(std::filesystem::file_size(s.dir / "part.bin"), 100u) << "the partial file stays";
    s.zfile(buildFileHeader("part.bin", 5000, kMtime, 0644));
    EXPECT_EQ(s.lastAnswer(), ZRPOS) << "the same file is offered again and taken";
}

TEST(ZmodemEngine, MissingFileFailsWithoutTouchingTheLine) {
    std::vector<uint8_t> sent;
    EngineIo io;
    io.write = [&](std::span<const uint8_t> b) { sent.insert(sent.end(), b.begin(), b.end()); };
    Reports log;
    io.report = recording(log);
    ZmodemSenderConfig c;
    c.path = "/nonexistent/dir/file";
    ZmodemSender tx(c, io);
    tx.start(0);
    EXPECT_TRUE(tx.finished());
    EXPECT_EQ(tx.status(), XFER_STATUS_FILE_ERROR);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(log.count(XFER_ACTION_BREAK), 1);
}

} // namespace
} // namespace transvex::test

// Our engines against lrzsz (sz/rz, sb/rb, sx/rx) over pseudo-terminal pairs, in both
// directions, for every protocol, with files of edge sizes, 1 MiB and every byte value.
#include "engine_pair.h"
#include "pty_peer.h"
#include "test_files.h"

#include "libs/transvex/fd_channel.h"
#include "libs/transvex/file_record.h"
#include "libs/transvex/session_runner.h"
#include "libs/transvex/xmodem_block.h"
#include "libs/transvex/xmodem_receiver.h"
#include "libs/transvex/xmodem_sender.h"
#include "libs/transvex/zmodem_receiver.h"
#include "libs/transvex/zmodem_sender.h"
#include "tools/scanner-sim/sha256.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace transvex::test {
namespace {

constexpr int64_t kMtime = 1600000000;
constexpr int kPeerWaitMs = 60000;
// lrzsz's receivers now and then miss a block sent the moment their ACK arrives and
// wait for the repeat; a shorter wait for the ACK than the protocol's 10 s keeps these
// tests quick. It must stay above the second of quiet those receivers wait for before
// they answer an EOT, or each repeat restarts that wait.
constexpr uint32_t kAckTimeoutMs = 2000;

struct Sample {
    std::string label;
    std::vector<uint8_t> data;
};

std::vector<Sample> samples() {
    std::vector<Sample> out;
    for (size_t n : {0u, 1u, 127u, 128u, 1023u, 1024u}) {
        out.push_back({std::to_string(n), randomBytes(n, static_cast<uint32_t>(n) * 3 + 1)});
    }
    out.push_back({"1MiB", randomBytes(1 << 20, 77)});
    out.push_back({"every-byte", everyByteValue()});
    // XMODEM cannot tell a file's own trailing Ctrl-Z from padding (see transvex.h).
    for (auto& s : out) {
        if (!s.data.empty() && s.data.back() == kSub) {
            s.data.back() = 'x';
        }
    }
    return out;
}

using Factory = std::function<std::unique_ptr<Engine>(EngineIo)>;

struct Outcome {
    int32_t status = 1;
    int peerExit = -2;
    Reports log;
};

// Gives the receiving peer's answers the latency of a real line. lrzsz's receivers
// flush their input right after writing an ACK; when the ACK arrives over a pipe at
// once and the next block follows within microseconds, the flush throws that block
// away and every block costs an ACK time-out. A few milliseconds before our side
// acts on an answer put the block after the flush, as a line would.
class AnswerLatencyChannel final : public Channel {
public:
    AnswerLatencyChannel(Channel& inner, int latencyMs) : inner_(inner), latencyMs_(latencyMs) {}
    ssize_t read(uint8_t* buf, size_t len, int timeoutMs) override {
        const ssize_t n = inner_.read(buf, len, timeoutMs);
        if (n > 0 && latencyMs_ > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(latencyMs_));
        }
        return n;
    }
    bool write(std::span<const uint8_t> bytes) override { return inner_.write(bytes); }
    void purgeOutput() override { inner_.purgeOutput(); }
    bool drain(int timeoutMs) override { return inner_.drain(timeoutMs); }
    bool lost() const override { return inner_.lost(); }
    void requestAbort(int limitMs) override { inner_.requestAbort(limitMs); }
    bool abortRequested() const override { return inner_.abortRequested(); }
    int abortLimitMs() const override { return inner_.abortLimitMs(); }
    void abortHandled() override { inner_.abortHandled(); }

private:
    Channel& inner_;
    int latencyMs_;
};

// The peer reads our bytes from the pseudo-terminal. A receiving peer's answers come
// back through a pipe: lrzsz's receivers may discard their own last answer (the ACK
// of the final EOT, the closing ACK) from the terminal as they exit, which a real
// line would have carried long before; over a pipe nothing is discarded.
Outcome runAgainst(const std::vector<std::string>& argv, const std::string& peerDir,
                   const Factory& make, ReportFn decide = {}) {
    Outcome out;
    PtyPair pty;
    EXPECT_TRUE(pty.ok());
    const bool peerReceives = argv[0] == "rz" || argv[0] == "rb" || argv[0] == "rx";
    int answers[2] = {-1, -1};
    if (peerReceives) {
        EXPECT_EQ(pipe2(answers, O_CLOEXEC), 0);
    }
    FdChannel fdChannel(peerReceives ? answers[0] : pty.master(), pty.master());
    // ZMODEM's rz does not flush after its answers and streams anyway.
    const bool blockwise = argv[0] == "rb" || argv[0] == "rx";
    AnswerLatencyChannel channel(fdChannel, blockwise ? 1 : 0);
    {
        Peer peer(argv, pty.slave(), peerDir, peerDir + "/../peer.err", answers[1]);
        if (answers[1] >= 0) {
            close(answers[1]);
        }
        auto engine = make(channelIo(channel, recording(out.log, decide)));
        out.status = runSession(*engine, channel);
        out.peerExit = peer.wait(kPeerWaitMs);
    }
    if (answers[0] >= 0) {
        close(answers[0]);
    }
    return out;
}

ReportFn storeIn(const std::string& dir) {
    return [dir](int32_t action, int32_t, XferFileInfo* r) {
        if (action == XFER_ACTION_RX_HEADER) {
            setRecordName(*r, dir + "/" + recordName(*r));
        }
        return int32_t{XFER_RESULT_GO_ON};
    };
}

struct Dirs {
    ScratchDir root;
    std::string src, dst;
    Dirs() : src(root / "src"), dst(root / "dst") {
        std::filesystem::create_directory(src);
        std::filesystem::create_directory(dst);
    }
};

// ---- ZMODEM -----------------------------------------------------------------------

void zmodemToRz(bool escape) {
    for (const auto& s : samples()) {
        SCOPED_TRACE(s.label);
        Dirs d;
        writeFile(d.src + "/z.bin", s.data, kMtime);
        std::vector<std::string> argv = {"rz", "-q"};
        if (escape) {
            argv.push_back("-e");
        }
        auto r = runAgainst(argv, d.dst, [&](EngineIo io) {
            ZmodemSenderConfig c;
            c.path = d.src + "/z.bin";
            if (escape) {
                c.options |= XFER_OPT_ESCAPE_CONTROL;
            }
            return std::make_unique<ZmodemSender>(c, std::move(io));
        });
        EXPECT_EQ(r.status, XFER_STATUS_OK);
        EXPECT_EQ(r.peerExit, 0);
        EXPECT_EQ(scanner_sim::sha256OfFile(d.dst + "/z.bin"),
                  scanner_sim::sha256OfFile(d.src + "/z.bin"));
        EXPECT_EQ(std::filesystem::file_size(d.dst + "/z.bin"), s.data.size());
        EXPECT_EQ(fileMtime(d.dst + "/z.bin"), kMtime);
    }
}

TEST(LrzszInterop, ZmodemOursToRz) {
    zmodemToRz(false);
}
TEST(LrzszInterop, ZmodemOursToRzEscapingControls) {
    zmodemToRz(true);
}

void szToZmodem(bool escape) {
    for (const auto& s : samples()) {
        SCOPED_TRACE(s.label);
        Dirs d;
        writeFile(d.src + "/s.bin", s.data, kMtime);
        std::vector<std::string> argv = {"sz", "-q"};
        if (escape) {
            argv.push_back("-e");
        }
        argv.push_back("s.bin");
        auto r = runAgainst(
            argv, d.src,
            [&](EngineIo io) {
                ZmodemReceiverConfig c;
                c.ooTimeoutMs = 300;
                return std::make_unique<ZmodemReceiver>(c, std::move(io));
            },
            storeIn(d.dst));
        EXPECT_EQ(r.status, XFER_STATUS_OK);
        EXPECT_EQ(r.peerExit, 0);
        EXPECT_EQ(scanner_sim::sha256OfFile(d.dst + "/s.bin"),
                  scanner_sim::sha256OfFile(d.src + "/s.bin"));
        EXPECT_EQ(fileMtime(d.dst + "/s.bin"), kMtime);
        const auto* hdr = r.log.first(XFER_ACTION_RX_HEADER);
        ASSERT_NE(hdr, nullptr);
        EXPECT_EQ(+hdr->record.size, static_cast<int32_t>(s.data.size()));
        EXPECT_EQ(recordTime(hdr->record), kMtime);
        EXPECT_EQ(r.log.count(XFER_ACTION_RX_FINISHED), 1);
    }
}

TEST(LrzszInterop, ZmodemSzToOurs) {
    szToZmodem(false);
}
TEST(LrzszInterop, ZmodemSzToOursEscapingControls) {
    szToZmodem(true);
}

// ---- YMODEM batch -----------------------------------------------------------------

TEST(LrzszInterop, YmodemBatchOursToRb) {
    for (const auto& s : samples()) {
        SCOPED_TRACE(s.label);
        Dirs d;
        writeFile(d.src + "/y.bin", s.data, kMtime);
        auto r = runAgainst({"rb", "-q"}, d.dst, [&](EngineIo io) {
            XmodemSenderConfig c;
            c.path = d.src + "/y.bin";
            c.mode = XmodemSenderConfig::Mode::YmodemBatch;
            c.ackTimeoutMs = kAckTimeoutMs;
            return std::make_unique<XmodemSender>(c, std::move(io));
        });
        EXPECT_EQ(r.status, XFER_STATUS_OK);
        EXPECT_EQ(r.peerExit, 0);
        EXPECT_EQ(scanner_sim::sha256OfFile(d.dst + "/y.bin"),
                  scanner_sim::sha256OfFile(d.src + "/y.bin"));
        EXPECT_EQ(fileMtime(d.dst + "/y.bin"), kMtime);
    }
}

TEST(LrzszInterop, YmodemBatchSbToOurs) {
    for (const auto& s : samples()) {
        SCOPED_TRACE(s.label);
        Dirs d;
        writeFile(d.src + "/b.bin", s.data, kMtime);
        auto r = runAgainst(
            {"sb", "-q", "b.bin"}, d.src,
            [&](EngineIo io) {
                XmodemReceiverConfig c;
                c.mode = XmodemReceiverConfig::Mode::YmodemBatch;
                return std::make_unique<XmodemReceiver>(c, std::move(io));
            },
            storeIn(d.dst));
        EXPECT_EQ(r.status, XFER_STATUS_OK);
        EXPECT_EQ(r.peerExit, 0);
        EXPECT_EQ(scanner_sim::sha256OfFile(d.dst + "/b.bin"),
                  scanner_sim::sha256OfFile(d.src + "/b.bin"));
        EXPECT_EQ(fileMtime(d.dst + "/b.bin"), kMtime);
        const auto* hdr = r.log.first(XFER_ACTION_RX_HEADER);
        ASSERT_NE(hdr, nullptr);
        EXPECT_STREQ(hdr->record.fileName, (d.dst + "/b.bin").c_str());
        EXPECT_EQ(+hdr->record.size, static_cast<int32_t>(s.data.size()));
    }
}

// ---- XMODEM and 1K XMODEM ---------------------------------------------------------

struct XCase {
    const char* label;
    XmodemSenderConfig::Mode txMode;
    bool use1k;
    std::vector<std::string> rxArgs; // the peer receiving from us
};

void xmodemOursToRx(const XCase& c) {
    for (const auto& s : samples()) {
        SCOPED_TRACE(testing::Message() << c.label << " " << s.label);
        Dirs d;
        writeFile(d.src + "/x.bin", s.data);
        auto argv = c.rxArgs;
        argv.push_back("x.bin");
        auto r = runAgainst(argv, d.dst, [&](EngineIo io) {
            XmodemSenderConfig cfg;
            cfg.path = d.src + "/x.bin";
            cfg.mode = c.txMode;
            cfg.use1k = c.use1k;
            cfg.ackTimeoutMs = kAckTimeoutMs;
            return std::make_unique<XmodemSender>(cfg, std::move(io));
        });
        EXPECT_EQ(r.status, XFER_STATUS_OK);
        EXPECT_EQ(r.peerExit, 0);
        // rx keeps the padding: what it stored is our file plus Ctrl-Z bytes.
        auto got = readFile(d.dst + "/x.bin");
        ASSERT_GE(got.size(), s.data.size());
        EXPECT_TRUE(std::equal(s.data.begin(), s.data.end(), got.begin()));
        EXPECT_TRUE(std::all_of(got.begin() + static_cast<long>(s.data.size()), got.end(),
                                [](uint8_t b) { return b == kSub; }));
    }
}

// One test per mode, so each stays short and they can run side by side.
TEST(LrzszInterop, XmodemChecksumOursToRx) {
    xmodemOursToRx({"checksum", XmodemSenderConfig::Mode::Xmodem, false, {"rx", "-q"}});
}
TEST(LrzszInterop, XmodemCrcOursToRx) {
    xmodemOursToRx({"crc", XmodemSenderConfig::Mode::Xmodem, false, {"rx", "-q", "-c"}});
}
TEST(LrzszInterop, XmodemCrc1kOptionOursToRx) {
    xmodemOursToRx({"crc-1k-option", XmodemSenderConfig::Mode::Xmodem, true, {"rx", "-q", "-c"}});
}
TEST(LrzszInterop, Xmodem1kOursToRx) {
    xmodemOursToRx({"1k", XmodemSenderConfig::Mode::Xmodem1k, false, {"rx", "-q", "-c"}});
}

struct RxCase {
    const char* label;
    std::vector<std::string> sxArgs;
    XmodemReceiverConfig::Mode mode;
};

TEST(LrzszInterop, XmodemSxToOurs) {
    const RxCase cases[] = {
        {"checksum", {"sx", "-q"}, XmodemReceiverConfig::Mode::Checksum},
        {"crc", {"sx", "-q"}, XmodemReceiverConfig::Mode::Crc},
        {"crc-1k", {"sx", "-q", "-k"}, XmodemReceiverConfig::Mode::Crc},
        {"1k", {"sx", "-q", "-k"}, XmodemReceiverConfig::Mode::Xmodem1k},
    };
    for (const auto& c : cases) {
        for (const auto& s : samples()) {
            SCOPED_TRACE(testing::Message() << c.label << " " << s.label);
            Dirs d;
            writeFile(d.src + "/x.bin", s.data);
            auto argv = c.sxArgs;
            argv.push_back("x.bin");
            auto r = runAgainst(argv, d.src, [&](EngineIo io) {
                XmodemReceiverConfig cfg;
                cfg.mode = c.mode;
                cfg.path = d.dst + "/x.bin";
                return std::make_unique<XmodemReceiver>(cfg, std::move(io));
            });
            EXPECT_EQ(r.status, XFER_STATUS_OK);
            EXPECT_EQ(r.peerExit, 0);
            EXPECT_EQ(scanner_sim::sha256OfFile(d.dst + "/x.bin"),
                      scanner_sim::sha256OfFile(d.src + "/x.bin"));
        }
    }
}

} // namespace
} // namespace transvex::test

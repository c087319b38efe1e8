// The C calls of libtransvex over comm ids of the serial core library: a comm id
// mapped to a pseudo-terminal slave, lrzsz or the test itself on the master side.
#include "pty_peer.h"
#include "test_files.h"

#include "libs/transvex/fd_channel.h"
#include "libs/transvex/session_runner.h"
#include "libs/transvex/xmodem_receiver.h"
#include "libs/transvex/zmodem_sender.h"
#include "serilon/serilon.h"
#include "support/pty_pair.h"
#include "support/wait.h"
#include "tools/scanner-sim/sha256.h"
#include "transvex/transvex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace transvex::test {
namespace {

constexpr int kPort = 9;
constexpr int32_t kId = kPort - 1;
constexpr int64_t kMtime = 1500000000;

std::string sha(const std::string& path) {
    const auto data = readFile(path);
    return scanner_sim::sha256Hex(data.data(), data.size());
}

// What the file-info procedure saw; the procedure is a plain C function, so the
// test's state is reached through this one global, guarded.
struct ProcLog {
    std::mutex mutex;
    std::vector<std::pair<int32_t, int32_t>> calls; // action, data
    std::vector<XferFileInfo> records;
    std::string downloadDir; // RX_HEADER: name becomes downloadDir + '\' + name
    int32_t headerResult = XFER_RESULT_GO_ON;
    int32_t finishedResult = XFER_RESULT_GO_ON;
    std::atomic<int> commIdSeen{-1};

    void reset() {
        std::lock_guard l(mutex);
        calls.clear();
        records.clear();
        downloadDir.clear();
        headerResult = XFER_RESULT_GO_ON;
        finishedResult = XFER_RESULT_GO_ON;
    }
    int count(int32_t action) {
        std::lock_guard l(mutex);
        int n = 0;
        for (auto& c : calls) {
            n += c.first == action;
        }
        return n;
    }
    std::vector<int32_t> actions() {
        std::lock_guard l(mutex);
        std::vector<int32_t> out;
        for (auto& c : calls) {
            if (out.empty() || out.back() != c.first) {
                out.push_back(c.first);
            }
        }
        return out;
    }
} gLog;

int32_t fileInfoProc(int32_t commId, int32_t action, int32_t data, XferFileInfo* record) {
    std::lock_guard l(gLog.mutex);
    gLog.commIdSeen = commId;
    gLog.calls.emplace_back(action & 0xFFFF, data);
    gLog.records.push_back(*record);
    if ((action & 0xFFFF) == XFER_ACTION_RX_HEADER) {
        if (!gLog.downloadDir.empty()) {
            const std::string name = gLog.downloadDir + "\\" + record->fileName;
            std::snprintf(record->fileName, sizeof record->fileName, "%s", name.c_str());
        }
        return gLog.headerResult;
    }
    if ((action & 0xFFFF) == XFER_ACTION_TX_FINISHED) {
        return gLog.finishedResult;
    }
    return XFER_RESULT_GO_ON;
}

class TransvexApi : public testing::Test {
protected:
    void SetUp() override {
        gLog.reset();
        map_.map(kPort, pty_.slavePath());
        ASSERT_EQ(SerialOpenPort(kId), SERIAL_OK);
    }
    void TearDown() override { SerialClosePort(kId); }

    // lrzsz on the master side; a receiving peer answers through a pipe (see the
    // interop tests for why).
    std::unique_ptr<Peer> peer(const std::vector<std::string>& argv, const std::string& dir) {
        const int m = pty_.master();
        fcntl(m, F_SETFL, fcntl(m, F_GETFL) & ~O_NONBLOCK);
        return std::make_unique<Peer>(argv, m, dir, "/dev/null");
    }

    uint8_t call(uint8_t (*fn)(int32_t, char*, int32_t*, XferFileInfoProc), const std::string& name,
                 int32_t& status) {
        char buf[XFER_NAME_SIZE] = {};
        std::snprintf(buf, sizeof buf, "%s", name.c_str());
        status = 12345;
        return fn(kId, buf, &status, fileInfoProc);
    }

    // Waits until the comm id's input queue holds n bytes.
    bool inputQueued(int32_t n) {
        return vort::test::waitFor([&] { return SerialQueueCount(kId, SERIAL_DIR_INPUT) >= n; },
                                   10000);
    }

    vort::test::PtyPair pty_;
    vort::test::ScopedPortMap map_;
    ScratchDir dir_;
};

const std::string kFiveCans(5, '\x18');

TEST_F(TransvexApi, ZmodemSendWithSuffixOptionReachesRzAndLeavesNothingQueued) {
    const auto data = randomBytes(300000, 1);
    std::filesystem::create_directory(dir_.path() / "out");
    std::filesystem::create_directory(dir_.path() / "in");
    writeFile(dir_ / "out/fw.bin", data, kMtime);
    auto rz = peer({"rz", "-q", "-e"}, dir_ / "in");
    int32_t status = 0;
    // ",E" escapes every control character; the suffix is no part of the path.
    EXPECT_EQ(call(XferSendZmodem, dir_ / "out/fw.bin,E", status), 1);
    EXPECT_EQ(status, XFER_STATUS_OK);
    EXPECT_EQ(SerialQueueCount(kId, SERIAL_DIR_OUTPUT), 0) << "returned before its bytes left";
    EXPECT_EQ(rz->wait(20000), 0);
    EXPECT_EQ(sha(dir_ / "in/fw.bin"), sha(dir_ / "out/fw.bin"));
    EXPECT_EQ(fileMtime(dir_ / "in/fw.bin"), kMtime);
    const auto actions = gLog.actions();
    ASSERT_GE(actions.size(), 4u);
    EXPECT_EQ(actions[0], XFER_ACTION_FILE_DETAILS);
    EXPECT_EQ(actions[1], XFER_ACTION_SYN);
    EXPECT_EQ(actions.back(), XFER_ACTION_TX_FINISHED);
    EXPECT_EQ(gLog.commIdSeen.load(), kId);
    std::lock_guard l(gLog.mutex);
    const XferFileInfo& syn = gLog.records[1];
    EXPECT_STREQ(syn.fileName, (dir_ / "out/fw.bin").c_str());
    EXPECT_EQ(+syn.kind, XFER_KIND_ZMODEM);
    EXPECT_EQ(+syn.size, 300000);
    EXPECT_EQ(syn.options & (XFER_OPT_ESCAPE_CONTROL | XFER_OPT_REPLACE),
              XFER_OPT_ESCAPE_CONTROL | XFER_OPT_REPLACE);
    EXPECT_EQ(gLog.calls.back().second, 300000);
}

TEST_F(TransvexApi, ZmodemReceiveStoresUnderTheRewrittenNameAndResumes) {
    const auto data = randomBytes(200000, 2);
    std::filesystem::create_directory(dir_.path() / "src");
    std::filesystem::create_directory(dir_.path() / "down");
    writeFile(dir_ / "src/a.bin", data, kMtime);
    // A partial copy from an earlier, broken transfer.
    writeFile(dir_ / "down/a.bin", std::vector<uint8_t>(data.begin(), data.begin() + 70000));
    gLog.downloadDir = dir_ / "down";
    gLog.headerResult = XFER_RESULT_RESUME;
    auto sz = peer({"sz", "-q", "a.bin"}, dir_ / "src");
    int32_t status = 0;
    EXPECT_EQ(call(XferReceiveZmodem, "", status), 1);
    EXPECT_EQ(status, XFER_STATUS_OK);
    EXPECT_EQ(sz->wait(20000), 0);
    EXPECT_EQ(sha(dir_ / "down/a.bin"), sha(dir_ / "src/a.bin"));
    EXPECT_EQ(fileMtime(dir_ / "down/a.bin"), kMtime);
    std::lock_guard l(gLog.mutex);
    int32_t firstProgress = -1;
    for (auto& c : gLog.calls) {
        if (c.first == XFER_ACTION_RX_PROGRESS) {
            firstProgress = c.second;
            break;
        }
    }
    EXPECT_EQ(firstProgress, 70000) << "continued from the partial file";
    EXPECT_EQ(gLog.calls.back().first, XFER_ACTION_RX_FINISHED);
    EXPECT_EQ(gLog.calls.back().second, 200000);
}

// A local file of the sender's name is continued only when its bytes are the head of
// the sender's file: an unrelated file is received anew, with lrzsz's sz and with our
// own sender on the other end.
TEST_F(TransvexApi, ZmodemResumeNeverJoinsTwoDifferentFiles) {
    const auto data = randomBytes(120000, 3);
    std::filesystem::create_directory(dir_.path() / "src");
    std::filesystem::create_directory(dir_.path() / "down");
    writeFile(dir_ / "src/a.bin", data, kMtime);
    const std::vector<uint8_t> head(data.begin(), data.begin() + 50000);
    for (const bool ours : {false, true}) {
        for (const bool partial : {true, false}) {
            SCOPED_TRACE(std::string(ours ? "our sender, " : "sz, ") +
                         (partial ? "true partial" : "unrelated local file"));
            gLog.reset();
            gLog.downloadDir = dir_ / "down";
            gLog.headerResult = XFER_RESULT_RESUME;
            writeFile(dir_ / "down/a.bin", partial ? head : randomBytes(50000, 4));
            std::unique_ptr<Peer> sz;
            std::thread sender;
            int32_t senderStatus = 1;
            if (ours) {
                sender = std::thread([&] {
                    FdChannel line(pty_.master());
                    ZmodemSenderConfig c;
                    c.path = dir_ / "src/a.bin";
                    ZmodemSender tx(c, channelIo(line, {}));
                    senderStatus = runSession(tx, line);
                });
            } else {
                sz = peer({"sz", "-q", "a.bin"}, dir_ / "src");
            }
            int32_t status = 0;
            EXPECT_EQ(call(XferReceiveZmodem, "", status), 1);
            EXPECT_EQ(status, XFER_STATUS_OK);
            if (ours) {
                sender.join();
                EXPECT_EQ(senderStatus, XFER_STATUS_OK);
            } else {
                EXPECT_EQ(sz->wait(20000), 0);
            }
            EXPECT_EQ(readFile(dir_ / "down/a.bin"), data);
            std::lock_guard l(gLog.mutex);
            int32_t firstProgress = -1;
            for (auto& c : gLog.calls) {
                if (c.first == XFER_ACTION_RX_PROGRESS) {
                    firstProgress = c.second;
                    break;
                }
            }
            // Continued from the partial file, or started again from 0.
            if (partial) {
                EXPECT_EQ(firstProgress, 50000);
            } else {
                EXPECT_NE(firstProgress, 50000);
            }
            EXPECT_EQ(gLog.calls.back().first, XFER_ACTION_RX_FINISHED);
            EXPECT_EQ(gLog.calls.back().second, 120000);
        }
    }
}

// Input that waited before a job is not the job's: a cancelled peer's CANs end
// neither a ZMODEM send nor a ZMODEM receive.
TEST_F(TransvexApi, StaleCancelBeforeAZmodemSessionIsDropped) {
    std::filesystem::create_directory(dir_.path() / "out");
    std::filesystem::create_directory(dir_.path() / "in");
    const auto data = randomBytes(20000, 5);
    writeFile(dir_ / "out/s.bin", data, kMtime);
    {
        ASSERT_TRUE(pty_.writeAll(kFiveCans));
        ASSERT_TRUE(inputQueued(5));
        auto rz = peer({"rz", "-q", "-y"}, dir_ / "in");
        int32_t status = 0;
        EXPECT_EQ(call(XferSendZmodem, dir_ / "out/s.bin", status), 1);
        EXPECT_EQ(status, XFER_STATUS_OK);
        EXPECT_EQ(rz->wait(20000), 0);
        EXPECT_EQ(readFile(dir_ / "in/s.bin"), data);
    }
    {
        const int m = pty_.master();
        fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
        ASSERT_TRUE(pty_.writeAll(kFiveCans));
        ASSERT_TRUE(inputQueued(5));
        gLog.reset();
        gLog.downloadDir = dir_ / "in";
        std::filesystem::remove(dir_ / "in/s.bin");
        auto sz = peer({"sz", "-q", "s.bin"}, dir_ / "out");
        int32_t status = 0;
        EXPECT_EQ(call(XferReceiveZmodem, "", status), 1);
        EXPECT_EQ(status, XFER_STATUS_OK);
        EXPECT_EQ(sz->wait(20000), 0);
        EXPECT_EQ(readFile(dir_ / "in/s.bin"), data);
    }
}

// An XMODEM send skips what came before its receiver's start character, and keeps a
// start character that already waits: this receiver sends its 'C' only once.
TEST_F(TransvexApi, XmodemSendSkipsStaleCancelAndKeepsAWaitingStart) {
    auto data = randomBytes(5000, 6);
    data.back() = 'e'; // no trailing Ctrl-Z for the receiver to take as padding
    writeFile(dir_ / "x.bin", data);
    ASSERT_TRUE(pty_.writeAll(kFiveCans));
    ASSERT_TRUE(inputQueued(5));
    int32_t rxStatus = 1;
    std::thread receiver([&] {
        FdChannel line(pty_.master());
        XmodemReceiverConfig c;
        c.mode = XmodemReceiverConfig::Mode::Crc;
        c.path = dir_ / "got.bin";
        c.startRetryMs = 600000;
        XmodemReceiver rx(c, channelIo(line, {}));
        rxStatus = runSession(rx, line);
    });
    ASSERT_TRUE(inputQueued(6)) << "the receiver's 'C' waits behind the CANs";
    int32_t status = 0;
    EXPECT_EQ(call(XferSendXmodemCrc, dir_ / "x.bin", status), 1);
    EXPECT_EQ(status, XFER_STATUS_OK);
    receiver.join();
    EXPECT_EQ(rxStatus, XFER_STATUS_OK);
    EXPECT_EQ(readFile(dir_ / "got.bin"), data);
}

TEST_F(TransvexApi, AsciiReceiveKeepsWhatWaitedBeforeIt) {
    ASSERT_TRUE(pty_.writeAll(std::string("reply\r\n")));
    ASSERT_TRUE(inputQueued(7));
    std::thread writer([&] { pty_.writeAll(std::string("more\x1A")); });
    int32_t status = 0;
    EXPECT_EQ(call(XferReceiveAscii, dir_ / "a.txt,T2", status), 1);
    writer.join();
    const auto got = readFile(dir_ / "a.txt");
    EXPECT_EQ(std::string(got.begin(), got.end()), "reply\r\nmore");
}

TEST_F(TransvexApi, YmodemBatchAndXmodemCrcOverTheCommId) {
    std::filesystem::create_directory(dir_.path() / "a");
    std::filesystem::create_directory(dir_.path() / "b");
    const auto data = everyByteValue();
    writeFile(dir_ / "a/y.bin", data, kMtime);
    {
        auto rb = peer({"rb", "-q"}, dir_ / "b");
        int32_t status = 0;
        EXPECT_EQ(call(XferSendYmodemBatch, dir_ / "a/y.bin", status), 1);
        EXPECT_EQ(status, XFER_STATUS_OK);
        EXPECT_EQ(rb->wait(20000), 0);
        EXPECT_EQ(sha(dir_ / "b/y.bin"), sha(dir_ / "a/y.bin"));
    }
    {
        auto sx = peer({"sx", "-q", "y.bin"}, dir_ / "a");
        int32_t status = 0;
        EXPECT_EQ(call(XferReceiveXmodemCrc, dir_ / "b/x.bin", status), 1);
        EXPECT_EQ(status, XFER_STATUS_OK);
        EXPECT_EQ(sx->wait(20000), 0);
        EXPECT_EQ(readFile(dir_ / "b/x.bin"), data);
    }
}

TEST_F(TransvexApi, AsciiSendsUnchangedAndReceivesUntilCtrlZ) {
    const std::string text = "line one\r\nline two\r\n";
    writeFile(dir_ / "t.txt", std::vector<uint8_t>(text.begin(), text.end()));
    int32_t status = 0;
    EXPECT_EQ(call(XferSendAscii, dir_ / "t.txt", status), 1);
    EXPECT_EQ(pty_.read(text.size(), 2000), text);

    // The text comes once the receive runs: it has opened its file.
    std::thread writer([&] {
        EXPECT_TRUE(
            vort::test::waitFor([&] { return std::filesystem::exists(dir_ / "r.txt"); }, 10000));
        pty_.writeAll(std::string("hello\r\nworld\x1Atrailing"));
    });
    EXPECT_EQ(call(XferReceiveAscii, dir_ / "r.txt,T2", status), 1);
    writer.join();
    EXPECT_EQ(status, XFER_STATUS_OK);
    const auto got = readFile(dir_ / "r.txt");
    EXPECT_EQ(std::string(got.begin(), got.end()), "hello\r\nworld");
}

TEST_F(TransvexApi, AbortStopsTransferSendsCancelAndRefusesSecondCall) {
    EXPECT_EQ(XferAbort(kId, 1000), 0) << "nothing runs yet";
    std::atomic<int32_t> status{1};
    std::atomic<uint8_t> result{9};
    std::thread worker([&] {
        int32_t st = 0;
        result = call(XferReceiveZmodem, "", st);
        status = st;
    });
    // The receiver's first ZRINIT on the line shows it runs.
    ASSERT_FALSE(pty_.read(1, 10000).empty()) << "the receiver did not start";
    int32_t busy = 0;
    EXPECT_EQ(call(XferReceiveXmodem, dir_ / "x", busy), 0);
    EXPECT_EQ(busy, XFER_STATUS_BUSY);

    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(XferAbort(kId, 10000), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(100))
        << "the request returns at once";
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(3000))
        << "the transfer ended well within its limit";
    EXPECT_EQ(status.load(), XFER_STATUS_ABORTED);
    EXPECT_EQ(result.load(), 0);
    const std::string seen = pty_.read(4096, 500);
    const std::string cancel(8, '\x18');
    EXPECT_NE(seen.find(cancel), std::string::npos);
    EXPECT_EQ(gLog.calls.back().first, XFER_ACTION_BREAK);
    EXPECT_EQ(gLog.calls.back().second, XFER_STATUS_ABORTED);
}

TEST_F(TransvexApi, WaitQueueReturnsOnChangeOrAfterItsTimeout) {
    using namespace std::chrono;
    auto t0 = steady_clock::now();
    EXPECT_EQ(XferWaitQueue(kId, SERIAL_DIR_INPUT, 200), 0);
    auto took = duration_cast<milliseconds>(steady_clock::now() - t0).count();
    EXPECT_GE(took, 150);
    EXPECT_LT(took, 1000);

    // Bytes keep arriving until the wait returned: bytes queued before it began would
    // be no change to it.
    std::atomic<bool> returned{false};
    std::thread writer([&] {
        while (!vort::test::waitFor([&] { return returned.load(); }, 20))
            pty_.writeAll(std::string("abc"));
    });
    t0 = steady_clock::now();
    const int32_t count = XferWaitQueue(kId, SERIAL_DIR_INPUT, 5000);
    took = duration_cast<milliseconds>(steady_clock::now() - t0).count();
    returned = true;
    writer.join();
    EXPECT_GT(count, 0);
    EXPECT_LT(took, 1000);

    t0 = steady_clock::now();
    EXPECT_EQ(XferWaitQueue(kId, 7, 5000), 0) << "no such queue: no wait";
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - t0).count(), 100);
}

TEST_F(TransvexApi, BadArgumentsFailCleanly) {
    int32_t status = 0;
    EXPECT_EQ(XferSendZmodem(kId, nullptr, &status, fileInfoProc), 0);
    EXPECT_EQ(status, XFER_STATUS_BAD_ARGUMENT);
    char unterminated[XFER_NAME_SIZE];
    std::memset(unterminated, 'a', sizeof unterminated);
    EXPECT_EQ(XferSendZmodem(kId, unterminated, &status, fileInfoProc), 0);
    EXPECT_EQ(status, XFER_STATUS_BAD_ARGUMENT);
    char missing[XFER_NAME_SIZE] = "/no/such/file";
    EXPECT_EQ(XferSendXmodem(kId, missing, &status, nullptr), 0);
    EXPECT_EQ(status, XFER_STATUS_FILE_ERROR);
    char name[XFER_NAME_SIZE] = "/tmp/x";
    EXPECT_EQ(XferReceiveXmodem(kId + 1, name, &status, fileInfoProc), 0);
    EXPECT_EQ(status, XFER_STATUS_LINE_LOST);
    EXPECT_EQ(XferReceiveXmodem(-5, name, nullptr, fileInfoProc), 0);
    EXPECT_EQ(gLog.calls.back().first, XFER_ACTION_BREAK);
}

} // namespace
} // namespace transvex::test

// The control's file transfer jobs over real pseudo-terminals, against lrzsz on the
// other end and between two controls: batches, download directory, resume decision,
// abort, and the 3964 file transfer.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <thread>

#include "control/object/vort_ctrl.h"
#include "libs/transvex/pty_peer.h"
#include "libs/transvex/strict_zmodem_receiver.h"
#include "serilon/serilon.h"
#include "support/pty_pair.h"
#include "support/wait.h"
#include "tools/scanner-sim/sha256.h"

namespace fs = std::filesystem;
using namespace vort;
using component::Variant;
using Clock = std::chrono::steady_clock;

namespace {

struct FileEvent {
    int16_t action;
    Clock::time_point at;
};

class Recorder : public NotificationWindow {
public:
    void post(uint32_t wParam, intptr_t) override {
        if ((wParam & 0xFFFF) != kNotifyFileInfo)
            return;
        std::lock_guard lock(m_);
        events_.push_back({static_cast<int16_t>(wParam >> 16), Clock::now()});
    }
    int32_t handle() const override { return 1; }
    std::vector<FileEvent> events() {
        std::lock_guard lock(m_);
        return events_;
    }
    int count(int16_t action) {
        int n = 0;
        for (const auto& e : events())
            n += e.action == action;
        return n;
    }

private:
    std::mutex m_;
    std::vector<FileEvent> events_;
};

std::string writeRandomFile(const fs::path& path, size_t size, uint32_t seed) {
    std::vector<char> data(size);
    std::mt19937 rng(seed);
    for (auto& c : data)
        c = static_cast<char>(rng());
    std::ofstream(path, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    return scanner_sim::sha256Hex(data.data(), data.size());
}

std::string fileHash(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return scanner_sim::sha256Hex(data.data(), data.size());
}

using vort::test::waitFor;

std::u16string u16(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

class TransferJobs : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vort-transfer-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_ / "out");
        fs::create_directories(dir_ / "in");
        map_.map(31, pty_.slavePath());
        ctl_.setCommPort(31);
        ctl_.setSettings(u"115200,N,8,1");
        ctl_.setNotificationWindow(&rec_);
    }
    void TearDown() override {
        ctl_.setPortOpen(false);
        ctl_.setNotificationWindow(nullptr);
        fs::remove_all(dir_);
    }
    // Runs an lrzsz program on the master side, in dir. lrzsz expects blocking I/O.
    std::unique_ptr<transvex::test::Peer> peer(std::vector<std::string> argv, const fs::path& dir) {
        ::fcntl(pty_.master(), F_SETFL, ::fcntl(pty_.master(), F_GETFL) & ~O_NONBLOCK);
        return std::make_unique<transvex::test::Peer>(argv, pty_.master(), dir.string(),
                                                      (dir_ / "peer.err").string());
    }
    bool jobEnds(int ms) {
        return waitFor([&] { return !ctl_.jobProcessing(); }, ms);
    }

    fs::path dir_;
    test::PtyPair pty_;
    test::ScopedPortMap map_;
    Recorder rec_;
    CVortCtrl ctl_;
};

} // namespace

TEST_F(TransferJobs, NothingStartsWithoutANameOrAnOpenPort) {
    ctl_.setFileTransmit(true); // port closed
    EXPECT_FALSE(ctl_.jobProcessing());
    ctl_.setPortOpen(true);
    ctl_.setFileName(u"");
    ctl_.setFileTransmit(true); // no name
    EXPECT_FALSE(ctl_.jobProcessing());
    EXPECT_FALSE(ctl_.fileTransmit());

    // A pattern that matches nothing ends the job at once, without any report.
    ctl_.setFileName(u16((dir_ / "out" / "*.none").string()));
    ctl_.setFileTransmit(true);
    EXPECT_TRUE(jobEnds(2000));
    EXPECT_TRUE(rec_.events().empty());
}

TEST_F(TransferJobs, WildcardBatchGoesToRzOneSecondApartSkippingDirectories) {
    const std::string a = writeRandomFile(dir_ / "out" / "a.bin", 100000, 1);
    const std::string b = writeRandomFile(dir_ / "out" / "b.bin", 1, 2);
    writeRandomFile(dir_ / "out" / "c.txt", 10, 3);
    fs::create_directories(dir_ / "out" / "sub.bin");
    ctl_.setPortOpen(true);
    ctl_.setProtocol(kProtocolZmodem);
    // Backslashes count as separators; ",X" is the suffix, not part of the names.
    std::string pattern = (dir_ / "out").string() + "\\*.bin,X";
    ctl_.setFileName(u16(pattern));
    auto rz = peer({"rz", "-q", "-y"}, dir_ / "in");
    ctl_.setFileTransmit(true);
    EXPECT_TRUE(ctl_.fileTransmit());
    EXPECT_TRUE(ctl_.jobProcessing());
    ASSERT_TRUE(jobEnds(30000));
    EXPECT_EQ(rz->wait(10000), 0);

    EXPECT_EQ(fileHash(dir_ / "in" / "a.bin"), a);
    EXPECT_EQ(fileHash(dir_ / "in" / "b.bin"), b);
    EXPECT_FALSE(fs::exists(dir_ / "in" / "c.txt"));
    EXPECT_FALSE(fs::exists(dir_ / "in" / "sub.bin"));
    // Two files finished, one second apart at least.
    std::vector<Clock::time_point> finished;
    for (const auto& e : rec_.events())
        if (e.action == 7)
            finished.push_back(e.at);
    ASSERT_EQ(finished.size(), 2u);
    EXPECT_GE(finished[1] - finished[0], std::chrono::milliseconds(950));
    EXPECT_GT(rec_.count(0), 0); // progress reports
    EXPECT_EQ(ctl_.fileSize(), 1);
}

TEST_F(TransferJobs, ReceivedFilesLandInTheDownloadDirectory) {
    for (const std::string& dirText : {(dir_ / "in").string(), (dir_ / "in").string() + "/"}) {
        const std::string sent = writeRandomFile(dir_ / "out" / "a.txt", 5000, 7);
        fs::last_write_time(dir_ / "out" / "a.txt",
                            fs::file_time_type::clock::now() - std::chrono::hours(30));
        fs::remove(dir_ / "in" / "a.txt");
        ctl_.setPortOpen(true);
        ctl_.setProtocol(kProtocolZmodem);
        ctl_.setFileDownLoadDir(u16(dirText));
        ctl_.setFileName(u"unused");
        ctl_.setFileReceive(true);
        EXPECT_TRUE(ctl_.fileReceive());
        auto sz = peer({"sz", "-q", "a.txt"}, dir_ / "out");
        ASSERT_TRUE(jobEnds(30000));
        EXPECT_EQ(sz->wait(10000), 0);
        EXPECT_EQ(fileHash(dir_ / "in" / "a.txt"), sent) << dirText;
        EXPECT_EQ(ctl_.fileName(), u16((dir_ / "in" / "a.txt").string()));
        // The sender's modification time is kept.
        struct stat st {
        }, ss{};
        ::stat((dir_ / "in" / "a.txt").c_str(), &st);
        ::stat((dir_ / "out" / "a.txt").c_str(), &ss);
        EXPECT_EQ(st.st_mtime, ss.st_mtime);
        EXPECT_GT(rec_.count(6), 0);
        ctl_.setPortOpen(false);
    }
}

// The stored default "\\" names the user's download directory (as xdg-user-dir gives it,
// else the home directory), made when missing; never the root directory.
TEST_F(TransferJobs, DefaultDownloadDirIsTheUsersDownloadDirectory) {
    const std::string sent = writeRandomFile(dir_ / "out" / "d.txt", 3000, 71);
    const fs::path home = dir_ / "home";
    fs::create_directories(home);
    struct HomeGuard {
        const char* old = std::getenv("HOME");
        std::string saved = old ? old : "";
        ~HomeGuard() { old ? ::setenv("HOME", saved.c_str(), 1) : ::unsetenv("HOME"); }
    } guard;
    ::setenv("HOME", home.c_str(), 1);
    const fs::path userDirs = fs::path(map_.configHome()) / "user-dirs.dirs";
    ctl_.setPortOpen(true);
    ctl_.setProtocol(kProtocolZmodem);
    EXPECT_EQ(ctl_.fileDownLoadDir(), u"\\") << "the stored default";
    for (const bool configured : {true, false}) {
        SCOPED_TRACE(configured);
        if (configured)
            std::ofstream(userDirs) << "# written by a test\nXDG_DOWNLOAD_DIR=\"$HOME/Fetched\"\n";
        else
            fs::remove(userDirs);
        const fs::path target = configured ? home / "Fetched" : home;
        ctl_.setFileReceive(true);
        auto sz = peer({"sz", "-q", "d.txt"}, dir_ / "out");
        ASSERT_TRUE(jobEnds(30000));
        EXPECT_EQ(sz->wait(10000), 0);
        EXPECT_EQ(fileHash(target / "d.txt"), sent);
        EXPECT_EQ(ctl_.fileName(), u16((target / "d.txt").string()));
    }
}

TEST_F(TransferJobs, ResumeDecisionSkipsSameAndContinuesShorterCopies) {
    const std::string sent = writeRandomFile(dir_ / "out" / "f.bin", 200000, 9);
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(2);
    fs::last_write_time(dir_ / "out" / "f.bin", when);
    ctl_.setPortOpen(true);
    ctl_.setProtocol(kProtocolZmodem);
    ctl_.setFileDownLoadDir(u16((dir_ / "in").string()));

    // Same size and time: skipped (the local bytes stay what they were).
    writeRandomFile(dir_ / "in" / "f.bin", 200000, 10);
    fs::last_write_time(dir_ / "in" / "f.bin", when);
    const std::string local = fileHash(dir_ / "in" / "f.bin");
    ctl_.setFileReceive(true);
    {
        auto sz = peer({"sz", "-q", "f.bin"}, dir_ / "out");
        ASSERT_TRUE(jobEnds(30000));
        sz->wait(10000);
    }
    EXPECT_EQ(fileHash(dir_ / "in" / "f.bin"), local);

    // A shorter copy, the first half of the file, with a newer time: continued.
    {
        std::ifstream in(dir_ / "out" / "f.bin", std::ios::binary);
        std::vector<char> half(100000);
        in.read(half.data(), static_cast<std::streamsize>(half.size()));
        std::ofstream(dir_ / "in" / "f.bin", std::ios::binary | std::ios::trunc)
            .write(half.data(), 100000);
    }
    ctl_.setFileReceive(true);
    auto sz = peer({"sz", "-q", "f.bin"}, dir_ / "out");
    ASSERT_TRUE(jobEnds(30000));
    sz->wait(10000);
    EXPECT_EQ(fileHash(dir_ / "in" / "f.bin"), sent);
    // Progress started at the resume point, not at 0.
    EXPECT_GE(ctl_.fileSize(), 100000);
}

TEST_F(TransferJobs, FileTransmitFalseAbortsAtOnce) {
    writeRandomFile(dir_ / "out" / "big.bin", 64u << 20, 11);
    ctl_.setPortOpen(true);
    ctl_.setProtocol(kProtocolZmodem);
    ctl_.setFileName(u16((dir_ / "out" / "big.bin").string()));
    auto rz = peer({"rz", "-q", "-y"}, dir_ / "in");
    ctl_.setFileTransmit(true);
    ASSERT_TRUE(waitFor([&] { return rec_.count(0) > 0; }, 10000));
    const auto t0 = Clock::now();
    ctl_.setFileTransmit(false);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(200));
    EXPECT_TRUE(jobEnds(10000));
    EXPECT_NE(rz->wait(10000), -1) << "the receiver saw the cancel and ended";
    // A new job starts and completes afterwards. What the cancelled receiver said on its
    // way out is the host's to discard, as before any new conversation.
    ctl_.setInBufferCount(0);
    const std::string small = writeRandomFile(dir_ / "out" / "s.bin", 3000, 12);
    ctl_.setFileName(u16((dir_ / "out" / "s.bin").string()));
    auto rz2 = peer({"rz", "-q", "-y"}, dir_ / "in");
    ctl_.setFileTransmit(true);
    ASSERT_TRUE(jobEnds(30000));
    EXPECT_EQ(rz2->wait(10000), 0);
    EXPECT_EQ(fileHash(dir_ / "in" / "s.bin"), small);
}

// A job works on the FileName, suffix, FileDownLoadDir and Protocol of its start; what
// the host writes meanwhile is for the next job. The suffix's options show it: with Z a
// Ctrl-Z is data (without it the Ctrl-Z would end the file) and T1 ends the receive
// after one second of silence.
TEST_F(TransferJobs, AJobKeepsTheNameAndOptionsItStartedWith) {
    ctl_.setPortOpen(true);
    ctl_.setProtocol(kProtocolAscii);
    const fs::path target = dir_ / "in" / "r.txt";
    const fs::path other = dir_ / "in" / "other.txt";
    ctl_.setFileName(u16(target.string() + ",ZT1"));
    ctl_.setFileReceive(true);
    ASSERT_TRUE(ctl_.fileReceive());
    ctl_.setFileName(u16(other.string()));
    ctl_.setFileDownLoadDir(u"");
    ctl_.setProtocol(kProtocolXmodem);
    const std::string sent("ab\x1A"
                           "cd",
                           5);
    ASSERT_EQ(::write(pty_.master(), sent.data(), sent.size()), 5);
    ASSERT_TRUE(jobEnds(15000));
    std::ifstream in(target, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), sent);
    EXPECT_FALSE(fs::exists(other));
    EXPECT_EQ(ctl_.fileName(), u16(other.string())); // the host's write is kept
    EXPECT_EQ(ctl_.protocol(), kProtocolXmodem);
}

// A wildcard ZMODEM send is one session: one ZRQINIT, a ZFILE for each next file, one
// ZFIN. The receiver here ignores a ZRQINIT once its session runs and records every
// departure from that sequence. Empty files go as a ZDATA frame before their ZEOF.
TEST_F(TransferJobs, WildcardZmodemBatchIsOneSessionForAStrictReceiver) {
    ctl_.setPortOpen(true);
    ctl_.setProtocol(kProtocolZmodem);
    for (const int count : {1, 3, 10}) {
        SCOPED_TRACE(count);
        const fs::path out = dir_ / ("out" + std::to_string(count));
        const fs::path in = dir_ / ("in" + std::to_string(count));
        fs::create_directories(out);
        fs::create_directories(in);
        std::vector<std::string> hashes;
        for (int i = 0; i < count; ++i) {
            // The second file of a batch is empty.
            const size_t size = i == 1 ? 0 : 3000u + 1700u * static_cast<size_t>(i);
            hashes.push_back(
                writeRandomFile(out / ("f" + std::to_string(i) + ".bin"), size, 40u + i));
        }
        const size_t before = rec_.events().size();
        ctl_.setFileName(u16((out / "*.bin").string()));
        transvex::test::StrictZmodemReceiver receiver(pty_.master(), in.string());
        ctl_.setFileTransmit(true);
        const bool ended = jobEnds(30000 + 3000 * count);
        EXPECT_TRUE(ended);
        EXPECT_TRUE(receiver.waitDone(ended ? 10000 : 0));
        EXPECT_EQ(receiver.departures(), std::vector<std::string>{});
        if (!ended) {
            ctl_.setFileTransmit(false);
            ASSERT_TRUE(jobEnds(10000));
            return;
        }
        EXPECT_EQ(receiver.files(), count);
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(fileHash(in / ("f" + std::to_string(i) + ".bin")), hashes[i]) << i;
        int finished = 0;
        const auto events = rec_.events();
        for (size_t i = before; i < events.size(); ++i)
            finished += events[i].action == 7;
        EXPECT_EQ(finished, count);
    }
}

TEST_F(TransferJobs, WildcardBatchWithAnEmptyFileReachesRz) {
    const std::string a = writeRandomFile(dir_ / "out" / "a.bin", 5000, 51);
    const std::string b = writeRandomFile(dir_ / "out" / "b.bin", 0, 52);
    const std::string c = writeRandomFile(dir_ / "out" / "c.bin", 7000, 53);
    ctl_.setPortOpen(true);
    ctl_.setProtocol(kProtocolZmodem);
    ctl_.setFileName(u16((dir_ / "out" / "*.bin").string()));
    auto rz = peer({"rz", "-q", "-y"}, dir_ / "in");
    ctl_.setFileTransmit(true);
    ASSERT_TRUE(jobEnds(30000));
    EXPECT_EQ(rz->wait(10000), 0);
    EXPECT_EQ(fileHash(dir_ / "in" / "a.bin"), a);
    ASSERT_TRUE(fs::exists(dir_ / "in" / "b.bin"));
    EXPECT_EQ(fs::file_size(dir_ / "in" / "b.bin"), 0u);
    EXPECT_EQ(fileHash(dir_ / "in" / "c.bin"), c);
    EXPECT_EQ(rec_.count(7), 3);
}

// ZMODEM/Save asks the receiver to keep a file it has: rz skips it. The skip is
// reported as such (not as a sent file), and the batch goes on with the next file.
TEST_F(TransferJobs, ASkippedFileIsReportedAsSkippedAndTheBatchGoesOn) {
    writeRandomFile(dir_ / "out" / "a.bin", 20000, 61);
    const std::string b = writeRandomFile(dir_ / "out" / "b.bin", 9000, 62);
    const std::string kept = writeRandomFile(dir_ / "in" / "a.bin", 100, 63);
    ctl_.setPortOpen(true);
    ctl_.setProtocol(kProtocolZmodemSave);
    ctl_.setFileName(u16((dir_ / "out" / "*.bin").string()));
    auto rz = peer({"rz", "-q"}, dir_ / "in");
    ctl_.setFileTransmit(true);
    ASSERT_TRUE(waitFor([&] { return rec_.count(9) > 0; }, 30000));
    EXPECT_EQ(ctl_.fileSize(), 20000) << "the skipped file's own size, not bytes sent";
    ASSERT_TRUE(jobEnds(30000));
    EXPECT_EQ(rz->wait(10000), 0);
    EXPECT_EQ(fileHash(dir_ / "in" / "a.bin"), kept);
    EXPECT_EQ(fileHash(dir_ / "in" / "b.bin"), b);
    EXPECT_EQ(rec_.count(9), 1);
    EXPECT_EQ(rec_.count(7), 1) << "only b.bin was sent";
    std::vector<int16_t> ends;
    for (const auto& e : rec_.events())
        if (e.action == 7 || e.action == 9)
            ends.push_back(e.action);
    EXPECT_EQ(ends, (std::vector<int16_t>{9, 7}));
}

namespace {

// Two controls on two pty pairs joined by a relay that copies both ways.
class TwoControls : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vort-two-" + std::to_string(getpid()));
        fs::create_directories(dir_ / "in");
        map_.map(41, a_.slavePath());
        map_.map(42, b_.slavePath());
        relay_ = std::thread([this] { relay(); });
        sender_.setCommPort(41);
        receiver_.setCommPort(42);
        for (auto* c : {&sender_, &receiver_})
            c->setSettings(u"115200,N,8,1");
        sender_.setNotificationWindow(&recS_);
        receiver_.setNotificationWindow(&recR_);
    }
    void TearDown() override {
        sender_.setPortOpen(false);
        receiver_.setPortOpen(false);
        sender_.setNotificationWindow(nullptr);
        receiver_.setNotificationWindow(nullptr);
        stop_ = true;
        relay_.join();
        fs::remove_all(dir_);
    }
    void relay() {
        char buf[8192];
        while (!stop_) {
            pollfd p[2] = {{a_.master(), POLLIN, 0}, {b_.master(), POLLIN, 0}};
            if (::poll(p, 2, 20) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & POLLIN))
                    continue;
                const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
                for (ssize_t off = 0; n > 0 && off < n && !stop_;) {
                    const ssize_t w = ::write(p[1 - i].fd, buf + off, static_cast<size_t>(n - off));
                    if (w > 0)
                        off += w;
                }
            }
        }
    }
    fs::path dir_;
    test::PtyPair a_, b_;
    test::ScopedPortMap map_;
    std::atomic<bool> stop_{false};
    std::thread relay_;
    Recorder recS_, recR_;
    CVortCtrl sender_, receiver_;
};

} // namespace

TEST_F(TwoControls, ZmodemControlToControl) {
    const std::string sent = writeRandomFile(dir_ / "img.bin", 300000, 21);
    sender_.setPortOpen(true);
    receiver_.setPortOpen(true);
    receiver_.setFileDownLoadDir(u16((dir_ / "in").string()));
    receiver_.setProtocol(kProtocolZmodem);
    sender_.setProtocol(kProtocolZmodem);
    receiver_.setFileReceive(true);
    sender_.setFileName(u16((dir_ / "img.bin").string()));
    sender_.setFileTransmit(true);
    ASSERT_TRUE(
        waitFor([&] { return !sender_.jobProcessing() && !receiver_.jobProcessing(); }, 30000));
    EXPECT_EQ(fileHash(dir_ / "in" / "img.bin"), sent);
    EXPECT_EQ(sender_.fileSize(), 300000);
    EXPECT_EQ(recS_.count(7), 1);
}

TEST_F(TwoControls, FileOverThe3964LinkArrivesIdentical) {
    static int argc = 1;
    static char name[] = "transfer_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QApplication(argc, argv);
    const std::string sent = writeRandomFile(dir_ / "t.bin", 50000, 31);
    for (auto* c : {&sender_, &receiver_})
        c->setProtocol(kProtocol3964);
    sender_.setPortOpen(true);
    receiver_.setPortOpen(true);
    ASSERT_EQ(sender_.protocol(), kProtocol3964);
    sender_.setS3964Master(true);
    receiver_.setFileName(u16((dir_ / "in" / "t.bin").string()));
    receiver_.setFileReceive(true);
    sender_.setFileName(u16((dir_ / "t.bin").string()));
    sender_.setFileTransmit(true);
    ASSERT_TRUE(
        waitFor([&] { return !sender_.jobProcessing() && !receiver_.jobProcessing(); }, 60000));
    EXPECT_EQ(fileHash(dir_ / "in" / "t.bin"), sent);
    EXPECT_TRUE(recS_.events().empty()); // the 3964 file transfer reports no file events
}

// Protocol leaving 7 on both controls stops their links while their 3964 file jobs run:
// each job keeps the link library loaded until it ends, so the jobs end by themselves.
TEST_F(TwoControls, LeavingProtocol7DuringA3964FileJobKeepsItsLibraryLoaded) {
    static int argc = 1;
    static char name[] = "transfer_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QApplication(argc, argv);
    writeRandomFile(dir_ / "t.bin", 1u << 20, 32);
    for (auto* c : {&sender_, &receiver_})
        c->setProtocol(kProtocol3964);
    sender_.setPortOpen(true);
    receiver_.setPortOpen(true);
    ASSERT_EQ(sender_.protocol(), kProtocol3964);
    sender_.setS3964Master(true);
    const fs::path target = dir_ / "in" / "t.bin";
    receiver_.setFileName(u16(target.string()));
    receiver_.setFileReceive(true);
    sender_.setFileName(u16((dir_ / "t.bin").string()));
    sender_.setFileTransmit(true);
    ASSERT_TRUE(waitFor(
        [&] {
            std::error_code ec;
            return fs::file_size(target, ec) > 0 && !ec;
        },
        30000));
    for (auto* c : {&sender_, &receiver_})
        c->setProtocol(kProtocolZmodem);
    EXPECT_EQ(sender_.protocol(), kProtocolZmodem);
    EXPECT_TRUE(
        waitFor([&] { return !sender_.jobProcessing() && !receiver_.jobProcessing(); }, 60000));
}

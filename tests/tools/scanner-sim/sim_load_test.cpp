// Firmware image loads by ZMODEM: with lrzsz's rz as the simulator's receiver and sz as
// the PC's sender (peers we did not write), and the refusal when no receiver is there.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <random>
#include <spawn.h>
#include <sys/wait.h>

#include "pc_line.h"
#include "support/scanner_sim_harness.h"
#include "tools/scanner-sim/sha256.h"

extern char** environ;

namespace scanner_sim_test {
namespace {

using namespace std::chrono_literals;

std::string makeImage(const std::string& path, const std::string& version, size_t size) {
    std::string image(size, '\0');
    std::mt19937 rng(size);
    for (char& c : image)
        c = static_cast<char>(rng());
    auto put = [&](size_t pos, const std::string& text) { image.replace(pos, text.size(), text); };
    if (size >= 108) {
        put(0, std::string(108, ' '));
        put(48, std::to_string(size));
        put(64, "1F2E");
        put(80, version);
        put(96, "Apr 01 2026");
    }
    std::ofstream(path, std::ios::binary) << image;
    scanner_sim::Sha256 h;
    h.update(image);
    return h.finishHex();
}

// Runs lrzsz's sz on the PC's line; returns its exit status.
int runSz(int fd, const std::string& file) {
    // sz reads with blocking calls; the flag belongs to the shared open file.
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 0);
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"sz", "--binary", "--quiet", file.c_str(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, "sz", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (rc == 0)
        waitpid(pid, &status, 0);
    fcntl(fd, F_SETFL, flags);
    if (rc != 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SimLoad, ImageByZmodemBecomesTheApplicationRevision) {
    vort::test::ScannerSimHarness sim;
    ASSERT_TRUE(sim.start({.rz = true})) << sim.error();
    const std::string file = sim.scratchDir() + "/app1.bin";
    const std::string sha = makeImage(file, "3.30", 70000);

    PcLine pc(sim.devicePath(), B9600);
    pc.sendFrame("<APP1RV:>");
    EXPECT_EQ(pc.readAnswer(), "\x06"
                               "3.22   \r\n");
    pc.sendFrame("<A1CODE=Z>");
    const std::string reply = pc.readAck();
    ASSERT_EQ(reply.substr(0, 1), "\x06") << reply;
    ASSERT_EQ(runSz(pc.fd(), file), 0);

    // The sim reports the image once the receiver has finished.
    auto image = sim.waitForImage(0, 10s);
    std::string log;
    for (const auto& l : sim.logLines())
        log += l.substr(0, 200) + "\n";
    ASSERT_TRUE(image) << log;
    ASSERT_TRUE(image->ok) << image->error;
    EXPECT_EQ(image->size, 70000u);
    EXPECT_EQ(image->sha256, sha);
    EXPECT_EQ(scanner_sim::sha256OfFile(image->path), sha);
    EXPECT_EQ(image->target, "A1CODE");
    EXPECT_EQ(image->version, "3.30");
    EXPECT_EQ(image->previous, "3.22");

    // Behind the receiver's last bytes, which the sender left unread.
    const std::string revision330 = "\x06"
                                    "3.30   \r\n";
    pc.sendFrame("<APP1RV:>");
    EXPECT_EQ(pc.replyAfterLeftovers(revision330), revision330);

    // An image no longer than its header carries no version: the revision stays.
    const std::string tiny = sim.scratchDir() + "/tiny.bin";
    makeImage(tiny, "9.99", 108);
    pc.sendFrame("<A1CODE=Z>");
    ASSERT_EQ(pc.readAck().substr(0, 1), "\x06");
    ASSERT_EQ(runSz(pc.fd(), tiny), 0);
    image = sim.waitForImage(1, 10s);
    ASSERT_TRUE(image && image->ok);
    EXPECT_EQ(image->count, 2u);
    EXPECT_EQ(image->size, 108u);
    EXPECT_EQ(image->version, "");
    pc.sendFrame("<APP1RV:>");
    EXPECT_EQ(pc.replyAfterLeftovers(revision330), revision330);
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(sim.stderrText(), "");
}

// True when the transfer library beside the simulator has its ZMODEM receiver.
bool libraryReceives() {
    const char* out = std::getenv("VORT_BUILD_OUT");
    const std::string path = std::string(out ? out : ".") + "/libtransvex.so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;
    const bool has = dlsym(handle, "XferReceiveZmodem") != nullptr;
    dlclose(handle);
    return has;
}

TEST(SimLoad, OurTransferLibraryReceivesFromLrzszSender) {
    if (!libraryReceives())
        GTEST_SKIP() << "the transfer library has no ZMODEM receiver yet";
    vort::test::ScannerSimHarness sim;
    ASSERT_TRUE(sim.start()) << sim.error();
    const std::string file = sim.scratchDir() + "/app2.bin";
    const std::string sha = makeImage(file, "1.07", 40000);
    PcLine pc(sim.devicePath(), B9600);
    pc.sendFrame("<A2CODE=Z>");
    ASSERT_EQ(pc.readAck().substr(0, 1), "\x06");
    ASSERT_EQ(runSz(pc.fd(), file), 0);
    auto image = sim.waitForImage(0, 20s);
    std::string log;
    for (const auto& l : sim.logLines())
        log += l.substr(0, 200) + "\n";
    ASSERT_TRUE(image) << log;
    ASSERT_TRUE(image->ok) << image->error << "\n" << log;
    EXPECT_EQ(image->sha256, sha);
    EXPECT_EQ(image->target, "A2CODE");
    pc.sendFrame("<APP2RV:>");
    const std::string revision107 = "\x06"
                                    "1.07   \r\n";
    EXPECT_EQ(pc.replyAfterLeftovers(revision107), revision107);
}

TEST(SimLoad, LibraryReceiverGetsItsOwnPortAndTheClosingOO) {
    const char* out = std::getenv("VORT_BUILD_OUT");
    const std::string fake = std::string(out ? out : ".") + "/libscanner_sim_fake_transfer.so";
    vort::test::ScannerSimHarness sim;
    ASSERT_TRUE(sim.start({.args = {"--transfer-library", fake}})) << sim.error();
    const std::string file = sim.scratchDir() + "/boot.bin";
    const std::string sha = makeImage(file, "2.05", 3000);
    std::ifstream in(file, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    PcLine pc(sim.devicePath());
    pc.sendFrame("<BTCODE=Z>");
    ASSERT_EQ(pc.readAck(), "\x06");
    pc.write(image + "<<END>>");
    // The library's closing header reaches the PC; the "OO" it waits for comes from the
    // relay, since this PC never sends one.
    const std::string closing = pc.readUntil(
        [](const std::string& s) { return s.find("B08") != std::string::npos; }, 5000ms);
    EXPECT_NE(closing.find("**\x18"
                           "B08"),
              std::string::npos);
    auto result = sim.waitForImage(0, 10s);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->ok) << result->error;
    EXPECT_EQ(result->sha256, sha);
    EXPECT_EQ(result->path, sim.imageDir() + "/fake.bin");
    EXPECT_EQ(result->target, "BTCODE");
    EXPECT_EQ(sim.get("BOOTRV"), "2.05");
    EXPECT_EQ(sim.get("APP1RV"), "3.22");
    pc.sendFrame("<TXPING:>");
    EXPECT_EQ(pc.readAck(), "\x06");
}

TEST(SimLoad, WithoutAReceiverTheLoadTokenIsNaked) {
    vort::test::ScannerSimHarness sim;
    ASSERT_TRUE(sim.start({.args = {"--transfer-library", "/nonexistent/libtransvex.so"}}))
        << sim.error();
    PcLine pc(sim.devicePath());
    pc.sendFrame("<A1CODE=Z>");
    EXPECT_EQ(pc.readAck(), "\x15");
    pc.sendFrame("<TXPING:>");
    EXPECT_EQ(pc.readAck(), "\x06");
    bool explained = false;
    for (const auto& l : sim.logLines())
        explained |= l.find("not available") != std::string::npos;
    EXPECT_TRUE(explained);

    vort::test::ScannerSimHarness noRz;
    ASSERT_TRUE(noRz.start({.args = {"--rz-program", "/nonexistent/rz"}, .rz = true}))
        << noRz.error();
    PcLine pc2(noRz.devicePath());
    pc2.sendFrame("<A1CODE=Z>");
    EXPECT_EQ(pc2.readAck(), "\x15");
}

TEST(SimLoad, ASenderThatNeverComesIsGivenUp) {
    vort::test::ScannerSimHarness sim;
    ASSERT_TRUE(sim.start({.args = {"--load-timeout", "1"}, .rz = true})) << sim.error();
    PcLine pc(sim.devicePath());
    pc.sendFrame("<A1CODE=Z>");
    ASSERT_EQ(pc.readAck().substr(0, 1), "\x06");
    pc.setSpeed(B19200); // a sender at the wrong rate is no sender
    pc.write("rz\r**\x18"
             "B00000000000000\r\n");
    EXPECT_FALSE(sim.waitForImage(0, 200ms)); // still waiting for a sender
    auto image = sim.waitForImage(0, 10s);
    ASSERT_TRUE(image);
    EXPECT_FALSE(image->ok);
    EXPECT_EQ(image->target, "A1CODE");
    bool noted = false;
    for (const auto& l : sim.logLines())
        noted |= l.find("PC at 19200 baud") != std::string::npos;
    EXPECT_TRUE(noted);
    pc.setSpeed(B9600);
    // Behind whatever the receiver sent while it waited.
    pc.sendFrame("<APP1RV:>");
    const std::string revision322 = "\x06"
                                    "3.22   \r\n";
    EXPECT_EQ(pc.replyAfterLeftovers(revision322), revision322);
}

} // namespace
} // namespace scanner_sim_test

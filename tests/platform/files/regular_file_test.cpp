// Reading a configuration file: only a regular file is read, nothing else is opened.
#include "platform/files/regular_file.h"
#include "support/non_regular_files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vort::files {
namespace {

namespace fs = std::filesystem;
using test::endsWithoutBlocking;

class RegularFileTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return scratch_.path(name); }
    test::ScratchDirectory scratch_;
};

TEST_F(RegularFileTest, ReadsAFileAndCutsItAtTheLimit) {
    test::writeFileText(path("a"), "0123456789");
    ReadResult r = readRegularFile(path("a"), 10);
    EXPECT_EQ(r.outcome, ReadOutcome::Read);
    EXPECT_EQ(r.text, "0123456789");
    EXPECT_FALSE(r.truncated);
    r = readRegularFile(path("a"), 4);
    EXPECT_EQ(r.text, "0123");
    EXPECT_TRUE(r.truncated);

    r = readRegularFile(path("missing"), 10);
    EXPECT_EQ(r.outcome, ReadOutcome::Missing);
    EXPECT_EQ(r.failure.text(), path("missing") + ": No such file or directory");
}

TEST_F(RegularFileTest, EverythingElseIsRefusedWithoutBlockingAndNamed) {
    test::makeFifo(path("fifo"));
    fs::create_directory(path("dir"));
    ASSERT_EQ(::symlink("fifo", path("link-to-fifo").c_str()), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = path("sock");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const std::pair<std::string, std::string> cases[] = {
        {path("fifo"), "a FIFO (named pipe)"},
        {path("link-to-fifo"), "a FIFO (named pipe)"},
        {path("dir"), "a directory"},
        {"/dev/null", "a character device"},
        {socketPath, "a socket"},
    };
    for (const auto& [where, what] : cases) {
        ReadResult r;
        ASSERT_TRUE(endsWithoutBlocking(path("fifo"), [&] { r = readRegularFile(where, 100); }))
            << where;
        EXPECT_EQ(r.outcome, ReadOutcome::Failed) << where;
        EXPECT_EQ(r.failure.err, 0);
        EXPECT_EQ(r.failure.text(), where + ": " + what + ", not a regular file");
    }
    ::close(sock);
}

} // namespace
} // namespace vort::files

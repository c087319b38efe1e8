// Editing the port map that turns port numbers into device paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "libs/serilon/port_map.h"
#include "support/non_regular_files.h"
#include "tools/scanner-sim/port_map_file.h"

namespace scanner_sim {
namespace {

TEST(PortMapText, SetReplacesTheEntryAndKeepsEverythingElse) {
    const std::string text = "# my ports\nCOM1=/dev/ttyUSB0\n  com3 = /dev/old  # note\n"
                             "COM30=/dev/x\nCOM3=/dev/older\n";
    EXPECT_EQ(withPortEntry(text, 3, "/dev/pts/7"),
              "# my ports\nCOM1=/dev/ttyUSB0\nCOM3=/dev/pts/7\nCOM30=/dev/x\n");
    EXPECT_EQ(withPortEntry("COM1=/a", 2, "/b"), "COM1=/a\nCOM2=/b\n");
    EXPECT_EQ(withPortEntry("", 255, "/b"), "COM255=/b\n");
    // Lines that only look like entries are kept as they are.
    EXPECT_EQ(withPortEntry("COMX=/a\nCOM0=/b\nCOM256=/c\n", 1, "/d"),
              "COMX=/a\nCOM0=/b\nCOM256=/c\nCOM1=/d\n");
}

TEST(PortMapText, RemoveTakesOnlyOurOwnEntry) {
    EXPECT_EQ(withoutPortEntry("COM1=/a\nCOM3=/dev/pts/7\n# c\n", 3, "/dev/pts/7"),
              "COM1=/a\n# c\n");
    // Someone pointed COM3 elsewhere meanwhile: their entry stays.
    const std::string theirs = "COM3=/dev/ttyUSB1";
    EXPECT_EQ(withoutPortEntry(theirs, 3, "/dev/pts/7"), theirs);
}

// The simulator takes a line for an entry exactly when the serial core reads it as
// one: comments after a blank (any blank), a path that is only a comment, a '#' inside
// a path.
TEST(PortMapText, LinesAreReadAsTheSerialCoreReadsThem) {
    const std::string lines[] = {
        "COM3=/dev/a # the scanner",
        "  com3 = /dev/a\t#x",
        "COM3=/dev/a\v# spare",
        "COM3=/dev/a\f",
        "COM3= # no path yet",
        "# COM3=/dev/a",
        "COM3 # =/dev/a",
        "COM3=/dev/serial/by-id/x#1",
        "COM003=/dev/a",
    };
    for (const std::string& line : lines) {
        const serilon::PortMap read = serilon::parsePortMap(line);
        if (read.count(3) == 1) {
            EXPECT_EQ(withPortEntry(line, 3, "/new"), "COM3=/new\n") << line;
            EXPECT_EQ(withoutPortEntry(line, 3, read.at(3)), "") << line;
        } else {
            EXPECT_EQ(withPortEntry(line, 3, "/new"), line + "\nCOM3=/new\n") << line;
        }
    }
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PortMapFile, CreatesDirectoriesAndRoundTrips) {
    char dir[] = "/tmp/simmap-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    const std::string file = std::string(dir) + "/a/serilon/ports.conf";
    std::string error;
    ASSERT_TRUE(setPortEntry(file, 4, "/dev/pts/9", error)) << error;
    EXPECT_EQ(slurp(file), "COM4=/dev/pts/9\n");
    struct stat folder {};
    ASSERT_EQ(stat((std::string(dir) + "/a/serilon").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u) << "the map's new folder is its user's alone";
    ASSERT_TRUE(setPortEntry(file, 1, "/dev/ttyS0", error));
    ASSERT_TRUE(removePortEntry(file, 4, "/dev/pts/9", error));
    EXPECT_EQ(slurp(file), "COM1=/dev/ttyS0\n");
    // No write permission: a clear error, nothing lost.
    if (geteuid() != 0) {
        chmod((std::string(dir) + "/a/serilon").c_str(), 0500);
        EXPECT_FALSE(setPortEntry(file, 2, "/x", error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(slurp(file), "COM1=/dev/ttyS0\n");
        chmod((std::string(dir) + "/a/serilon").c_str(), 0700);
    }
    unlink(file.c_str());
    rmdir((std::string(dir) + "/a/serilon").c_str());
    rmdir((std::string(dir) + "/a").c_str());
    rmdir(dir);
}

TEST(PortMapFile, ALinkedPrivateMapStaysLinkedAndPrivateAndAFifoIsRefusedAtOnce) {
    vort::test::ScratchDirectory dir;
    const std::string target = dir.path("kept-elsewhere.conf");
    const std::string file = dir.path("ports.conf");
    vort::test::writeFileText(target, "# mine\nCOM1=/dev/ttyUSB0\n");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    ASSERT_EQ(symlink("kept-elsewhere.conf", file.c_str()), 0);
    std::string error;
    ASSERT_TRUE(setPortEntry(file, 3, "/dev/pts/4", error)) << error;
    EXPECT_TRUE(vort::test::isSymlink(file));
    EXPECT_EQ(slurp(target), "# mine\nCOM1=/dev/ttyUSB0\nCOM3=/dev/pts/4\n");
    EXPECT_EQ(vort::test::permissionsOf(target), 0600);
    ASSERT_EQ(unlink(file.c_str()), 0);
    vort::test::makeFifo(file);
    bool set = true;
    EXPECT_TRUE(vort::test::endsWithoutBlocking(
        file, [&] { set = setPortEntry(file, 3, "/dev/pts/4", error); }));
    EXPECT_FALSE(set);
    EXPECT_EQ(error, "cannot read " + file + ": a FIFO (named pipe), not a regular file");
    EXPECT_TRUE(vort::test::isFifo(file));
}

// The simulator writes the map where the serial core looks for it.
TEST(PortMapFile, DefaultPathFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(serilon::portMapPath(), "/tmp/cfg/serilon/ports.conf");
    setenv("XDG_CONFIG_HOME", "relative", 1); // not absolute: ignored
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(serilon::portMapPath(), "/home/u/.config/serilon/ports.conf");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
}

} // namespace
} // namespace scanner_sim

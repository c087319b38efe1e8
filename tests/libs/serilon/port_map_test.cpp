#include "libs/serilon/port_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "support/non_regular_files.h"
#include "support/pty_pair.h"

using serilon::devicePathFor;
using serilon::parsePortMap;

TEST(SerilonPortMapParse, AcceptsTheDocumentedForms) {
    const auto map = parsePortMap("# port = device\n"
                                  "COM1=/dev/ttyUSB0\n"
                                  "\n"
                                  "  com3 =  /dev/serial/by-id/usb-A_B-if00-port0  \r\n"
                                  "Com12\t=\t/dev/pts/7\n"
                                  "COM255=/dev/last\n"
                                  "COM004=/dev/leading-zeros");
    ASSERT_EQ(map.size(), 5u);
    EXPECT_EQ(map.at(1), "/dev/ttyUSB0");
    EXPECT_EQ(map.at(3), "/dev/serial/by-id/usb-A_B-if00-port0");
    EXPECT_EQ(map.at(12), "/dev/pts/7");
    EXPECT_EQ(map.at(255), "/dev/last");
    EXPECT_EQ(map.at(4), "/dev/leading-zeros");
}

TEST(SerilonPortMapParse, SkipsBadLinesAndKeepsGoodOnes) {
    const auto map = parsePortMap("COM0=/dev/zero-port\n"
                                  "COM256=/dev/too-high\n"
                                  "COM99999999999999999999=/dev/overflow\n"
                                  "COM=/dev/no-number\n"
                                  "COM2\n"
                                  "COM2=\n"
                                  "COM-1=/dev/negative\n"
                                  "COMx=/dev/letter\n"
                                  "TTY1=/dev/other\n"
                                  "COM 5=/dev/blank-inside\n"
                                  "COM6=/dev/good\n");
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at(6), "/dev/good");
}

TEST(SerilonPortMapParse, CommentsAndDuplicates) {
    const auto map = parsePortMap("#COM1=/dev/commented\n"
                                  "   # COM2=/dev/commented-too\n"
                                  "COM3=/dev/a # the scanner\n"
                                  "COM4=/dev/with#hash\n"
                                  "COM5=/dev/first\n"
                                  "COM5=/dev/second\n");
    EXPECT_EQ(map.count(1), 0u);
    EXPECT_EQ(map.count(2), 0u);
    EXPECT_EQ(map.at(3), "/dev/a");
    EXPECT_EQ(map.at(4), "/dev/with#hash");
    EXPECT_EQ(map.at(5), "/dev/second");
}

TEST(SerilonPortMapParse, PathKeepsEqualsSignsAndInnerBlanks) {
    const auto map = parsePortMap("COM7=/dev/odd=name with blank\n");
    EXPECT_EQ(map.at(7), "/dev/odd=name with blank");
}

TEST(SerilonPortMapParse, JunkNeverBreaksTheParser) {
    std::string nul("COM1=/dev/a\0b\nCOM2=/dev/ok", 26);
    auto map = parsePortMap(nul);
    EXPECT_EQ(map.count(1), 0u);
    EXPECT_EQ(map.at(2), "/dev/ok");

    EXPECT_TRUE(parsePortMap("").empty());
    EXPECT_TRUE(parsePortMap("\n\n\n=\n==\n#").empty());
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        std::string text(std::size_t(rng() % 300), '\0');
        for (char& c : text) {
            c = "COMcom0123456789=#/ \t\r\n\xff\x80"[rng() % 24];
        }
        for (const auto& [port, path] : parsePortMap(text)) {
            EXPECT_GE(port, 1);
            EXPECT_LE(port, 255);
            EXPECT_FALSE(path.empty());
        }
    }
}

TEST(SerilonPortMapLookup, DefaultsToTtyS) {
    const auto map = parsePortMap("COM2=/dev/ttyUSB0\n");
    EXPECT_EQ(devicePathFor(map, 1), "/dev/ttyS0");
    EXPECT_EQ(devicePathFor(map, 2), "/dev/ttyUSB0");
    EXPECT_EQ(devicePathFor(map, 255), "/dev/ttyS254");
}

TEST(SerilonPortMapLookup, FileLocationFollowsXdgThenHome) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string xdg = savedXdg ? savedXdg : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(serilon::portMapPath(), "/tmp/cfg/serilon/ports.conf");
    // A relative XDG_CONFIG_HOME is not valid and is ignored.
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(serilon::portMapPath(), "/home/someone/.config/serilon/ports.conf");
    if (savedXdg) {
        ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(SerilonPortMapLookup, OnlyARegularFileIsReadAndAnythingElseIsNamed) {
    vort::test::ScopedPortMap scratch;
    const std::string file = scratch.configHome() + "/serilon/ports.conf";
    std::string refused = "stale";
    scratch.writeText("COM2=/dev/ttyUSB1\n");
    EXPECT_EQ(serilon::loadPortMap(&refused).at(2), "/dev/ttyUSB1");
    EXPECT_EQ(refused, "");
    ASSERT_EQ(::unlink(file.c_str()), 0);
    refused = "stale";
    EXPECT_TRUE(serilon::loadPortMap(&refused).empty()) << "no map file: an empty map";
    EXPECT_EQ(refused, "");

    vort::test::makeFifo(file);
    serilon::PortMap map{{1, "stale"}};
    EXPECT_TRUE(
        vort::test::endsWithoutBlocking(file, [&] { map = serilon::loadPortMap(&refused); }));
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(refused, "the port map " + file + ": a FIFO (named pipe), not a regular file");

    ASSERT_EQ(::unlink(file.c_str()), 0);
    ASSERT_EQ(::mkdir(file.c_str(), 0700), 0);
    EXPECT_TRUE(serilon::loadPortMap(&refused).empty());
    EXPECT_EQ(refused, "the port map " + file + ": a directory, not a regular file");
}

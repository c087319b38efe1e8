// The device list's parts that need no device database: who holds a device, the node
// order, matching a path, and setting a port's line in the map file.
#include "libs/serilon/device_list.h"
#include "libs/serilon/port_map.h"
#include "libs/serilon/port_map_edit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "support/non_regular_files.h"

using namespace serilon;
using vort::test::fileText;
using vort::test::ScratchDirectory;
using vort::test::writeFileText;

TEST(SerilonDeviceLocks, ReadsEveryLockOfProcLocks) {
    const auto locks = parseProcLocks("1: FLOCK  ADVISORY  WRITE 4711 00:1a:3 0 EOF\n"
                                      "1: -> FLOCK  ADVISORY  WRITE 4712 00:1a:3 0 EOF\n"
                                      "2: POSIX  ADVISORY  READ 99 fd:01:123456789012 0 EOF\n"
                                      "3: OFDLCK ADVISORY  READ -1 00:05:12 0 9\n"
                                      "garbage line\n"
                                      "4: FLOCK  ADVISORY  WRITE 1 zz:1a:3 0 EOF\n"
                                      "5: FLOCK  ADVISORY  WRITE 1 00:1a 0 EOF");
    ASSERT_EQ(locks.size(), 4u);
    EXPECT_EQ(locks[0], (LockedFile{0, 0x1a, 3}));
    EXPECT_EQ(locks[1], (LockedFile{0, 0x1a, 3}));
    EXPECT_EQ(locks[2], (LockedFile{0xfd, 1, 123456789012ull}));
    EXPECT_EQ(locks[3], (LockedFile{0, 5, 12}));
    EXPECT_TRUE(parseProcLocks("").empty());
}

TEST(SerilonDeviceLocks, AFlockOnTheNodeShowsInProcLocks) {
    ScratchDirectory dir;
    const std::string node = dir.path("node");
    writeFileText(node, "");
    EXPECT_FALSE(lockedByInode(readProcLocks(), node));
    const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(lockedByInode(readProcLocks(), node));
    ::close(fd);
    EXPECT_FALSE(lockedByInode(readProcLocks(), node));
    EXPECT_FALSE(lockedByInode(readProcLocks(), dir.path("missing")));
}

TEST(SerilonDeviceLocks, UucpLockFilesCountWhileTheirProcessLives) {
    EXPECT_EQ(parseUucpLockPid("      4711\n"), 4711);
    EXPECT_EQ(parseUucpLockPid("4711"), 4711);
    const std::int32_t binary = 4711;
    EXPECT_EQ(parseUucpLockPid(std::string_view(reinterpret_cast<const char*>(&binary), 4)), 4711);
    EXPECT_FALSE(parseUucpLockPid(""));
    EXPECT_FALSE(parseUucpLockPid("0\n"));
    EXPECT_FALSE(parseUucpLockPid("12ab\n"));
    EXPECT_FALSE(parseUucpLockPid("99999999999\n"));

    ScratchDirectory dir;
    const std::vector<std::string> dirs{dir.path("none"), dir.path()};
    EXPECT_FALSE(uucpLocked("/dev/ttyUSB0", dirs));
    writeFileText(dir.path("LCK..ttyUSB0"), "      " + std::to_string(::getpid()) + "\n");
    EXPECT_TRUE(uucpLocked("/dev/ttyUSB0", dirs));
    EXPECT_FALSE(uucpLocked("/dev/ttyUSB1", dirs));
    // A stale file: its process has ended (pid_max is at most 4194304).
    writeFileText(dir.path("LCK..ttyUSB0"), "4194305\n");
    EXPECT_FALSE(uucpLocked("/dev/ttyUSB0", dirs));
}

namespace {

DeviceRecord record(const std::string& node, std::vector<std::string> links = {}) {
    DeviceRecord r;
    std::strncpy(r.info.node, node.c_str(), sizeof r.info.node - 1);
    r.links = std::move(links);
    return r;
}

} // namespace

TEST(SerilonDeviceList, SortsByNodeWithNumbersByValue) {
    std::vector<DeviceRecord> devices{record("/dev/ttyUSB10"), record("/dev/ttyUSB2"),
                                      record("/dev/ttyS0"),    record("/dev/ttyACM1"),
                                      record("/dev/rfcomm0"),  record("/dev/ttyUSB1")};
    sortByNode(devices);
    std::vector<std::string> nodes;
    for (const auto& d : devices) {
        nodes.emplace_back(d.info.node);
    }
    EXPECT_EQ(nodes, (std::vector<std::string>{"/dev/rfcomm0", "/dev/ttyACM1", "/dev/ttyS0",
                                               "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB10"}));
    EXPECT_FALSE(nodeLess("/dev/ttyUSB2", "/dev/ttyUSB2"));
    EXPECT_TRUE(nodeLess("/dev/ttyS9", "/dev/ttyS10a"));
}

TEST(SerilonDeviceList, FindsADeviceByNodeLinkOrAPathLeadingToIt) {
    ScratchDirectory dir;
    writeFileText(dir.path("ttyUSB0"), "");
    ASSERT_EQ(::symlink(dir.path("ttyUSB0").c_str(), dir.path("alias").c_str()), 0);
    const std::vector<DeviceRecord> devices{
        record("/dev/ttyACM0", {"/dev/serial/by-id/usb-X-if00"}),
        record(dir.path("ttyUSB0"), {"/dev/serial/by-id/usb-Y-if00-port0"})};
    EXPECT_EQ(findByPath(devices, "/dev/ttyACM0"), &devices[0]);
    EXPECT_EQ(findByPath(devices, "/dev/serial/by-id/usb-Y-if00-port0"), &devices[1]);
    EXPECT_EQ(findByPath(devices, dir.path("alias")), &devices[1]);
    EXPECT_EQ(findByPath(devices, "/dev/serial/by-id/usb-Z"), nullptr);
    EXPECT_EQ(findByPath({}, "/dev/ttyACM0"), nullptr);
}

TEST(SerilonPortMapEdit, SetsOnePortAndKeepsEveryOtherLine) {
    const std::string text = "# my ports\n"
                             "COM1=/dev/ttyS0   # the old box\n"
                             "\n"
                             "com2 = /dev/ttyUSB3\n"
                             "COM1=/dev/ttyS9\n"
                             "COM3=/dev/ttyACM0";
    EXPECT_EQ(setPortMapEntry(text, 1, "/dev/serial/by-id/usb-A"),
              "# my ports\n"
              "COM1=/dev/serial/by-id/usb-A   # the old box\n"
              "\n"
              "com2 = /dev/ttyUSB3\n"
              "COM3=/dev/ttyACM0\n");
    EXPECT_EQ(setPortMapEntry(text, 4, "/dev/x"), text + "\nCOM4=/dev/x\n");
    EXPECT_EQ(setPortMapEntry("", 255, "/dev/x"), "COM255=/dev/x\n");
    // What was written reads back as written.
    EXPECT_EQ(parsePortMap(setPortMapEntry(text, 1, "/dev/y#1")).at(1), "/dev/y#1");
}

TEST(SerilonPortMapEdit, RefusesWhatCannotStandInAMapLine) {
    EXPECT_EQ(mapPathProblem("/dev/serial/by-id/usb-A#1"), "");
    for (const char* bad : {"", "ttyUSB0", "/dev/a\nCOM2=/dev/b", "/dev/a ", "/dev/a #b"}) {
        EXPECT_NE(mapPathProblem(bad), "") << bad;
    }
    EXPECT_NE(mapPathProblem(std::string_view("/dev/a\0b", 8)), "");
}

TEST(SerilonPortMapEdit, WritesAtomicallyKeepingModeAndRefusingNonFiles) {
    ScratchDirectory dir;
    std::string error;
    // Missing file and folder: both made.
    const std::string fresh = dir.path("new/serilon/ports.conf");
    ASSERT_EQ(writePortMapEntry(fresh, 2, "/dev/ttyUSB0", error), MapWrite::Written) << error;
    EXPECT_EQ(fileText(fresh), "COM2=/dev/ttyUSB0\n");

    const std::string map = dir.path("ports.conf");
    writeFileText(map, "# keep\nCOM1=/dev/ttyS0\n");
    ASSERT_EQ(::chmod(map.c_str(), 0600), 0);
    ASSERT_EQ(writePortMapEntry(map, 1, "/dev/ttyUSB0", error), MapWrite::Written) << error;
    EXPECT_EQ(fileText(map), "# keep\nCOM1=/dev/ttyUSB0\n");
    EXPECT_EQ(vort::test::permissionsOf(map), 0600);

    EXPECT_EQ(writePortMapEntry(map, 0, "/dev/ttyUSB0", error), MapWrite::Invalid);
    EXPECT_NE(error.find("outside 1..255"), std::string::npos) << error;
    EXPECT_EQ(writePortMapEntry(map, 1, "relative", error), MapWrite::Invalid);
    EXPECT_EQ(fileText(map), "# keep\nCOM1=/dev/ttyUSB0\n");

    const std::string fifo = dir.path("fifo.conf");
    vort::test::makeFifo(fifo);
    EXPECT_EQ(writePortMapEntry(fifo, 1, "/dev/ttyUSB0", error), MapWrite::Invalid);
    EXPECT_NE(error.find(fifo), std::string::npos) << error;
    EXPECT_TRUE(vort::test::isFifo(fifo));
}

TEST(SerilonPortMapEdit, TheOverrideMapWinsPortByPort) {
    ScratchDirectory dir;
    const std::string user = dir.path("serilon/ports.conf");
    ASSERT_EQ(::mkdir(dir.path("serilon").c_str(), 0700), 0);
    writeFileText(user, "COM1=/dev/user1\nCOM2=/dev/user2\n");
    writeFileText(dir.path("extra.conf"), "COM2=/dev/extra2\nCOM9=/dev/extra9\n");
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    ::setenv("SERILON_PORT_MAP", dir.path("extra.conf").c_str(), 1);
    const PortMap map = loadPortMap();
    EXPECT_EQ(map.size(), 3u);
    EXPECT_EQ(map.at(1), "/dev/user1");
    EXPECT_EQ(map.at(2), "/dev/extra2");
    EXPECT_EQ(map.at(9), "/dev/extra9");

    // A missing override is no entries; one that is no file refuses the whole map.
    ::setenv("SERILON_PORT_MAP", dir.path("missing.conf").c_str(), 1);
    EXPECT_EQ(loadPortMap().at(2), "/dev/user2");
    vort::test::makeFifo(dir.path("fifo"));
    ::setenv("SERILON_PORT_MAP", dir.path("fifo").c_str(), 1);
    std::string refused;
    EXPECT_TRUE(loadPortMap(&refused).empty());
    EXPECT_NE(refused.find(dir.path("fifo")), std::string::npos);
    // Only an absolute path counts.
    ::setenv("SERILON_PORT_MAP", "extra.conf", 1);
    EXPECT_EQ(portMapOverridePath(), "");
    ::unsetenv("SERILON_PORT_MAP");
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

TEST(SerilonDeviceList, StableNamesComeFromTheLinkFoldersByIdFirst) {
    ScratchDirectory dir;
    ASSERT_EQ(::mkdir(dir.path("by-id").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(dir.path("by-path").c_str(), 0700), 0);
    writeFileText(dir.path("ttyUSB0"), "");
    writeFileText(dir.path("ttyUSB1"), "");
    ASSERT_EQ(::symlink("../ttyUSB0", dir.path("by-path/pci-0:1").c_str()), 0);
    ASSERT_EQ(::symlink("../ttyUSB0", dir.path("by-id/usb-B").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path("ttyUSB0").c_str(), dir.path("by-id/usb-A").c_str()), 0);
    ASSERT_EQ(::symlink("../gone", dir.path("by-id/usb-C").c_str()), 0);
    ASSERT_EQ(::symlink("../ttyUSB1", dir.path("by-path/pci-0:2").c_str()), 0);
    std::vector<DeviceRecord> devices{record(dir.path("ttyUSB0")), record(dir.path("ttyUSB1")),
                                      record("/dev/absent")};
    const std::string known = "/dev/serial/by-id/from-the-database";
    std::strcpy(devices[1].info.stableName, known.c_str());
    addStableLinks(devices, {dir.path("by-id"), dir.path("by-path")});
    EXPECT_EQ(devices[0].info.stableName, dir.path("by-id/usb-A"));
    EXPECT_EQ(devices[0].links,
              (std::vector<std::string>{dir.path("by-id/usb-A"), dir.path("by-id/usb-B"),
                                        dir.path("by-path/pci-0:1")}));
    EXPECT_EQ(devices[1].info.stableName, known);
    EXPECT_EQ(devices[1].links, (std::vector<std::string>{dir.path("by-path/pci-0:2")}));
    EXPECT_STREQ(devices[2].info.stableName, "");
}

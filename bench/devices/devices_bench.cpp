// Lists 50 fake USB serial adapters (each with its USB parents, a node and its
// /dev/serial links) through SerialListDevices, in a umockdev testbed made in-process:
// the device database, the link folders and /proc/locks are read on every call. The
// peers, in the same testbed and run: a plain readdir of /sys/class/tty that reads each
// entry's link (names and places only, nothing the list tells beyond them), and the
// device database's own enumeration of the tty class (libudev's udev_enumerate, names
// only, no attributes read). The best of the rounds counts, by the wall clock (the call
// waits on nothing; the best round is the one the shared machine disturbed least).
//
//   bench_devices [rounds]   (default 30; re-runs itself under umockdev-wrapper)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <libudev.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "serilon/serilon.h"
#include "support/umockdev_testbed.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDevices = 50;

template <class F> double bestMs(int rounds, F f) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        f();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (!vort::test::UmockdevTestbed::preloaded()) {
        setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 0);
        std::vector<char*> args{const_cast<char*>("umockdev-wrapper")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        execvp("umockdev-wrapper", args.data());
        std::perror("umockdev-wrapper (Debian package umockdev)");
        return 2;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    vort::test::UmockdevTestbed testbed;
    for (int i = 0; i < kDevices; ++i) {
        vort::test::FakeSerialDevice d;
        d.name = "ttyUSB" + std::to_string(i);
        d.serial = "BENCH" + std::to_string(i);
        d.usbPort = "1-" + std::to_string(i + 1);
        testbed.add(d);
    }

    std::vector<SerialDeviceInfo> list(kDevices + 8);
    int32_t count = 0;
    bool ok = true;
    const double listMs = bestMs(rounds, [&] {
        ok = SerialListDevices(list.data(), int32_t(list.size()), &count) == SERIAL_OK && ok;
    });
    int stable = 0;
    for (int i = 0; i < std::min<int>(count, int(list.size())); ++i)
        stable += list[std::size_t(i)].stableName[0] != '\0';

    std::size_t entries = 0;
    const double peerMs = bestMs(rounds, [&] {
        entries = 0;
        DIR* dir = opendir("/sys/class/tty");
        if (!dir)
            return;
        char target[512];
        while (const dirent* e = readdir(dir)) {
            if (e->d_name[0] == '.')
                continue;
            const std::string path = std::string("/sys/class/tty/") + e->d_name;
            if (readlink(path.c_str(), target, sizeof target) > 0)
                ++entries;
        }
        closedir(dir);
    });

    udev* database = udev_new();
    std::size_t enumerated = 0;
    const double enumerateMs = bestMs(rounds, [&] {
        enumerated = 0;
        udev_enumerate* e = udev_enumerate_new(database);
        udev_enumerate_add_match_subsystem(e, "tty");
        udev_enumerate_scan_devices(e);
        for (udev_list_entry* l = udev_enumerate_get_list_entry(e); l;
             l = udev_list_entry_get_next(l))
            ++enumerated;
        udev_enumerate_unref(e);
    });
    udev_unref(database);

    ok = ok && enumerated == std::size_t(kDevices) && count == kDevices && stable == kDevices &&
         entries == std::size_t(kDevices);
    std::printf("devices:                 %d listed, %d with a stable name (of %d)\n", count,
                stable, kDevices);
    std::printf("SerialListDevices:       %.2f ms (target < 50)\n", listMs);
    std::printf("readdir /sys/class/tty:  %.3f ms (%zu entries)\n", peerMs, entries);
    std::printf("udev_enumerate of tty:   %.2f ms (%zu devices)\n", enumerateMs, enumerated);
    std::printf("ratio list/readdir:      %.1f\n", listMs / peerMs);
    std::printf("ratio list/enumerate:    %.2f\n", listMs / enumerateMs);
    return ok ? 0 : 1;
}

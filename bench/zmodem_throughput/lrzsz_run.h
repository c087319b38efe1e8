// What the ZMODEM benchmarks share: timing lrzsz's sz against rz over a pair of terminal
// descriptors (random files and comparing copies come from the transfer tests' helpers).
#pragma once

#include "tests/libs/transvex/pty_peer.h"
#include "tests/libs/transvex/test_files.h"

#include <chrono>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

namespace transvex::test {

// 115200 baud, 8N1: bytes per second on the line.
inline constexpr double kLineRate = 11520.0;

inline double seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// sz on fdA sending names (files of srcDir), rz on fdB (in dir). Seconds, or -1.
inline double runLrzsz(int fdA, int fdB, const std::string& srcDir,
                       const std::vector<std::string>& names, const std::string& dir, bool szFirst,
                       int limitMs = 3600 * 1000) {
    std::vector<std::string> szArgs{"sz", "-q"};
    szArgs.insert(szArgs.end(), names.begin(), names.end());
    fcntl(fdA, F_SETFL, fcntl(fdA, F_GETFL) & ~O_NONBLOCK);
    fcntl(fdB, F_SETFL, fcntl(fdB, F_GETFL) & ~O_NONBLOCK);
    // Which of the two starts first changes how lrzsz runs: on the bare pty, with rz
    // there first it more often falls into a much slower mode; on the 115200-baud
    // line, with sz there first it loses some 30 s in its start-up. Each part starts
    // them in the order that suits lrzsz, the clock running from the second start.
    // The first is there once its opening header has reached the other end (left unread
    // for the second); should it say nothing, the second starts all the same and the
    // transfer fails on its own.
    const auto spoken = [](int otherEnd) {
        pollfd p{otherEnd, POLLIN, 0};
        ::poll(&p, 1, 10000);
    };
    std::unique_ptr<Peer> sz, rz;
    std::chrono::steady_clock::time_point t0;
    if (szFirst) {
        sz = std::make_unique<Peer>(szArgs, fdA, srcDir);
        spoken(fdB);
        t0 = std::chrono::steady_clock::now();
        rz = std::make_unique<Peer>(std::vector<std::string>{"rz", "-q", "-y"}, fdB, dir);
    } else {
        rz = std::make_unique<Peer>(std::vector<std::string>{"rz", "-q", "-y"}, fdB, dir);
        spoken(fdA);
        t0 = std::chrono::steady_clock::now();
        sz = std::make_unique<Peer>(szArgs, fdA, srcDir);
    }
    // The transfer is over when sz, having had rz's ZFIN, exits. rz may then wait long
    // for the "OO" that sz's exit can take with it from the terminal; that wait is no
    // part of the transfer, so rz gets a moment and is then stopped. The copy is
    // compared with the original afterwards either way.
    const int szExit = sz->wait(limitMs);
    const double t = seconds(t0);
    rz->wait(szExit == 0 ? 2000 : 100);
    return szExit == 0 ? t : -1;
}

} // namespace transvex::test

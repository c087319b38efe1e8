// What the ZMODEM benchmarks share: random files, comparing copies, and timing lrzsz's
// sz against rz over a pair of terminal descriptors.
#pragma once

#include "tests/libs/transvex/pty_peer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace transvex::test {

// 115200 baud, 8N1: bytes per second on the line.
inline constexpr double kLineRate = 11520.0;

inline void makeFile(const std::string& path, uint64_t size, uint32_t seed) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 rng(seed);
    std::vector<uint64_t> buf(1 << 17);
    uint64_t left = size;
    while (left > 0) {
        for (auto& w : buf) {
            w = rng();
        }
        const uint64_t n = std::min<uint64_t>(left, buf.size() * 8);
        f.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(n));
        left -= n;
    }
}

inline bool sameFiles(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() ||
            std::memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) != 0) {
            return false;
        }
        if (fa.gcount() == 0) {
            return true;
        }
    }
}

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
    std::unique_ptr<Peer> sz, rz;
    std::chrono::steady_clock::time_point t0;
    if (szFirst) {
        sz = std::make_unique<Peer>(szArgs, fdA, srcDir);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        t0 = std::chrono::steady_clock::now();
        rz = std::make_unique<Peer>(std::vector<std::string>{"rz", "-q", "-y"}, fdB, dir);
    } else {
        rz = std::make_unique<Peer>(std::vector<std::string>{"rz", "-q", "-y"}, fdB, dir);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
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

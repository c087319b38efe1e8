#pragma once

// Two comm ids of the serial core joined over two pseudo-terminal pairs by a relay
// that copies bytes between the two masters (and can change them on the way), and the
// seven functions of liblink3964.so loaded at run time as the control loads them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "link3964/link3964.h"
#include "support/pty_pair.h"

namespace link3964::testing {

struct LinkApi {
    LinkApi(); // loads $VORT_BUILD_OUT/liblink3964.so; throws when a function is missing
    ~LinkApi();
    LinkApi(const LinkApi&) = delete;
    LinkApi& operator=(const LinkApi&) = delete;

    void* handle = nullptr;
    decltype(&RS_3964Version) version = nullptr;
    decltype(&RS_SetTQTZ) setTqTz = nullptr;
    decltype(&RS_SetMZ1MZ2) setMz1Mz2 = nullptr;
    decltype(&RS_TX3964R) tx = nullptr;
    decltype(&RS_RX3964R) rx = nullptr;
    decltype(&RS_TXFile_3964R) txFile = nullptr;
    decltype(&RS_RXFile_3964R) rxFile = nullptr;
};

// Bytes on their way from A to B (and back) pass this; it may change the byte.
// index counts the bytes of that direction from 0.
using RelayFilter = std::function<void(std::size_t index, std::uint8_t& byte)>;

class Relay {
public:
    Relay(int masterA, int masterB);
    ~Relay();
    void setFilterAtoB(RelayFilter f);
    void stop();

private:
    void run();
    bool pump(int from, int to, std::size_t& counter, bool aToB);

    int masterA_, masterB_;
    int wake_ = -1;
    std::mutex filterMutex_;
    RelayFilter filterAtoB_;
    std::size_t countAtoB_ = 0, countBtoA_ = 0;
    std::thread thread_;
};

// Comm ids kCommA and kCommB open on the slaves of two pty pairs joined by a relay.
class LinkOverPty {
public:
    static constexpr std::int32_t kCommA = 40; // COM41
    static constexpr std::int32_t kCommB = 41; // COM42

    LinkOverPty();
    ~LinkOverPty();

    LinkApi api;
    vort::test::PtyPair ptyA, ptyB;
    vort::test::ScopedPortMap portMap;
    std::unique_ptr<Relay> relay;
};

} // namespace link3964::testing

// TCP comm ids over loopback: client and server, the single-connection server, the
// multi-connection server handing connections to comm ids of their own, hang-ups,
// IPv6, host names and the failures a caller must be told about.
#include "libs/serilon/connection_records.h"
#include "serilon/serilon.h"
#include "serilon_test_util.h"
#include "support/free_port.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <random>
#include <set>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace serilon;
using serilon_test::errorText;
using serilon_test::readFromPort;
using serilon_test::waitFor;

using vort::test::freePort;

namespace {

void configure(int id, uint8_t type, const std::string& host, uint16_t port, uint8_t limit = 1) {
    TcpRecord r{};
    r.request = kRequestWrite | kFieldHost | kFieldPort | kFieldLimit;
    r.type = type;
    r.port = port;
    r.maxServerConnections = limit;
    std::strncpy(r.host, host.c_str(), sizeof r.host - 1);
    ASSERT_EQ(ComTypeControl(id, &r), SERIAL_OK);
}

void setSerial(int id) {
    TcpRecord r{};
    r.request = kRequestWrite;
    r.type = kTypeRs232;
    ComTypeControl(id, &r);
}

// Records what the event procedure of each comm id saw; the server side can adopt.
struct Events {
    std::mutex m;
    std::vector<int32_t> masks[SERIAL_COMM_IDS];
    std::vector<int> adopted;
    std::atomic<int32_t> refuse{0};
    std::atomic<bool> adopt{false};
    std::atomic<int> nextId{100};
    int count(int id, int32_t bit) {
        std::lock_guard l(m);
        int n = 0;
        for (int32_t mask : masks[id])
            n += (mask & bit) != 0;
        return n;
    }
};
Events* events = nullptr;

int32_t recordingProc(int32_t id, int32_t mask) {
    {
        std::lock_guard l(events->m);
        events->masks[id].push_back(mask);
    }
    if ((mask & SERIAL_EV_RING) && events->adopt) {
        TcpConnectInfo info{};
        if (ComConnectInfo(id, &info) != SERIAL_OK)
            return 3;
        const int newId = events->nextId++;
        configure(newId, kTypeTcpClient, info.peer, info.port);
        // A peer that has already gone is taken over too: its bytes wait on newId.
        const int32_t status = NetAdoptSocket(newId, info.handle) == SERIAL_OK
                                   ? SerialOpenStatus(newId)
                                   : SERIAL_E_NOT_OPEN;
        if (status != SERIAL_OK && status != SERIAL_E_HUNG_UP)
            return 3;
        std::lock_guard l(events->m);
        events->adopted.push_back(newId);
        return 0;
    }
    return events->refuse.load();
}

class TcpComm : public ::testing::Test {
protected:
    void SetUp() override {
        events = &ev_;
        port_ = freePort();
    }
    void TearDown() override {
        for (int id = 0; id < SERIAL_COMM_IDS; ++id) {
            SerialClosePort(id);
            if (id >= 20)
                setSerial(id);
        }
        events = nullptr;
    }
    bool sendAll(int id, const std::string& data) {
        size_t sent = 0;
        return waitFor(
            [&] {
                uint16_t taken = 0;
                SerialWrite(id, data.data() + sent,
                            uint16_t(std::min<size_t>(data.size() - sent, 8192)), &taken);
                sent += taken;
                return sent == data.size();
            },
            10000);
    }
    Events ev_;
    uint16_t port_ = 0;
};

std::string randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = char(rng());
    return s;
}

} // namespace

TEST_F(TcpComm, SingleConnectionServerCarriesItsClient) {
    configure(20, kTypeTcpServer, "", port_, 1);
    configure(21, kTypeTcpClient, "127.0.0.1", port_);
    ASSERT_EQ(SerialOpenPort(20), SERIAL_OK) << errorText(20);
    ASSERT_EQ(SerialSetEventProc(20, recordingProc), SERIAL_OK);
    EXPECT_EQ(SerialCarrier(20), 0); // listening, nobody connected
    uint16_t taken = 1;
    EXPECT_EQ(SerialWrite(20, "x", 1, &taken), SERIAL_E_HUNG_UP);
    EXPECT_EQ(taken, 0);

    ASSERT_EQ(SerialOpenPort(21), SERIAL_OK) << errorText(21);
    EXPECT_EQ(SerialCarrier(21), 1);
    EXPECT_EQ(SerialModemStatus(21), 0);
    EXPECT_EQ(SerialSetLine(21, 9600, 8, 1, 'N', 0), SERIAL_OK); // kept only
    ASSERT_TRUE(waitFor([&] { return ev_.count(20, SERIAL_EV_RING) == 1; }));
    EXPECT_EQ(SerialCarrier(20), 1);
    TcpConnectInfo info{};
    ASSERT_EQ(ComConnectInfo(20, &info), SERIAL_OK);
    EXPECT_STREQ(info.peer, "127.0.0.1");
    EXPECT_NE(+info.port, 0);

    // Both ways, more than any queue holds, nothing lost or reordered.
    const std::string up = randomBytes(300000, 1);
    const std::string down = randomBytes(200000, 2);
    std::string gotDown;
    std::thread t([&] { gotDown = readFromPort(21, down.size(), 15000); });
    ASSERT_TRUE(sendAll(21, up));
    ASSERT_TRUE(sendAll(20, down));
    EXPECT_EQ(readFromPort(20, up.size(), 15000) == up, true);
    t.join();
    EXPECT_TRUE(gotDown == down);

    // The client goes: the server sees CD, loses carrier and takes the next client.
    SerialClosePort(21);
    ASSERT_TRUE(waitFor([&] { return SerialCarrier(20) == 0; }));
    EXPECT_GE(ev_.count(20, SERIAL_EV_CD), 1);
    EXPECT_EQ(SerialOpenStatus(20), SERIAL_OK);
    ASSERT_EQ(SerialOpenPort(21), SERIAL_OK) << errorText(21);
    ASSERT_TRUE(waitFor([&] { return ev_.count(20, SERIAL_EV_RING) == 2; }));
    ASSERT_TRUE(sendAll(20, "again"));
    EXPECT_EQ(readFromPort(21, 5), "again");

    // ModemHangUp on the server drops the connection; the client sees a hang-up.
    EXPECT_EQ(ModemHangUp(20), SERIAL_OK);
    ASSERT_TRUE(waitFor([&] { return SerialCarrier(21) == 0; }));
    EXPECT_EQ(SerialOpenStatus(21), SERIAL_E_HUNG_UP);
    EXPECT_EQ(SerialWrite(21, "x", 1, &taken), SERIAL_E_HUNG_UP);
}

TEST_F(TcpComm, RefusedConnectionIsClosed) {
    configure(20, kTypeTcpServer, "127.0.0.1", port_, 1);
    configure(21, kTypeTcpClient, "127.0.0.1", port_);
    ASSERT_EQ(SerialOpenPort(20), SERIAL_OK) << errorText(20);
    ev_.refuse = 1;
    ASSERT_EQ(SerialSetEventProc(20, recordingProc), SERIAL_OK);
    ASSERT_EQ(SerialOpenPort(21), SERIAL_OK);
    ASSERT_TRUE(waitFor([&] { return SerialCarrier(21) == 0; }));
    EXPECT_EQ(SerialCarrier(20), 0);
}

TEST_F(TcpComm, MultiServerHandsConnectionsOnAndKeepsItsLimit) {
    configure(20, kTypeTcpServer, "", port_, 2);
    ev_.adopt = true;
    ASSERT_EQ(SerialOpenPort(20), SERIAL_OK) << errorText(20);
    ASSERT_EQ(SerialSetEventProc(20, recordingProc), SERIAL_OK);
    EXPECT_EQ(SerialCarrier(20), 1);
    for (int id : {30, 31, 32})
        configure(id, kTypeTcpClient, "localhost", port_);
    ASSERT_EQ(SerialOpenPort(30), SERIAL_OK) << errorText(30);
    ASSERT_EQ(SerialOpenPort(31), SERIAL_OK) << errorText(31);
    auto adoptedCount = [&] {
        std::lock_guard l(ev_.m);
        return ev_.adopted.size();
    };
    ASSERT_TRUE(waitFor([&] { return adoptedCount() == 2; }));
    std::vector<int> adopted;
    {
        std::lock_guard l(ev_.m);
        adopted = ev_.adopted;
    }
    ASSERT_EQ(adopted.size(), 2u);
    for (int id : adopted) {
        EXPECT_TRUE(SerialInUse(id));
        EXPECT_EQ(SerialCarrier(id), 1);
        TcpConnectInfo info{};
        ASSERT_EQ(ComConnectInfo(id, &info), SERIAL_OK);
        EXPECT_TRUE(std::string(info.peer) == "127.0.0.1" || std::string(info.peer) == "::1")
            << info.peer;
    }
    // Each adopted comm id talks with its own client.
    ASSERT_TRUE(sendAll(adopted[0], "to-first"));
    ASSERT_TRUE(sendAll(adopted[1], "to-second"));
    const std::string a = readFromPort(30, 8, 2000);
    const std::string b = readFromPort(31, 9, 2000);
    EXPECT_TRUE((a == "to-first" && b == "to-secon") || (a == "to-secon" && b == "to-first") ||
                (a == "to-first" && b == "to-second"))
        << a << " / " << b;

    // At the limit a third client connects (the kernel queues it) but is not taken
    // until one of the two goes: the server's thread 0 goes back to sleep while the
    // connection waits for it.
    ASSERT_EQ(SerialOpenPort(32), SERIAL_OK) << errorText(32);
    const serilon_test::ServerWatch server(port_, long(SerialThreadHandle(20, 0)));
    EXPECT_TRUE(waitFor([&] { return server.leavesQueued(); })) << server.queued() << " queued";
    EXPECT_EQ(ev_.count(20, SERIAL_EV_RING), 2);
    SerialClosePort(adopted[0]);
    ASSERT_TRUE(waitFor([&] { return ev_.count(20, SERIAL_EV_RING) == 3; }));

    // A handle that was never offered, or is already taken, reaches nothing.
    EXPECT_EQ(NetAdoptSocket(150, 999999), SERIAL_E_INVALID);
    EXPECT_EQ(NetAdoptSocket(150, -5), SERIAL_E_INVALID);
    EXPECT_FALSE(SerialInUse(150));
}

// A loopback client that sends its message and closes at once.
void sendAndClose(uint16_t port, const std::string& message) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::send(fd, message.data(), message.size(), MSG_NOSIGNAL), ssize_t(message.size()));
    ::close(fd);
}

TEST_F(TcpComm, ConnectionsThatEndAtOnceAreHandedOnWithTheirBytes) {
    configure(20, kTypeTcpServer, "127.0.0.1", port_, 2);
    ev_.adopt = true;
    ASSERT_EQ(SerialOpenPort(20), SERIAL_OK) << errorText(20);
    ASSERT_EQ(SerialSetEventProc(20, recordingProc), SERIAL_OK);
    // Twice the limit: connections that ended free their place though nobody has
    // closed the comm ids holding them.
    std::set<std::string> sent;
    for (int i = 0; i < 4; ++i) {
        sent.insert("message " + std::to_string(i));
        sendAndClose(port_, "message " + std::to_string(i));
    }
    auto adopted = [&] {
        std::lock_guard l(ev_.m);
        return ev_.adopted;
    };
    ASSERT_TRUE(waitFor([&] { return adopted().size() == 4; }, 10000))
        << adopted().size() << " of 4 handed on";
    std::set<std::string> got;
    for (int id : adopted()) {
        ASSERT_TRUE(waitFor([&] { return SerialOpenStatus(id) == SERIAL_E_HUNG_UP; }));
        EXPECT_EQ(SerialCarrier(id), 0);
        // The new owner arrives late: it hears of the bytes and of the end.
        ASSERT_EQ(SerialSetEventProc(id, recordingProc), SERIAL_OK);
        EXPECT_TRUE(waitFor([&] { return ev_.count(id, SERIAL_EV_CD) == 1; })) << id;
        EXPECT_GE(ev_.count(id, SERIAL_EV_RXCHAR), 1) << id;
        got.insert(readFromPort(id, 9));
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(ev_.count(20, SERIAL_EV_RING), 4);
}

TEST_F(TcpComm, UnadoptedConnectionIsClosedAfterTheEvent) {
    configure(20, kTypeTcpServer, "", port_, 5);
    configure(21, kTypeTcpClient, "127.0.0.1", port_);
    ASSERT_EQ(SerialOpenPort(20), SERIAL_OK) << errorText(20);
    ASSERT_EQ(SerialSetEventProc(20, recordingProc), SERIAL_OK);
    ASSERT_EQ(SerialOpenPort(21), SERIAL_OK);
    ASSERT_TRUE(waitFor([&] { return SerialCarrier(21) == 0; }));
}

TEST_F(TcpComm, Ipv6AndFailuresThatNameTheirCause) {
    configure(20, kTypeTcpServer, "::1", port_, 1);
    configure(21, kTypeTcpClient, "::1", port_);
    if (SerialOpenPort(20) != SERIAL_OK)
        GTEST_SKIP() << "no IPv6 loopback: " << errorText(20);
    ASSERT_EQ(SerialSetEventProc(20, recordingProc), SERIAL_OK);
    ASSERT_EQ(SerialOpenPort(21), SERIAL_OK) << errorText(21);
    ASSERT_TRUE(waitFor([&] { return ev_.count(20, SERIAL_EV_RING) == 1; }));
    TcpConnectInfo info{};
    ASSERT_EQ(ComConnectInfo(20, &info), SERIAL_OK);
    EXPECT_STREQ(info.peer, "::1");
    ASSERT_TRUE(sendAll(21, "v6"));
    EXPECT_EQ(readFromPort(20, 2), "v6");

    // A second server on the same port is busy; nobody on a port is refused; an
    // unknown host does not resolve. Each open fails and says why.
    configure(22, kTypeTcpServer, "::1", port_, 1);
    EXPECT_EQ(SerialOpenPort(22), SERIAL_E_BUSY);
    EXPECT_NE(errorText(22).find("cannot listen"), std::string::npos) << errorText(22);
    configure(23, kTypeTcpClient, "127.0.0.1", freePort());
    EXPECT_EQ(SerialOpenPort(23), SERIAL_E_NO_DEVICE);
    EXPECT_NE(errorText(23).find("refused"), std::string::npos) << errorText(23);
    EXPECT_NE(SerialOpenStatus(23), 0);
    configure(24, kTypeTcpClient, "no-such-host.invalid", 80);
    EXPECT_NE(SerialOpenPort(24), SERIAL_OK);
    EXPECT_NE(errorText(24).find("resolved"), std::string::npos) << errorText(24);
    configure(25, kTypeTcpClient, "127.0.0.1", 0);
    EXPECT_EQ(SerialOpenPort(25), SERIAL_E_INVALID);
}

TEST_F(TcpComm, IsdnWithoutControllerFailsWithItsReason) {
    IsdnRecord r{};
    r.request = 0x10F;
    r.type = kTypeIsdn;
    std::strcpy(r.ownExtension, "12");
    r.controller = 1;
    r.cipValue = 1;
    ASSERT_EQ(ComTypeControl(40, &r), SERIAL_OK);
    EXPECT_NE(SerialOpenPort(40), SERIAL_OK);
    EXPECT_FALSE(SerialInUse(40));
    EXPECT_NE(errorText(40).find("no ISDN controller is available"), std::string::npos)
        << errorText(40);
    IsdnRecord back{};
    back.request = kRequestReadIsdn;
    ASSERT_EQ(ComTypeControl(40, &back), SERIAL_OK);
    EXPECT_STREQ(back.ownExtension, "12"); // parameters are kept
    char call[40];
    std::memset(call, 'x', sizeof call);
    EXPECT_NE(ComConnectInfo(40, call), SERIAL_OK);
    EXPECT_EQ(call[0], '\0');
}

TEST_F(TcpComm, InputWaitingBeforeTheProcedureIsReportedToIt) {
    configure(20, kTypeTcpServer, "127.0.0.1", port_, 1);
    configure(21, kTypeTcpClient, "127.0.0.1", port_);
    ASSERT_EQ(SerialOpenPort(20), SERIAL_OK) << errorText(20);
    ASSERT_EQ(SerialOpenPort(21), SERIAL_OK) << errorText(21);
    ASSERT_TRUE(waitFor([&] { return SerialCarrier(20) == 1; }));
    uint16_t taken = 0;
    ASSERT_EQ(SerialWrite(21, "early", 5, &taken), SERIAL_OK);
    ASSERT_TRUE(waitFor([&] { return SerialQueueCount(20, SERIAL_DIR_INPUT) == 5; }));
    // Nobody heard of these bytes; the procedure installed now must.
    ASSERT_EQ(SerialSetEventProc(20, recordingProc), SERIAL_OK);
    EXPECT_TRUE(waitFor([&] { return ev_.count(20, SERIAL_EV_RXCHAR) >= 1; }));
}

TEST_F(TcpComm, OutOfDescriptorsPausesAcceptingWithoutSpinning) {
    configure(20, kTypeTcpServer, "127.0.0.1", port_, 5);
    ev_.adopt = true;
    ASSERT_EQ(SerialOpenPort(20), SERIAL_OK) << errorText(20);
    ASSERT_EQ(SerialSetEventProc(20, recordingProc), SERIAL_OK);
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    const serilon_test::ServerWatch server(port_, long(SerialThreadHandle(20, 0)));
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // No descriptor left for the server to accept with.
    int highest = 0;
    for (int fd = 0; fd < 4096; ++fd)
        if (::fcntl(fd, F_GETFD) >= 0)
            highest = fd;
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(highest + 1);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::vector<int> fillers; // the free numbers below the limit, taken
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        fillers.push_back(fd);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port_);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    // The server has tried and paused: it sleeps while the connection waits. Then three
    // more pauses: a server that spun would not sleep between its tries.
    const bool paused = waitFor([&] { return server.leavesQueued(); });
    const long switches = server.voluntarySwitches();
    const double cpuBefore = serilon_test::processCpuMs();
    const bool slept = waitFor([&] { return server.voluntarySwitches() >= switches + 3; }, 5000);
    const double cpu = serilon_test::processCpuMs() - cpuBefore;
    EXPECT_TRUE(paused && slept) << "the server did not pause between tries";
    EXPECT_EQ(ev_.count(20, SERIAL_EV_RING), 0);
    for (int fd : fillers)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_LT(cpu, 150.0) << "the server spun while it could not accept";
    // With descriptors again the waiting connection is taken.
    EXPECT_TRUE(waitFor([&] { return ev_.count(20, SERIAL_EV_RING) == 1; }));
    ::close(client);
}

// The descriptors the process holds.
int openDescriptors() {
    int n = 0;
    for (int fd = 0; fd < 4096; ++fd)
        n += ::fcntl(fd, F_GETFD) >= 0;
    return n;
}

TEST_F(TcpComm, AConnectionCostsItsSocketAndOneWakeEventAndItsThreadCarriesTheNext) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port_);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    configure(21, kTypeTcpClient, "127.0.0.1", port_);
    configure(22, kTypeTcpClient, "127.0.0.1", port_);
    configure(23, kTypeTcpClient, "127.0.0.1", port_);
    // Threads are kept only while some port is open, as a server's is.
    ASSERT_EQ(SerialOpenPort(23), SERIAL_OK) << errorText(23);

    const int before = openDescriptors();
    ASSERT_EQ(SerialOpenPort(21), SERIAL_OK) << errorText(21);
    // Thread 1 and the line watcher are not started, so their wake events are not made.
    EXPECT_EQ(openDescriptors(), before + 2);
    const intptr_t thread0 = SerialThreadHandle(21, 0);
    ASSERT_NE(thread0, 0);
    ASSERT_EQ(SerialClosePort(21), SERIAL_OK);
    EXPECT_EQ(openDescriptors(), before);

    // The next comm id's thread 0 is the one the closed comm id left.
    ASSERT_EQ(SerialOpenPort(22), SERIAL_OK) << errorText(22);
    EXPECT_EQ(SerialThreadHandle(22, 0), thread0);
    ASSERT_EQ(SerialClosePort(22), SERIAL_OK);

    // With the last port closed no kept thread outlives it.
    ASSERT_EQ(SerialClosePort(23), SERIAL_OK);
    const std::string task = "/proc/self/task/" + std::to_string(thread0);
    EXPECT_TRUE(waitFor([&] { return ::access(task.c_str(), F_OK) != 0; }))
        << "a kept thread outlived the last port";
    ::close(listener); // with the connections still in its queue
}

TEST_F(TcpComm, ClientCloseSendsWhatIsStillQueued) {
    // A peer with a narrow window (small segments and receive buffer) that reads only
    // once the close has begun: most of the bytes still wait in the library then.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    const int rcvbuf = 4096, segment = 536;
    ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    ::setsockopt(listener, IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port_);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    configure(21, kTypeTcpClient, "127.0.0.1", port_);
    ASSERT_EQ(SerialOpenPort(21), SERIAL_OK) << errorText(21);
    const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    ASSERT_GE(peer, 0);

    const std::string data = randomBytes(192000, 31);
    ASSERT_EQ(SerialSetBuffers(21, 4096, 1 << 18), SERIAL_OK);
    for (size_t sent = 0; sent < data.size();) {
        const auto len = uint16_t(std::min<size_t>(data.size() - sent, 64000));
        uint16_t taken = 0;
        ASSERT_EQ(SerialWrite(21, data.data() + sent, len, &taken), SERIAL_OK);
        ASSERT_EQ(taken, len);
        sent += taken;
    }
    ASSERT_GT(SerialQueueCount(21, SERIAL_DIR_OUTPUT), 0);
    std::string got;
    std::thread reader([&] {
        char buf[65536];
        ssize_t n;
        while ((n = ::read(peer, buf, sizeof buf)) > 0)
            got.append(buf, size_t(n));
    });
    EXPECT_EQ(SerialClosePort(21), SERIAL_OK);
    reader.join(); // the end of the stream comes with the close
    ::close(peer);
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

// bench_tcp_load: a TCP server comm id with a connection limit of 50 accepts 1,000
// loopback connections in waves of 50; each connection goes to a comm id of its own
// (as the control hands it on) whose event procedure echoes what arrives. Every client
// sends 64 KiB and checks that the same bytes come back. The same clients then run
// against a plain poll() echo server, and the ratio of connections per second is
// printed. The process's open descriptors are counted before and after: the run fails
// when one is left over or a byte is lost.
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "serilon/serilon.h"
#include "tests/support/free_port.h"

using vort::test::freePort;

namespace {

constexpr int kConnections = 1000;
constexpr int kWave = 50;
constexpr size_t kBytes = 64 * 1024;
constexpr int kServerId = 9;
constexpr int kFirstConnectionId = 20; // comm ids 20..219 carry connections
constexpr int kConnectionIds = 200;

using Clock = std::chrono::steady_clock;

int openDescriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        ::closedir(d);
    }
    return n - 1; // the directory's own descriptor
}

// ---- the clients ------------------------------------------------------------------

struct ClientResult {
    int64_t lostOrWrong = 0; // bytes that did not come back as sent
    int failedConnects = 0;
};

// One wave: kWave clients connect, send kBytes each and read them back, then close.
void runWave(uint16_t port, const std::string& payload, ClientResult& result) {
    struct Conn {
        int fd = -1;
        size_t sent = 0;
        size_t got = 0;
        bool ok = true;
    };
    std::vector<Conn> conns(kWave);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (Conn& c : conns) {
        c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (c.fd < 0 || ::connect(c.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) {
            ++result.failedConnects;
            if (c.fd >= 0)
                ::close(c.fd);
            c.fd = -1;
            continue;
        }
        ::fcntl(c.fd, F_SETFL, O_NONBLOCK);
    }
    std::vector<char> buf(16384);
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Conn*> owners;
        for (Conn& c : conns) {
            if (c.fd < 0 || c.got >= kBytes)
                continue;
            fds.push_back({c.fd, short(POLLIN | (c.sent < kBytes ? POLLOUT : 0)), 0});
            owners.push_back(&c);
        }
        if (fds.empty() || Clock::now() > deadline)
            break;
        ::poll(fds.data(), fds.size(), 1000);
        for (size_t i = 0; i < fds.size(); ++i) {
            Conn& c = *owners[i];
            if ((fds[i].revents & POLLOUT) && c.sent < kBytes) {
                const ssize_t n =
                    ::send(c.fd, payload.data() + c.sent, kBytes - c.sent, MSG_NOSIGNAL);
                if (n > 0)
                    c.sent += size_t(n);
            }
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(c.fd, buf.data(), buf.size(), 0);
                if (n > 0) {
                    if (c.got + size_t(n) > kBytes ||
                        std::memcmp(buf.data(), payload.data() + c.got, size_t(n)) != 0)
                        c.ok = false;
                    c.got += size_t(n);
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    c.ok = false;
                    ::close(c.fd);
                    c.fd = -1;
                }
            }
        }
    }
    for (Conn& c : conns) {
        if (c.got < kBytes || !c.ok)
            result.lostOrWrong += int64_t(kBytes) - (c.ok ? int64_t(c.got) : 0);
        if (c.fd >= 0)
            ::close(c.fd);
    }
}

// ---- the library's server ---------------------------------------------------------

std::mutex idsMutex;
std::vector<bool> idBusy(kConnectionIds, false);
std::vector<int> waveIds; // comm ids handed connections in this wave

int32_t echoProc(int32_t id, int32_t mask) {
    if (mask & (SERIAL_EV_RXCHAR | SERIAL_EV_RX80FULL)) {
        char buf[16384];
        uint16_t got = 0;
        while (SerialRead(id, buf, sizeof buf, &got) == SERIAL_OK && got > 0) {
            uint16_t done = 0;
            while (done < got) {
                uint16_t taken = 0;
                if (SerialWrite(id, buf + done, uint16_t(got - done), &taken) != SERIAL_OK)
                    return 0;
                done = uint16_t(done + taken);
                if (taken == 0)
                    SerialWaitQueue(id, SERIAL_DIR_OUTPUT, SerialQueueCount(id, SERIAL_DIR_OUTPUT),
                                    50);
            }
        }
    }
    return 0;
}

int32_t serverProc(int32_t id, int32_t mask) {
    if (!(mask & SERIAL_EV_RING))
        return 0;
    SerialTcpConnectInfo info{};
    if (ComConnectInfo(id, &info) != SERIAL_OK)
        return 3;
    int newId = -1;
    {
        std::lock_guard lock(idsMutex);
        for (int i = 0; i < kConnectionIds; ++i)
            if (!idBusy[size_t(i)]) {
                idBusy[size_t(i)] = true;
                newId = kFirstConnectionId + i;
                break;
            }
    }
    if (newId < 0)
        return 3;
    SerialTcpRecord r{};
    r.request = SERIAL_REQ_WRITE | SERIAL_FIELD_HOST | SERIAL_FIELD_PORT;
    r.type = 22;
    r.port = info.port;
    std::memcpy(r.host, info.peer, sizeof r.host);
    ComTypeControl(newId, &r);
    if (NetAdoptSocket(newId, info.handle) != SERIAL_OK) {
        std::lock_guard lock(idsMutex);
        idBusy[size_t(newId - kFirstConnectionId)] = false;
        return 3;
    }
    SerialSetBuffers(newId, 256 * 1024, 256 * 1024);
    SerialSetEventProc(newId, echoProc);
    std::lock_guard lock(idsMutex);
    waveIds.push_back(newId);
    return 0;
}

// Closes the connection comm ids whose clients have gone; true when all of the wave's
// are closed within the time.
bool closeWave() {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    for (;;) {
        std::vector<int> ids;
        {
            std::lock_guard lock(idsMutex);
            ids.swap(waveIds);
        }
        std::vector<int> open;
        for (int id : ids) {
            if (SerialOpenStatus(id) == SERIAL_E_HUNG_UP) {
                SerialSetEventProc(id, nullptr);
                SerialClosePort(id);
                std::lock_guard lock(idsMutex);
                idBusy[size_t(id - kFirstConnectionId)] = false;
            } else {
                open.push_back(id);
            }
        }
        {
            std::lock_guard lock(idsMutex);
            waveIds.insert(waveIds.end(), open.begin(), open.end());
            if (waveIds.empty())
                return true;
        }
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// ---- the plain peer ---------------------------------------------------------------

struct PlainServer {
    int listenFd = -1;
    int stopFd = -1;
    std::thread thread;

    void start(uint16_t port) {
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listenFd, SOMAXCONN);
        stopFd = ::eventfd(0, EFD_CLOEXEC);
        thread = std::thread([this] { run(); });
    }
    void run() {
        std::vector<int> conns;
        std::vector<char> buf(16384);
        for (;;) {
            std::vector<pollfd> fds = {{stopFd, POLLIN, 0}};
            if (conns.size() < size_t(kWave))
                fds.push_back({listenFd, POLLIN, 0});
            const size_t first = fds.size();
            for (int c : conns)
                fds.push_back({c, POLLIN, 0});
            ::poll(fds.data(), fds.size(), -1);
            if (fds[0].revents)
                break;
            if (first == 2 && (fds[1].revents & POLLIN)) {
                const int c = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0)
                    conns.push_back(c);
            }
            for (size_t i = first; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                const int c = fds[i].fd;
                const ssize_t n = ::recv(c, buf.data(), buf.size(), 0);
                if (n <= 0) {
                    ::close(c);
                    std::erase(conns, c);
                    continue;
                }
                size_t done = 0;
                while (done < size_t(n)) {
                    const ssize_t w = ::send(c, buf.data() + done, size_t(n) - done, MSG_NOSIGNAL);
                    if (w <= 0)
                        break;
                    done += size_t(w);
                }
            }
        }
        for (int c : conns)
            ::close(c);
    }
    void stop() {
        const uint64_t one = 1;
        if (::write(stopFd, &one, sizeof one) < 0)
            std::perror("eventfd");
        thread.join();
        ::close(listenFd);
        ::close(stopFd);
    }
};

double runClients(uint16_t port, const std::string& payload, ClientResult& result, bool library) {
    const auto start = Clock::now();
    for (int wave = 0; wave < kConnections / kWave; ++wave) {
        runWave(port, payload, result);
        if (library && !closeWave()) {
            std::fprintf(stderr, "wave %d: connection comm ids did not end\n", wave);
            ++result.failedConnects;
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main() {
    rlimit lim{};
    ::getrlimit(RLIMIT_NOFILE, &lim);
    if (lim.rlim_cur < 1024 && lim.rlim_max >= 1024) {
        lim.rlim_cur = 1024;
        ::setrlimit(RLIMIT_NOFILE, &lim);
    }
    std::string payload(kBytes, '\0');
    std::mt19937 rng(42);
    for (char& c : payload)
        c = char(rng());

    const int before = openDescriptors();

    const uint16_t port = freePort();
    SerialTcpRecord r{};
    r.request = SERIAL_REQ_WRITE | SERIAL_FIELD_HOST | SERIAL_FIELD_PORT | SERIAL_FIELD_LIMIT;
    r.type = 21;
    r.port = port;
    r.maxServerConnections = kWave;
    std::strcpy(r.host, "127.0.0.1");
    ComTypeControl(kServerId, &r);
    if (SerialOpenPort(kServerId) != SERIAL_OK) {
        char why[256];
        SerialErrorText(kServerId, why, sizeof why);
        std::fprintf(stderr, "server did not open: %s\n", why);
        return 1;
    }
    SerialSetEventProc(kServerId, serverProc);
    ClientResult lib;
    const double libSeconds = runClients(port, payload, lib, true);
    SerialSetEventProc(kServerId, nullptr);
    SerialClosePort(kServerId);
    const int after = openDescriptors();

    const uint16_t plainPort = freePort();
    PlainServer plain;
    plain.start(plainPort);
    ClientResult peer;
    const double plainSeconds = runClients(plainPort, payload, peer, false);
    plain.stop();

    const double libRate = kConnections / libSeconds;
    const double plainRate = kConnections / plainSeconds;
    std::printf("tcp_load: %d connections in waves of %d, %zu bytes echoed each\n", kConnections,
                kWave, kBytes);
    std::printf("  serial core library server: %.2f s, %.0f connections/s\n", libSeconds, libRate);
    std::printf("  plain poll() echo server:   %.2f s, %.0f connections/s\n", plainSeconds,
                plainRate);
    std::printf("  ratio library/plain: %.2f\n", libRate / plainRate);
    std::printf(
        "  descriptors before %d, after %d; bytes lost or wrong: %lld; failed connects: %d\n",
        before, after, static_cast<long long>(lib.lostOrWrong), lib.failedConnects);
    const bool ok = after == before && lib.lostOrWrong == 0 && lib.failedConnects == 0;
    if (!ok)
        std::printf("  FAILED\n");
    return ok ? 0 : 1;
}

#include "serilon_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace serilon_test {

double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

namespace {

int openProc(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

// The whole text of a /proc file open at fd; the kernel makes it anew for every read
// from offset 0.
std::string readProc(int fd) {
    std::string text;
    char buf[4096];
    ssize_t n;
    while (fd >= 0 && (n = ::pread(fd, buf, sizeof buf, off_t(text.size()))) > 0) {
        text.append(buf, std::size_t(n));
    }
    return text;
}

std::string readProc(const std::string& path) {
    const int fd = openProc(path);
    std::string text = readProc(fd);
    if (fd >= 0) {
        ::close(fd);
    }
    return text;
}

// From a task's stat and syscall texts: the system call it sleeps in, or -1 when it
// does not sleep (runs, waits for the processor or is gone).
long sleepingSyscall(const std::string& stat, const std::string& syscall) {
    const auto name = stat.rfind(')'); // the state follows the parenthesised name
    if (name == std::string::npos || name + 2 >= stat.size() || stat[name + 2] != 'S') {
        return -1;
    }
    // "running" or an empty text (no such task) are not numbers.
    char* end = nullptr;
    const long number = std::strtol(syscall.c_str(), &end, 10);
    return end == syscall.c_str() ? -1 : number;
}

bool isPoll(long number) {
#ifdef SYS_poll
    if (number == SYS_poll) {
        return true;
    }
#endif
    return number == SYS_ppoll;
}

} // namespace

long currentThreadId() {
    return long(::syscall(SYS_gettid));
}

bool sleepsInTimedWait(long tid) {
    const std::string task = "/proc/self/task/" + std::to_string(tid);
    const std::string syscall = readProc(task + "/syscall");
    if (sleepingSyscall(readProc(task + "/stat"), syscall) != SYS_futex) {
        return false;
    }
    // "number address op value timeout ...": the time-out is a pointer, 0 for none.
    unsigned long args[4] = {};
    return std::sscanf(syscall.c_str(), "%*ld %lx %lx %lx %lx", &args[0], &args[1], &args[2],
                       &args[3]) == 4 &&
           args[3] != 0;
}

bool sleepsInPoll(long tid) {
    const std::string task = "/proc/self/task/" + std::to_string(tid);
    return isPoll(sleepingSyscall(readProc(task + "/stat"), readProc(task + "/syscall")));
}

bool portThreadsIdle(int commId) {
    const long thread0 = long(SerialThreadHandle(commId, 0));
    const long thread1 = long(SerialThreadHandle(commId, 1));
    return thread0 != 0 && sleepsInPoll(thread0) && (thread1 == 0 || sleepsInPoll(thread1));
}

ServerWatch::ServerWatch(std::uint16_t port, long thread0)
    : port_(port), tcp_(openProc("/proc/net/tcp")), tcp6_(openProc("/proc/net/tcp6")),
      stat_(openProc("/proc/self/task/" + std::to_string(thread0) + "/stat")),
      syscall_(openProc("/proc/self/task/" + std::to_string(thread0) + "/syscall")),
      status_(openProc("/proc/self/task/" + std::to_string(thread0) + "/status")) {}

ServerWatch::~ServerWatch() {
    for (int fd : {tcp_, tcp6_, stat_, syscall_, status_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::string ServerWatch::read(int fd) const {
    return readProc(fd);
}

int ServerWatch::queued() const {
    // Lines of "sl: local rem st tx_queue:rx_queue ..."; a listening socket (st 0A)
    // shows its accept queue as rx_queue.
    for (int fd : {tcp_, tcp6_}) {
        const std::string text = read(fd);
        std::size_t at = text.find('\n'); // past the heading
        while (at != std::string::npos && at + 1 < text.size()) {
            const std::size_t next = text.find('\n', at + 1);
            const std::string line = text.substr(at + 1, next - at - 1);
            at = next;
            char local[64], remote[64];
            unsigned state = 0, rx = 0;
            if (std::sscanf(line.c_str(), " %*[^:]: %63s %63s %x %*x:%x", local, remote, &state,
                            &rx) != 4 ||
                state != 0x0A) {
                continue;
            }
            const char* colon = std::strrchr(local, ':');
            if (colon && std::strtoul(colon + 1, nullptr, 16) == port_) {
                return int(rx);
            }
        }
    }
    return -1;
}

bool ServerWatch::sleepsInPoll() const {
    return isPoll(sleepingSyscall(read(stat_), read(syscall_)));
}

long ServerWatch::voluntarySwitches() const {
    const std::string status = read(status_);
    const char* key = "\nvoluntary_ctxt_switches:";
    const auto at = status.find(key);
    return at == std::string::npos
               ? -1
               : std::strtol(status.c_str() + at + std::strlen(key), nullptr, 10);
}

} // namespace serilon_test

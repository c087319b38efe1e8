#include "support/xvfb_server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vort::test {

namespace {

using Clock = std::chrono::steady_clock;

// Runs command through the shell and returns its standard output.
std::string outputOf(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

} // namespace

XvfbServer::XvfbServer(std::chrono::milliseconds startTimeout) {
    // Without xwininfo every title would read as missing; say what is wanted instead.
    if (std::system("command -v xwininfo > /dev/null 2>&1") != 0) {
        error_ = "xwininfo is not installed (Debian package x11-utils)";
        return;
    }
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The display number is written to descriptor 3 once the server takes clients.
    posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"Xvfb",         "-displayfd", "3",   "-screen",  "0",
                          "1280x1024x24", "-nolisten",  "tcp", "-noreset", nullptr};
    pid_t pid = -1;
    const int rc =
        ::posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready[1]);
    if (rc != 0) {
        ::close(ready[0]);
        error_ = std::string("cannot start Xvfb: ") + std::strerror(rc);
        return;
    }
    pid_ = pid;

    std::string number;
    const auto deadline = Clock::now() + startTimeout;
    while (number.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            error_ = "Xvfb gave no display number in time";
            break;
        }
        pollfd p{ready[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char c[16];
        const ssize_t n = ::read(ready[0], c, sizeof c);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = "Xvfb ended before it took clients";
            break;
        }
        number.append(c, static_cast<size_t>(n));
    }
    ::close(ready[0]);
    if (error_.empty())
        display_ = ":" + number.substr(0, number.find('\n'));
}

XvfbServer::~XvfbServer() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

std::vector<std::string> XvfbServer::shownTitles() const {
    std::vector<std::string> titles;
    if (!ok())
        return titles;
    const std::string tool = "LC_ALL=C.UTF-8 xwininfo -display " + display_;
    std::istringstream children(outputOf(tool + " -root -children 2>/dev/null"));
    std::string line;
    bool listing = false; // past the "N children:" line
    while (std::getline(children, line)) {
        if (!listing) {
            listing = line.find("child") != std::string::npos;
            continue;
        }
        const size_t id = line.find_first_not_of(' ');
        if (id == std::string::npos || line.compare(id, 2, "0x") != 0)
            continue;
        const std::string window = line.substr(id, line.find(' ', id) - id);
        const std::string info = outputOf(tool + " -id " + window + " 2>/dev/null");
        if (info.find("Map State: IsViewable") == std::string::npos)
            continue;
        // xwininfo: Window id: 0x400007 "Title"
        const size_t from = info.find("Window id:");
        const std::string head = from == std::string::npos
                                     ? std::string()
                                     : info.substr(from, info.find('\n', from) - from);
        const size_t open = head.find('"');
        const size_t close = head.rfind('"');
        titles.push_back(open != std::string::npos && close > open
                             ? head.substr(open + 1, close - open - 1)
                             : std::string());
    }
    return titles;
}

std::vector<std::string>
XvfbServer::waitForTitles(const std::function<bool(const std::vector<std::string>&)>& done,
                          std::chrono::milliseconds timeout,
                          const std::function<void()>& between) const {
    const auto deadline = Clock::now() + timeout;
    std::vector<std::string> titles = shownTitles();
    while (!done(titles) && Clock::now() < deadline) {
        if (between)
            between();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        titles = shownTitles();
    }
    return titles;
}

} // namespace vort::test

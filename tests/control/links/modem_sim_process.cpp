#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "links_fixture.h"

extern char** environ;

namespace links_test {

namespace {

// Reads one line from fd within ms.
std::string readLine(int fd, int ms) {
    std::string line;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char c;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p = {fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            break;
        if (c == '\n')
            return line;
        line.push_back(c);
    }
    return {};
}

} // namespace

ModemSim::ModemSim() {
    char tmpl[] = "/tmp/modem-sim-XXXXXX";
    if (::mkdtemp(tmpl))
        dir_ = tmpl;
}

ModemSim::~ModemSim() {
    if (control_ >= 0)
        ::close(control_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (!dir_.empty())
        std::filesystem::remove_all(dir_);
}

bool ModemSim::start(const std::vector<std::string>& args) {
    const char* out = std::getenv("VORT_BUILD_OUT");
    const std::string program = std::string(out ? out : ".") + "/modem-sim";
    const std::string controlPath = dir_ + "/control.sock";
    std::vector<std::string> all = {program, "--control", controlPath};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) < 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return false;
    }
    pid_ = pid;
    device_ = readLine(pipeFds[0], 10000);
    ::close(pipeFds[0]);
    if (device_.empty())
        return false;
    control_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, controlPath.c_str(), sizeof addr.sun_path - 1);
    return ::connect(control_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

std::string ModemSim::command(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(control_, text.data(), text.size()) != ssize_t(text.size()))
        return {};
    return readLine(control_, 5000);
}

} // namespace links_test

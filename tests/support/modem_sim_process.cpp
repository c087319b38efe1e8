#include "support/modem_sim_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/wait.h"

extern char** environ;

namespace vort::test {

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
    if (waitForExit(0) < 0) {
        signal(SIGTERM);
        if (waitForExit(5000) < 0) {
            signal(SIGKILL);
            waitForExit(5000);
        }
    }
    if (!dir_.empty())
        std::filesystem::remove_all(dir_);
}

bool ModemSim::start(const std::vector<std::string>& args, bool withControl) {
    const char* out = std::getenv("VORT_BUILD_OUT");
    const std::string program = std::string(out ? out : ".") + "/modem-sim";
    std::vector<std::string> all = {program};
    if (withControl)
        all.insert(all.end(), {"--control", controlPath()});
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) < 0)
        return false;
    const std::string errPath = dir_ + "/stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    // The simulator starts with no signal blocked, whatever this thread blocks.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return false;
    }
    pid_ = pid;
    status_ = -1;
    device_ = readLine(pipeFds[0], 10000);
    ::close(pipeFds[0]);
    if (device_.empty())
        return false;
    if (!withControl)
        return true;
    control_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, controlPath().c_str(), sizeof addr.sun_path - 1);
    return ::connect(control_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

std::string ModemSim::command(const std::string& line, int ms) {
    const std::string text = line + "\n";
    if (::send(control_, text.data(), text.size(), MSG_NOSIGNAL) != ssize_t(text.size()))
        return {};
    return readLine(control_, ms);
}

int ModemSim::waitForExit(int ms) {
    if (pid_ <= 0)
        return status_;
    int status = 0;
    if (!waitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, ms))
        return -1;
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

void ModemSim::signal(int sig) {
    if (pid_ > 0)
        ::kill(pid_, sig);
}

std::string ModemSim::stderrText() const {
    std::ifstream in(dir_ + "/stderr.txt");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace vort::test

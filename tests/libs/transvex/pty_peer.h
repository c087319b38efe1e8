// A pseudo-terminal pair with a peer program (lrzsz) on its slave side, for
// interoperability tests. Our engine runs on the master side.
#pragma once

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/wait.h"

namespace transvex::test {

class PtyPair {
public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        slaveName_ = ptsname(master_);
        slave_ = open(slaveName_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        struct termios t {};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
    }
    ~PtyPair() {
        if (slave_ >= 0) {
            close(slave_);
        }
        if (master_ >= 0) {
            close(master_);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    const std::string& slaveName() const { return slaveName_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
};

// A child process with stdin and stdout on fd, run in dir. stderr goes to errPath.
class Peer {
public:
    // outFd: where the child's stdout goes; -1 means fd as well.
    Peer(const std::vector<std::string>& argv, int fd, const std::string& dir,
         const std::string& errPath = "/dev/null", int outFd = -1) {
        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            if (chdir(dir.c_str()) != 0) {
                _exit(126);
            }
            dup2(fd, 0);
            dup2(outFd >= 0 ? outFd : fd, 1);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) {
                dup2(err, 2);
            }
            std::vector<char*> args;
            for (const auto& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
    }
    ~Peer() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Exit code, or -1 when it did not end within timeoutMs (it is then killed).
    int wait(int timeoutMs) {
        int st = 0;
        if (vort::test::waitFor([&] { return waitpid(pid_, &st, WNOHANG) == pid_; }, timeoutMs)) {
            exited_ = true;
            return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        exited_ = true;
        return -1;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

} // namespace transvex::test

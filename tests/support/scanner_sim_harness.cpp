#include "support/scanner_sim_harness.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/scanner-sim/escape.h"

extern char** environ;

namespace vort::test {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "ok a=1 b=2" -> value of key, empty when absent.
std::string field(const std::string& answer, const std::string& key) {
    const std::string needle = " " + key + "=";
    size_t p = answer.find(needle);
    if (p == std::string::npos)
        return {};
    p += needle.size();
    size_t e = answer.find(' ', p);
    auto raw = answer.substr(p, e == std::string::npos ? std::string::npos : e - p);
    return scanner_sim::unescapeBytes(raw).value_or(raw);
}

} // namespace

std::string firmwareImage(const std::string& version, size_t bodySize) {
    std::string header(108, ' ');
    auto put = [&](size_t position, const std::string& text) {
        header.replace(position - 1, text.size(), text);
    };
    put(1, "IMAGE");
    put(49, std::to_string(bodySize));
    put(65, "BEEF");
    put(81, version);
    put(97, "07-DEC-2026");
    std::string body(bodySize, '\0');
    std::mt19937 rng(7);
    for (char& c : body)
        c = static_cast<char>(rng());
    return header + body;
}

ScannerSimHarness::ScannerSimHarness() = default;

ScannerSimHarness::~ScannerSimHarness() {
    stop();
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

bool ScannerSimHarness::start(const ScannerSimStart& how) {
    if (pid_ > 0) {
        error_ = "already started";
        return false;
    }
    // Short paths: a Unix socket path holds at most 107 bytes.
    char pattern[] = "/tmp/ssim-XXXXXX";
    if (!mkdtemp(pattern)) {
        error_ = std::string("cannot create a scratch directory: ") + std::strerror(errno);
        return false;
    }
    dir_ = pattern;
    configHome_ = dir_ + "/config";
    imageDir_ = dir_ + "/images";
    logPath_ = dir_ + "/sim.log";
    controlPath_ = dir_ + "/control";
    stderrPath_ = dir_ + "/stderr.txt";
    std::error_code ec;
    std::filesystem::create_directories(configHome_ + "/serilon", ec);
    if (ec) {
        error_ = "cannot create " + configHome_ + "/serilon: " + ec.message();
        return false;
    }

    std::string program = how.program;
    if (program.empty()) {
        const char* out = std::getenv("VORT_BUILD_OUT");
        program = std::string(out ? out : ".") + "/scanner-sim";
    }
    std::vector<std::string> args = {program,  "--control",   controlPath_, "--log",
                                     logPath_, "--image-dir", imageDir_};
    if (how.comPort > 0) {
        args.push_back("--com");
        args.push_back(std::to_string(how.comPort));
    }
    if (how.rz)
        args.push_back("--rz");
    args.insert(args.end(), how.args.begin(), how.args.end());

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0)
            env.emplace_back(*e);
    env.push_back("XDG_CONFIG_HOME=" + configHome_);

    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        error_ = "cannot start " + program + ": " + std::strerror(rc);
        return false;
    }
    pid_ = pid;

    // The first line on stdout is the terminal path, printed once everything is ready.
    const auto deadline = Clock::now() + how.startTimeout;
    std::string line;
    bool gotLine = false;
    while (!gotLine) {
        pollfd p{out[0], POLLIN, 0};
        int ms = remainingMs(deadline);
        if (ms == 0 || poll(&p, 1, ms) <= 0)
            break;
        char c;
        ssize_t n = read(out[0], &c, 1);
        if (n <= 0)
            break; // the simulator ended
        if (c == '\n')
            gotLine = true;
        else
            line += c;
    }
    close(out[0]);
    if (!gotLine || line.empty()) {
        stop();
        error_ = "scanner-sim did not become ready: " + readFile(stderrPath_);
        return false;
    }
    devicePath_ = line;
    if (!connectControl()) {
        stop();
        return false;
    }
    return true;
}

bool ScannerSimHarness::connectControl() {
    if (control_ >= 0)
        return true;
    control_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, controlPath_.c_str(), sizeof addr.sun_path - 1);
    if (control_ < 0 || connect(control_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error_ = "cannot connect to " + controlPath_ + ": " + std::strerror(errno);
        if (control_ >= 0)
            close(control_);
        control_ = -1;
        return false;
    }
    pending_.clear();
    return true;
}

std::string ScannerSimHarness::command(const std::string& line, std::chrono::milliseconds timeout) {
    if (!connectControl())
        return {};
    const std::string text = line + "\n";
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = ::send(control_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close(control_);
            control_ = -1;
            return {};
        }
        sent += static_cast<size_t>(n);
    }
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            std::string answer = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return answer;
        }
        pollfd p{control_, POLLIN, 0};
        int ms = remainingMs(deadline);
        if (ms == 0 || poll(&p, 1, ms) <= 0)
            return {};
        char buf[4096];
        ssize_t n = read(control_, buf, sizeof buf);
        if (n <= 0) {
            close(control_);
            control_ = -1;
            return {};
        }
        pending_.append(buf, static_cast<size_t>(n));
    }
}

std::optional<std::string> ScannerSimHarness::get(const std::string& key) {
    std::string answer = command("get " + key);
    if (answer == "ok")
        return std::string();
    if (answer.rfind("ok ", 0) != 0)
        return std::nullopt;
    return scanner_sim::unescapeBytes(answer.substr(3));
}

bool ScannerSimHarness::set(const std::string& key, const std::string& value) {
    return command("set " + key + " " + scanner_sim::escapeBytes(value)) == "ok";
}

bool ScannerSimHarness::fault(const std::string& words) {
    return command("fault " + words).rfind("ok", 0) == 0;
}

std::string ScannerSimHarness::line() {
    std::string answer = command("line");
    return answer.rfind("ok ", 0) == 0 ? answer.substr(3) : std::string();
}

std::vector<std::string> ScannerSimHarness::frames() {
    std::vector<std::string> out;
    std::string answer = command("log");
    if (answer.rfind("ok", 0) != 0)
        return out;
    size_t p = 2;
    while (p < answer.size()) {
        while (p < answer.size() && answer[p] == ' ')
            ++p;
        size_t e = answer.find(' ', p);
        if (e == std::string::npos)
            e = answer.size();
        if (e > p)
            out.push_back(scanner_sim::unescapeBytes(answer.substr(p, e - p)).value_or(""));
        p = e;
    }
    return out;
}

bool ScannerSimHarness::clearFrames() {
    return command("log clear") == "ok";
}

namespace {

std::optional<ScannerSimImage> parseImage(const std::string& answer) {
    if (answer.rfind("ok ", 0) != 0 || answer.rfind("ok none", 0) == 0)
        return std::nullopt;
    ScannerSimImage img;
    img.count = std::strtoull(field(answer, "count").c_str(), nullptr, 10);
    img.target = field(answer, "target");
    if (answer.rfind("ok failed", 0) == 0) {
        img.error = field(answer, "reason");
        return img;
    }
    img.ok = true;
    img.path = field(answer, "path");
    img.size = std::strtoull(field(answer, "size").c_str(), nullptr, 10);
    img.sha256 = field(answer, "sha256");
    img.version = field(answer, "version");
    img.previous = field(answer, "previous");
    return img;
}

} // namespace

std::optional<ScannerSimImage> ScannerSimHarness::image() {
    return parseImage(command("image"));
}

uint64_t ScannerSimHarness::loadsEnded() {
    return std::strtoull(field(command("image"), "count").c_str(), nullptr, 10);
}

std::optional<ScannerSimImage> ScannerSimHarness::waitForImage(uint64_t above,
                                                               std::chrono::milliseconds timeout) {
    const std::string answer =
        command("wait-image " + std::to_string(above) + " " + std::to_string(timeout.count()),
                timeout + std::chrono::milliseconds(2000));
    return parseImage(answer);
}

std::vector<std::string> ScannerSimHarness::logLines() const {
    std::vector<std::string> lines;
    std::ifstream in(logPath_);
    std::string l;
    while (std::getline(in, l))
        lines.push_back(l);
    return lines;
}

std::string ScannerSimHarness::stderrText() const {
    return readFile(stderrPath_);
}

void ScannerSimHarness::useConfigHome() {
    if (!configHomeSet_) {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old)
            savedConfigHome_ = old;
        else
            savedConfigHome_.reset();
        configHomeSet_ = true;
    }
    setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
}

void ScannerSimHarness::restoreConfigHome() {
    if (!configHomeSet_)
        return;
    if (savedConfigHome_)
        setenv("XDG_CONFIG_HOME", savedConfigHome_->c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    configHomeSet_ = false;
}

bool ScannerSimHarness::running() {
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == 0)
        return true;
    exitStatus_ = status;
    pid_ = -1;
    return false;
}

int ScannerSimHarness::stop() {
    restoreConfigHome();
    if (pid_ <= 0) {
        if (control_ >= 0)
            close(control_);
        control_ = -1;
        return exitStatus_;
    }
    // A process descriptor becomes readable when the child ends; where the kernel has
    // none, the child is looked at every few milliseconds instead.
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    auto waitFor = [&](std::chrono::milliseconds grace, int& status) {
        const auto deadline = Clock::now() + grace;
        for (;;) {
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_ || (r < 0 && errno == ECHILD))
                return true;
            const int ms = remainingMs(deadline);
            if (ms == 0)
                return false;
            if (pidFd >= 0) {
                pollfd p{pidFd, POLLIN, 0};
                poll(&p, 1, ms);
            } else {
                usleep(5000);
            }
        }
    };
    int status = -1;
    bool ended = false;
    if (control_ >= 0) {
        command("quit", std::chrono::milliseconds(2000));
        ended = waitFor(std::chrono::milliseconds(5000), status);
    }
    if (!ended) {
        kill(pid_, SIGTERM);
        ended = waitFor(std::chrono::milliseconds(5000), status);
    }
    if (!ended) {
        kill(pid_, SIGKILL);
        waitFor(std::chrono::milliseconds(5000), status);
    }
    if (pidFd >= 0)
        close(pidFd);
    if (control_ >= 0)
        close(control_);
    control_ = -1;
    pid_ = -1;
    exitStatus_ = status;
    return status;
}

} // namespace vort::test

#include "tools/scanner-sim/image_receiver.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tools/scanner-sim/port_map_file.h"
#include "transvex/transvex.h"

namespace scanner_sim {

namespace {

void signalDone(int fd) {
    uint64_t one = 1;
    while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

// The full path of program as the shell would find it; empty when none can be run.
std::string resolveProgram(const std::string& program) {
    if (program.find('/') != std::string::npos)
        return access(program.c_str(), X_OK) == 0 ? program : std::string();
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon - start);
        if (dir.empty())
            dir = ".";
        if (access((dir + "/" + program).c_str(), X_OK) == 0)
            return dir + "/" + program;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return {};
}

// Removes a directory and the plain files in it (the receive directories are flat).
void removeFlatDir(const std::string& dir) {
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                unlink((dir + "/" + name).c_str());
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

class RzReceiver : public ImageReceiver {
public:
    explicit RzReceiver(std::string program) : program_(std::move(program)) {
        done_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    ~RzReceiver() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            finish();
        }
        if (done_ >= 0)
            close(done_);
    }

    std::string unavailableReason() const override {
        if (done_ < 0)
            return "no event descriptor for the receive";
        if (resolveProgram(program_).empty())
            return "the ZMODEM receiver '" + program_ + "' cannot be run";
        return {};
    }

    bool start(const std::string& /*slavePath*/, int slaveFd, const std::string& dir,
               std::string& error) override {
        std::string pattern = dir + "/.incoming-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) {
            error = "cannot create a directory in " + dir + ": " + std::strerror(errno);
            return false;
        }
        incoming_ = buf.data();
        dir_ = dir;
        const std::string exe = resolveProgram(program_);
        if (exe.empty()) {
            error = "the ZMODEM receiver '" + program_ + "' cannot be run";
            removeFlatDir(incoming_);
            return false;
        }
        // Everything the child needs is prepared here: after fork it may only make
        // async-signal-safe calls.
        // rz waits up to its time-out for the sender's closing "OO" after the session;
        // with the default of 10 s the scanner would stay deaf that long after a load.
        // Three seconds per read still leaves a stalled sender time to recover.
        const char* argv[] = {exe.c_str(),    "--zmodem",  "--binary", "--overwrite", "--quiet",
                              "--restricted", "--timeout", "30",       nullptr};
        pid_t pid = fork();
        if (pid < 0) {
            error = std::string("cannot start the receiver: ") + std::strerror(errno);
            removeFlatDir(incoming_);
            return false;
        }
        if (pid == 0) {
            // Child: only async-signal-safe calls until exec.
            setsid();
            dup2(slaveFd, 0);
            dup2(slaveFd, 1);
            int devNull = open("/dev/null", O_WRONLY);
            if (devNull >= 0)
                dup2(devNull, 2);
            for (int fd = 3; fd < 1024; ++fd)
                close(fd);
            // The simulator blocks its ending signals and ignores SIGPIPE; rz gets the
            // usual behaviour back.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            signal(SIGPIPE, SIG_DFL);
            if (chdir(incoming_.c_str()) != 0)
                _exit(126);
            execv(exe.c_str(), const_cast<char* const*>(argv));
            _exit(127);
        }
        pid_ = pid;
        waiter_ = std::thread([this, pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            status_ = status;
            signalDone(done_);
        });
        return true;
    }

    int doneFd() const override { return done_; }

    void abort() override {
        if (pid_ > 0)
            kill(pid_, SIGTERM);
    }

    ReceiveOutcome finish() override {
        ReceiveOutcome out;
        if (waiter_.joinable())
            waiter_.join();
        uint64_t count;
        while (read(done_, &count, sizeof count) > 0) {
        }
        const int status = status_;
        pid_ = -1;
        if (incoming_.empty()) {
            out.error = "no receive was started";
            return out;
        }
        std::vector<std::string> files;
        if (DIR* d = opendir(incoming_.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string name = e->d_name;
                struct stat st {};
                if (name != "." && name != ".." &&
                    lstat((incoming_ + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
                    files.push_back(name);
            }
            closedir(d);
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            out.error = WIFEXITED(status)
                            ? "rz ended with status " + std::to_string(WEXITSTATUS(status))
                            : "rz was ended by signal " + std::to_string(WTERMSIG(status));
        } else if (files.size() != 1) {
            out.error = "rz left " + std::to_string(files.size()) + " files, expected 1";
        } else {
            const std::string target = dir_ + "/" + files.front();
            if (rename((incoming_ + "/" + files.front()).c_str(), target.c_str()) != 0) {
                out.error = "cannot move the image to " + target + ": " + std::strerror(errno);
            } else {
                out.ok = true;
                out.path = target;
            }
        }
        removeFlatDir(incoming_);
        incoming_.clear();
        return out;
    }

private:
    std::string program_;
    std::string dir_;
    std::string incoming_;
    int done_ = -1;
    pid_t pid_ = -1;
    std::atomic<int> status_{0};
    std::thread waiter_;
};

// The comm id the receive uses: port 255 of the private port map.
constexpr int32_t kCommId = 254;
constexpr int kPortNumber = 255;

using ReceiveFn = uint8_t (*)(int32_t, char*, int32_t*, XferFileInfoProc);
using AbortFn = int32_t (*)(int32_t, int32_t);
using OpenFn = int32_t (*)(int32_t);
using CloseFn = int32_t (*)(int32_t);
using SetLineFn = int32_t (*)(int32_t, int32_t, int32_t, int32_t, char, int32_t);
using ErrorTextFn = int32_t (*)(int32_t, char*, int32_t);

class LibraryReceiver;
// The library calls back through a plain function; one receive runs at a time.
std::atomic<LibraryReceiver*> gActive{nullptr};

class LibraryReceiver : public ImageReceiver {
public:
    LibraryReceiver(const std::string& libraryPath, std::string configHome)
        : configHome_(std::move(configHome)) {
        done_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        handle_ = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            const char* e = dlerror();
            reason_ = "no ZMODEM receiver: transfer library not available (" +
                      std::string(e ? e : libraryPath) + "); --rz uses lrzsz's rz";
            return;
        }
        receive_ = reinterpret_cast<ReceiveFn>(dlsym(handle_, "XferReceiveZmodem"));
        abort_ = reinterpret_cast<AbortFn>(dlsym(handle_, "XferAbort"));
        open_ = reinterpret_cast<OpenFn>(dlsym(handle_, "SerialOpenPort"));
        close_ = reinterpret_cast<CloseFn>(dlsym(handle_, "SerialClosePort"));
        setLine_ = reinterpret_cast<SetLineFn>(dlsym(handle_, "SerialSetLine"));
        errorText_ = reinterpret_cast<ErrorTextFn>(dlsym(handle_, "SerialErrorText"));
        if (!receive_ || !abort_ || !open_ || !close_)
            reason_ =
                "ZMODEM receiver not yet available in " + libraryPath + "; --rz uses lrzsz's rz";
    }
    ~LibraryReceiver() override {
        if (worker_.joinable()) {
            abort();
            worker_.join();
        }
        // The library stays loaded: its threads may outlive a receive by a moment.
        if (done_ >= 0)
            close(done_);
    }

    std::string unavailableReason() const override {
        if (done_ < 0)
            return "no event descriptor for the receive";
        return reason_;
    }

    bool start(const std::string& slavePath, int /*slaveFd*/, const std::string& dir,
               std::string& error) override {
        if (!reason_.empty()) {
            error = reason_;
            return false;
        }
        if (!setPortEntry(configHome_ + "/serilon/ports.conf", kPortNumber, slavePath, error))
            return false;
        dir_ = dir;
        saved_.clear();
        finished_ = false;
        status_ = 0;
        result_ = 0;
        openError_.clear();
        gActive = this;
        worker_ = std::thread([this] { run(); });
        return true;
    }

    int doneFd() const override { return done_; }

    void abort() override {
        if (worker_.joinable() && abort_)
            abort_(kCommId, 5000);
    }

    ReceiveOutcome finish() override {
        ReceiveOutcome out;
        if (worker_.joinable())
            worker_.join();
        gActive = nullptr;
        uint64_t count;
        while (read(done_, &count, sizeof count) > 0) {
        }
        if (!openError_.empty()) {
            out.error = openError_;
        } else if (result_ != 1 || status_ != XFER_STATUS_OK) {
            out.error = "ZMODEM receive failed with status " + std::to_string(status_);
        } else if (!finished_ || saved_.empty()) {
            out.error = "the sender sent no file";
        } else {
            out.ok = true;
            out.path = saved_;
        }
        return out;
    }

private:
    static int32_t fileInfo(int32_t /*commId*/, int32_t action, int32_t /*data*/,
                            XferFileInfo* record) {
        LibraryReceiver* self = gActive.load();
        if (!self || !record)
            return XFER_RESULT_STOP;
        switch (action & 0xFFFF) {
        case XFER_ACTION_RX_HEADER: {
            // One image per load: a second file in the same session is skipped.
            if (!self->saved_.empty())
                return XFER_RESULT_STOP;
            std::string name(record->fileName, strnlen(record->fileName, sizeof record->fileName));
            std::string path = self->dir_ + "/" + name;
            if (name.empty() || path.size() >= sizeof record->fileName)
                return XFER_RESULT_STOP;
            std::memcpy(record->fileName, path.c_str(), path.size() + 1);
            self->saved_ = path;
            return XFER_RESULT_GO_ON;
        }
        case XFER_ACTION_RX_FINISHED:
            self->finished_ = true;
            return XFER_RESULT_GO_ON;
        default:
            return XFER_RESULT_GO_ON;
        }
    }

    void run() {
        int32_t rc = open_(kCommId);
        if (rc != 0) {
            char text[256] = "";
            if (errorText_)
                errorText_(kCommId, text, sizeof text);
            openError_ = "cannot open the relay line: " + std::string(text);
            signalDone(done_);
            return;
        }
        if (setLine_)
            setLine_(kCommId, 115200, 8, 1, 'N', 0);
        char name[XFER_NAME_SIZE] = {};
        std::string base = dir_ + "/";
        std::memcpy(name, base.c_str(), std::min(base.size(), sizeof name - 1));
        int32_t status = 0;
        result_ = receive_(kCommId, name, &status, &LibraryReceiver::fileInfo);
        status_ = status;
        close_(kCommId);
        signalDone(done_);
    }

    std::string configHome_;
    std::string reason_;
    void* handle_ = nullptr;
    ReceiveFn receive_ = nullptr;
    AbortFn abort_ = nullptr;
    OpenFn open_ = nullptr;
    CloseFn close_ = nullptr;
    SetLineFn setLine_ = nullptr;
    ErrorTextFn errorText_ = nullptr;
    int done_ = -1;
    std::string dir_;
    std::string saved_;
    std::atomic<bool> finished_{false};
    std::atomic<int32_t> status_{0};
    std::atomic<int> result_{0};
    std::string openError_;
    std::thread worker_;
};

} // namespace

std::unique_ptr<ImageReceiver> makeRzReceiver(const std::string& program) {
    return std::make_unique<RzReceiver>(program);
}

std::unique_ptr<ImageReceiver> makeLibraryReceiver(const std::string& libraryPath,
                                                   const std::string& privateConfigHome) {
    return std::make_unique<LibraryReceiver>(libraryPath, privateConfigHome);
}

} // namespace scanner_sim

#include "tools/scanner-sim/sim_app.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "libs/serilon/port_map.h"
#include "tools/scanner-sim/escape.h"
#include "tools/scanner-sim/image_header.h"
#include "tools/scanner-sim/port_map_file.h"
#include "tools/scanner-sim/sha256.h"

namespace scanner_sim {

namespace {

constexpr size_t kMaxPendingOutput = 64 * 1024; // more than any PC leaves unread
constexpr size_t kRelayCap = 64 * 1024;
constexpr size_t kMaxFramesKept = 10000;
constexpr size_t kMaxClients = 32;
constexpr size_t kMaxControlLine = 64 * 1024;
constexpr size_t kMaxControlBacklog = 1024 * 1024;
constexpr auto kHangUpPause = std::chrono::milliseconds(100);

std::string makeTempDir(const std::string& stem, std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        error = "cannot create a directory " + pattern + ": " + std::strerror(errno);
        return {};
    }
    return buf.data();
}

std::string programDir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The transfer library by its SONAME: the file beside the program when there is one
// (the build tree), else the bare name, which the dynamic loader finds where the
// library is installed.
std::string defaultTransferLibrary() {
    const std::string beside = programDir() + "/" + VORT_TRANSVEX_SONAME;
    return access(beside.c_str(), F_OK) == 0 ? beside : std::string(VORT_TRANSVEX_SONAME);
}

int msUntil(TimePoint now, TimePoint when) {
    if (when <= now)
        return 0;
    auto ms = std::chrono::duration_cast<std::chrono::microseconds>(when - now).count();
    return static_cast<int>(std::min<long long>((ms + 999) / 1000, 60'000));
}

void writeAll(int fd, std::string& pending) {
    while (!pending.empty()) {
        ssize_t n = send(fd, pending.data(), pending.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        pending.erase(0, static_cast<size_t>(n));
    }
}

} // namespace

SimApp::SimApp(SimOptions options) : options_(std::move(options)) {}

SimApp::~SimApp() {
    tearDown();
}

void SimApp::logLine(std::string_view kind, std::string_view text) {
    if (!log_)
        return;
    std::string line(kind);
    line += ' ';
    for (char c : text)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), log_);
    std::fflush(log_);
}

void SimApp::send(std::string_view bytes, const LineSettings& line) {
    logLine("tx", escapeBytes(bytes));
    if (outBytes_ + bytes.size() > kMaxPendingOutput) {
        logLine("note", "output dropped: the PC side reads nothing");
        return;
    }
    // In slow mode a quiet line starts sending now; while output waits, each byte keeps
    // its place after the one before, so a late wake-up catches up instead of stretching
    // the answer.
    if (out_.empty())
        nextByteAt_ = std::max(nextByteAt_, Clock::now());
    out_.push_back({std::string(bytes), line.charTimeNs()});
    outBytes_ += bytes.size();
}

std::string SimApp::loadCheck(LoadTarget /*target*/) {
    if (load_)
        return "a load is already running";
    return receiver_ ? receiver_->unavailableReason() : "no image receiver";
}

void SimApp::startLoad(LoadTarget target) {
    auto load = std::make_unique<Load>();
    load->target = target;
    const Identity& id = engine_->identity();
    load->previous = target == LoadTarget::App1   ? id.app1Revision
                     : target == LoadTarget::App2 ? id.app2Revision
                                                  : id.bootRevision;
    load->lastTraffic = Clock::now();
    std::string error;
    if (!openPtyPair(load->relay, 115200, error) ||
        !receiver_->start(load->relay.slavePath, load->relay.slave, imageDir_, error)) {
        logLine("note", "image load could not start: " + error);
        ImageRecord rec;
        rec.target = std::string(loadTargetKey(target));
        rec.previous = load->previous;
        rec.error = error;
        lastImage_ = rec;
        ++loadsEnded_;
        engine_->finishLoad(std::nullopt);
        return;
    }
    logLine("note", "image load " + std::string(loadTargetKey(target)) + " started");
    load_ = std::move(load);
}

void SimApp::endLoad(bool aborted) {
    if (!load_)
        return;
    // What the receiver wrote last (its answer to the sender's end) still goes out.
    char buf[16384];
    for (;;) {
        ssize_t n = read(load_->relay.master, buf, sizeof buf);
        if (n <= 0)
            break;
        load_->toPc.append(buf, static_cast<size_t>(n));
    }
    ReceiveOutcome outcome = receiver_->finish();
    ImageRecord rec;
    rec.target = std::string(loadTargetKey(load_->target));
    rec.previous = load_->previous;
    std::optional<std::string> version;
    if (outcome.ok) {
        struct stat st {};
        if (stat(outcome.path.c_str(), &st) == 0) {
            rec.ok = true;
            rec.path = outcome.path;
            rec.size = static_cast<uint64_t>(st.st_size);
            rec.sha256 = sha256OfFile(outcome.path);
            std::string head(kImageHeaderSize, '\0');
            if (std::FILE* f = std::fopen(outcome.path.c_str(), "rb")) {
                size_t got = std::fread(head.data(), 1, head.size(), f);
                head.resize(got);
                std::fclose(f);
            }
            if (auto header = parseImageHeader(head, rec.size)) {
                rec.version = header->version;
                if (!header->version.empty())
                    version = header->version;
            }
        } else {
            rec.error = "received image vanished: " + outcome.path;
        }
    } else {
        rec.error = aborted ? "load given up: " + outcome.error : outcome.error;
    }
    logLine("note", "image load " + rec.target +
                        (rec.ok ? " done: " + rec.path + " " + std::to_string(rec.size) +
                                      " bytes sha256 " + rec.sha256
                                : " failed: " + rec.error) +
                        " (" + std::to_string(load_->bytesIn) + " bytes in, " +
                        std::to_string(load_->bytesOut) + " out)");
    lastImage_ = rec;
    ++loadsEnded_;
    if (!load_->toPc.empty()) {
        out_.push_back({std::move(load_->toPc), engine_->line().charTimeNs()});
        outBytes_ += out_.back().bytes.size();
    }
    load_.reset();
    engine_->finishLoad(version);
}

bool SimApp::setUpControl(std::string& error) {
    const std::string& path = options_.control;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        error = "control socket path too long (at most " +
                std::to_string(sizeof addr.sun_path - 1) + " bytes): " + path;
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " exists and is not a socket";
            return false;
        }
        int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bool live =
            probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        if (probe >= 0)
            close(probe);
        if (live) {
            error = path + " is in use by another program";
            return false;
        }
        unlink(path.c_str()); // left behind by a simulator that was killed
    }
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listenFd_, 8) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        return false;
    }
    controlMade_ = true;
    return true;
}

bool SimApp::setUp(std::string& error) {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGHUP);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signalFd_ = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd_ < 0) {
        error = std::string("cannot watch signals: ") + std::strerror(errno);
        return false;
    }

    if (!options_.logFile.empty()) {
        log_ = std::fopen(options_.logFile.c_str(), "we");
        if (!log_) {
            error = "cannot write " + options_.logFile + ": " + std::strerror(errno);
            return false;
        }
    }

    EngineHooks hooks;
    hooks.send = [this](std::string_view b, const LineSettings& l) { send(b, l); };
    hooks.frameReceived = [this](std::string_view frame) {
        logLine("rx", escapeBytes(frame));
        frames_.emplace_back(frame);
        if (frames_.size() > kMaxFramesKept)
            frames_.pop_front();
    };
    hooks.note = [this](std::string_view text) { logLine("note", text); };
    hooks.loadCheck = [this](LoadTarget t) { return loadCheck(t); };
    hooks.loadStart = [this](LoadTarget t) { startLoad(t); };
    hooks.lineChanged = [this](const LineSettings& line) {
        std::string e;
        if (port_ && !port_->applyLine(line, e))
            logLine("note", e);
    };
    engine_ = std::make_unique<ScannerEngine>(std::move(hooks));
    engine_->setLine(options_.line);
    engine_->setMismatchMode(options_.mismatch);
    for (const auto& [key, value] : options_.values) {
        std::string upperKey = key;
        for (char& c : upperKey)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (findSetupKey(upperKey)) {
            std::string e;
            if (!engine_->setSetupValue(upperKey, value, e)) {
                error = "--set " + key + ": " + e;
                return false;
            }
        } else if (std::string* field = identityField(engine_->identity(), upperKey)) {
            *field = value;
        } else {
            error = "--set: unknown key " + key;
            return false;
        }
    }
    for (const std::string& f : options_.faults) {
        std::string e = engine_->faults().apply(f);
        if (!e.empty()) {
            error = "--fault " + f + ": " + e;
            return false;
        }
    }

    port_ = options_.device.empty() ? LinePort::openPty(engine_->line(), error)
                                    : LinePort::openDevice(options_.device, engine_->line(), error);
    if (!port_)
        return false;

    imageDir_ = options_.imageDir;
    if (imageDir_.empty()) {
        imageDir_ = makeTempDir("scanner-sim-images", error);
        if (imageDir_.empty())
            return false;
    } else {
        std::error_code ec;
        std::filesystem::create_directories(imageDir_, ec);
        if (ec) {
            error = "cannot create " + imageDir_ + ": " + ec.message();
            return false;
        }
    }

    if (!options_.link.empty()) {
        struct stat st {};
        if (lstat(options_.link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                error = options_.link + " exists and is not a symbolic link";
                return false;
            }
            unlink(options_.link.c_str());
        }
        if (symlink(port_->path().c_str(), options_.link.c_str()) != 0) {
            error = "cannot make the link " + options_.link + ": " + std::strerror(errno);
            return false;
        }
        linkMade_ = true;
    }

    if (options_.comPort > 0) {
        portMapFile_ = options_.portMap.empty() ? serilon::portMapPath() : options_.portMap;
        if (portMapFile_.empty()) {
            error = "no port map: neither XDG_CONFIG_HOME nor HOME is set";
            return false;
        }
        std::string value = options_.link.empty() ? port_->path() : options_.link;
        if (!setPortEntry(portMapFile_, options_.comPort, value, error))
            return false;
        portMapValue_ = value;
    }

    if (options_.receiver == ReceiverKind::Rz) {
        receiver_ = makeRzReceiver(options_.rzProgram);
    } else {
        // The serial core finds ports through the port map of XDG_CONFIG_HOME; the
        // receive gets a private one, set before any other thread exists.
        privateHome_ = makeTempDir("scanner-sim-home", error);
        if (privateHome_.empty())
            return false;
        setenv("XDG_CONFIG_HOME", privateHome_.c_str(), 1);
        std::string library =
            options_.transferLibrary.empty() ? defaultTransferLibrary() : options_.transferLibrary;
        receiver_ = makeLibraryReceiver(library, privateHome_);
    }
    if (std::string why = receiver_->unavailableReason(); !why.empty())
        logLine("note", "image loads will be refused: " + why);

    if (!options_.control.empty() && !setUpControl(error))
        return false;

    logLine("note", "ready on " + port_->path() + " at " + engine_->line().toString());
    return true;
}

void SimApp::tearDown() {
    if (load_) {
        receiver_->abort();
        endLoad(true);
    }
    for (Client& c : clients_) {
        writeAll(c.fd, c.out);
        close(c.fd);
    }
    clients_.clear();
    if (listenFd_ >= 0) {
        close(listenFd_);
        listenFd_ = -1;
    }
    if (controlMade_) {
        unlink(options_.control.c_str());
        controlMade_ = false;
    }
    if (linkMade_) {
        char target[4096];
        ssize_t n = readlink(options_.link.c_str(), target, sizeof target - 1);
        if (n > 0 && port_ && std::string(target, static_cast<size_t>(n)) == port_->path())
            unlink(options_.link.c_str());
        linkMade_ = false;
    }
    if (!portMapValue_.empty()) {
        std::string e;
        removePortEntry(portMapFile_, options_.comPort, portMapValue_, e);
        portMapValue_.clear();
    }
    receiver_.reset();
    if (!privateHome_.empty()) {
        unlink((privateHome_ + "/serilon/ports.conf").c_str());
        rmdir((privateHome_ + "/serilon").c_str());
        rmdir(privateHome_.c_str());
        privateHome_.clear();
    }
    port_.reset();
    if (signalFd_ >= 0) {
        close(signalFd_);
        signalFd_ = -1;
    }
    if (log_) {
        std::fclose(log_);
        log_ = nullptr;
    }
}

void SimApp::readLine(TimePoint now) {
    char buf[4096];
    ssize_t n = read(port_->fd(), buf, sizeof buf);
    if (n > 0) {
        lastPeerBaud_ = port_->peerBaud();
        if (load_) {
            // The transfer runs at the scanner's rate too: a sender at another rate
            // reaches the receiver as nothing usable.
            if (lastPeerBaud_ != 0 && lastPeerBaud_ != engine_->line().baud) {
                if (!load_->rateNoted)
                    logLine("note", "image load: PC at " + std::to_string(lastPeerBaud_) +
                                        " baud, scanner at " +
                                        std::to_string(engine_->line().baud) +
                                        ": its bytes are lost");
                load_->rateNoted = true;
                return;
            }
            load_->toReceiver.append(buf, static_cast<size_t>(n));
            load_->bytesIn += static_cast<uint64_t>(n);
            load_->lastTraffic = now;
        } else {
            engine_->receive(std::string_view(buf, static_cast<size_t>(n)), lastPeerBaud_, now);
        }
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // Hung up (a device unplugged): look again later instead of spinning on it.
    lineQuietUntil_ = now + kHangUpPause;
}

std::optional<TimePoint> SimApp::nextWriteTime(TimePoint now) const {
    if (out_.empty()) {
        if (load_ && !load_->toPc.empty())
            return now;
        return std::nullopt;
    }
    if (!engine_->faults().slow)
        return now;
    return std::max(now, nextByteAt_);
}

void SimApp::writeLine(TimePoint now) {
    const int fd = port_->fd();
    while (!out_.empty()) {
        Outgoing& o = out_.front();
        size_t count = o.bytes.size();
        if (engine_->faults().slow) {
            const auto charTime = std::chrono::nanoseconds(o.charNs);
            count = 0;
            while (count < o.bytes.size() && nextByteAt_ + charTime * count <= now)
                ++count;
            if (count == 0)
                return;
        }
        ssize_t n = write(fd, o.bytes.data(), count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // full (the PC reads nothing) or hung up: try again later
        if (engine_->faults().slow)
            nextByteAt_ += std::chrono::nanoseconds(o.charNs) * n;
        o.bytes.erase(0, static_cast<size_t>(n));
        outBytes_ -= static_cast<size_t>(n);
        if (!o.bytes.empty())
            return;
        out_.pop_front();
    }
    if (load_ && !load_->toPc.empty()) {
        ssize_t n = write(fd, load_->toPc.data(), load_->toPc.size());
        if (n > 0)
            load_->toPc.erase(0, static_cast<size_t>(n));
    }
}

void SimApp::relay(short relayEvents, short /*unused*/, TimePoint now) {
    if (!load_)
        return;
    if (relayEvents & (POLLIN | POLLHUP | POLLERR)) {
        char buf[16384];
        ssize_t n = read(load_->relay.master, buf, sizeof buf);
        if (n > 0) {
            load_->toPc.append(buf, static_cast<size_t>(n));
            load_->bytesOut += static_cast<uint64_t>(n);
            load_->lastTraffic = now;
            // A ZMODEM sender ends with "OO" after the receiver's ZFIN, then flushes its
            // terminal as it exits. On a real UART the flush comes after the bytes left;
            // on a pseudo-terminal it throws them away, and the receiver would wait out
            // its time-out (rz: 30 s) before the scanner listens again. The receiver's
            // ZFIN (hex header type 08) ends the session, so the relay supplies the "OO".
            std::string seen = load_->tail + std::string(buf, static_cast<size_t>(n));
            if (!load_->closingSent && seen.find("\x18"
                                                 "B08") != std::string::npos) {
                load_->toReceiver += "OO";
                load_->closingSent = true;
            }
            load_->tail = seen.substr(seen.size() > 3 ? seen.size() - 3 : 0);
        }
    }
    if (!load_->toReceiver.empty()) {
        ssize_t n = write(load_->relay.master, load_->toReceiver.data(), load_->toReceiver.size());
        if (n > 0)
            load_->toReceiver.erase(0, static_cast<size_t>(n));
    }
}

void SimApp::acceptClient() {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return;
    if (clients_.size() >= kMaxClients) {
        std::string busy = "err too many control connections\n";
        writeAll(fd, busy);
        close(fd);
        return;
    }
    clients_.push_back(Client{fd, {}, {}, false});
}

void SimApp::serviceClient(Client& client, short events) {
    if (events & (POLLIN | POLLHUP | POLLERR)) {
        char buf[4096];
        ssize_t n = read(client.fd, buf, sizeof buf);
        if (n > 0) {
            client.in.append(buf, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            client.closing = true;
        }
    }
    size_t nl;
    while (!quit_ && !client.waiting && (nl = client.in.find('\n')) != std::string::npos) {
        std::string line = client.in.substr(0, nl);
        client.in.erase(0, nl + 1);
        if (line.rfind("wait-image", 0) == 0) {
            // Answered when a load ends, so tests wait for a transfer without polling.
            unsigned long long above = 0;
            unsigned long ms = 0;
            char extra = 0;
            if (std::sscanf(line.c_str(), "wait-image %llu %lu %c", &above, &ms, &extra) != 2 ||
                ms > 600'000) {
                client.out += "err wait-image needs COUNT and MS (0..600000)\n";
            } else if (loadsEnded_ > above) {
                client.out += imageAnswer(lastImage_, loadsEnded_) + "\n";
            } else {
                client.waiting = true;
                client.waitAbove = above;
                client.waitUntil = Clock::now() + std::chrono::milliseconds(ms);
            }
            continue;
        }
        ControlContext ctx{*engine_, frames_, lastImage_, port_->peerBaud(), false, loadsEnded_};
        client.out += runControlCommand(line, ctx);
        client.out += '\n';
        if (ctx.quit)
            quit_ = true;
    }
    if (client.in.size() > kMaxControlLine) {
        client.out += "err line too long\n";
        client.in.clear();
        client.closing = true;
    }
    writeAll(client.fd, client.out);
    // A client that sends commands but never reads the answers is dropped, not buffered
    // without end.
    if (client.out.size() > kMaxControlBacklog) {
        client.out.clear();
        client.closing = true;
    }
}

void SimApp::resolveWaits(TimePoint now) {
    for (Client& c : clients_) {
        if (!c.waiting)
            continue;
        if (loadsEnded_ > c.waitAbove)
            c.out += imageAnswer(lastImage_, loadsEnded_) + "\n";
        else if (now >= c.waitUntil)
            c.out += "err timeout\n";
        else
            continue;
        c.waiting = false;
        serviceClient(c, 0); // lines that came after the wait
    }
}

void SimApp::loop() {
    bool abortAsked = false;
    while (!quit_) {
        TimePoint now = Clock::now();
        std::vector<pollfd> fds;
        fds.push_back({signalFd_, POLLIN, 0});
        short lineEvents = 0;
        if (now >= lineQuietUntil_ && (!load_ || load_->toReceiver.size() < kRelayCap))
            lineEvents |= POLLIN;
        auto writeAt = nextWriteTime(now);
        if (writeAt && *writeAt <= now)
            lineEvents |= POLLOUT;
        fds.push_back({port_->fd(), lineEvents, 0});
        size_t relayIndex = 0;
        size_t doneIndex = 0;
        if (load_) {
            short ev = 0;
            if (load_->toPc.size() < kRelayCap)
                ev |= POLLIN;
            if (!load_->toReceiver.empty())
                ev |= POLLOUT;
            relayIndex = fds.size();
            fds.push_back({load_->relay.master, ev, 0});
            doneIndex = fds.size();
            fds.push_back({receiver_->doneFd(), POLLIN, 0});
        }
        size_t listenIndex = 0;
        if (listenFd_ >= 0) {
            listenIndex = fds.size();
            fds.push_back({listenFd_, POLLIN, 0});
        }
        const size_t firstClient = fds.size();
        for (const Client& c : clients_)
            fds.push_back({c.fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});

        int timeout = -1;
        auto consider = [&](std::optional<TimePoint> when) {
            if (!when)
                return;
            int ms = msUntil(now, *when);
            if (timeout < 0 || ms < timeout)
                timeout = ms;
        };
        consider(engine_->nextDeadline());
        if (writeAt && *writeAt > now)
            consider(writeAt);
        if (now < lineQuietUntil_)
            consider(lineQuietUntil_);
        if (load_)
            consider(load_->lastTraffic + std::chrono::seconds(options_.loadTimeoutSeconds));
        for (const Client& c : clients_)
            if (c.waiting)
                consider(c.waitUntil);

        int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            logLine("note", std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        now = Clock::now();
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(signalFd_, &info, sizeof info) > 0)
                logLine("note", "signal " + std::to_string(info.ssi_signo) + ": ending");
            quit_ = true;
            break;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR))
            readLine(now);
        engine_->tick(now);
        if (load_) {
            relay(fds[relayIndex].revents, 0, now);
            if (fds[doneIndex].revents & POLLIN) {
                writeLine(now);
                endLoad(abortAsked);
                abortAsked = false;
            } else if (!abortAsked && now - load_->lastTraffic >=
                                          std::chrono::seconds(options_.loadTimeoutSeconds)) {
                logLine("note", "image load silent for " +
                                    std::to_string(options_.loadTimeoutSeconds) + " s: giving up");
                abortAsked = true;
                receiver_->abort();
            }
        }
        writeLine(now);
        for (size_t i = 0; i < clients_.size() && firstClient + i < fds.size(); ++i)
            if (fds[firstClient + i].revents)
                serviceClient(clients_[i], fds[firstClient + i].revents);
        resolveWaits(now);
        clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                      [](Client& c) {
                                          if (c.closing && c.out.empty()) {
                                              close(c.fd);
                                              return true;
                                          }
                                          return false;
                                      }),
                       clients_.end());
        if (listenFd_ >= 0 && (fds[listenIndex].revents & POLLIN))
            acceptClient();
    }
}

int SimApp::run() {
    std::string error;
    if (!setUp(error)) {
        std::fprintf(stderr, "scanner-sim: %s\n", error.c_str());
        tearDown();
        return 1;
    }
    std::printf("%s\n", port_->path().c_str());
    std::fflush(stdout);
    loop();
    tearDown();
    return 0;
}

} // namespace scanner_sim

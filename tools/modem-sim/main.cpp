// modem-sim: a Hayes modem on a pseudo-terminal, for tests and for anyone without a
// modem. Prints the terminal's path as its first line once ready; a control socket
// (--control PATH) lets a test make it ring, change what a dial leads to, send data
// from the far end, hang up the far end and look at its state.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "platform/component/hex_digit.h"
#include "tools/modem-sim/control_listener.h"
#include "tools/modem-sim/hayes_modem.h"
#include "tools/modem-sim/sim_options.h"

using namespace modemsim;

namespace {

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Echo and results waiting for the computer beyond this stop the simulator reading what
// the computer sends, until the computer reads again: a line that is not read holds its
// sender back, and nothing else waits for it.
constexpr std::size_t kMaxToComputer = 64 * 1024;
// A control client that leaves this much of its answers unread, or sends a line this
// long without its end, is dropped.
constexpr std::size_t kMaxClientBacklog = 1 << 20;

struct Client {
    int fd;
    std::string in;  // bytes of a command line not yet complete
    std::string out; // answers not yet written
};

// Writes what fd takes now of pending, never waiting, and drops that from pending;
// false when fd failed for good.
bool flushSome(int fd, std::string& pending) {
    while (!pending.empty()) {
        const ssize_t n = ::write(fd, pending.data(), pending.size());
        if (n > 0) {
            pending.erase(0, size_t(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return n < 0 && errno == EAGAIN;
        }
    }
    return true;
}

// The answer to text with a malformed \x escape.
constexpr const char* kBadEscape = "err \\x needs two hex digits";

// Text from the control channel: \r \n \t \\ and \xHH; nothing when a \x is not
// followed by two hex digits.
std::optional<std::string> unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out.push_back(s[i]);
            continue;
        }
        const char e = s[++i];
        if (e == 'r')
            out.push_back('\r');
        else if (e == 'n')
            out.push_back('\n');
        else if (e == 't')
            out.push_back('\t');
        else if (e == 'x') {
            const int hi = i + 1 < s.size() ? vort::component::hexDigitValue(s[i + 1]) : -1;
            const int lo = i + 2 < s.size() ? vort::component::hexDigitValue(s[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else
            out.push_back(e);
    }
    return out;
}

std::string answer(HayesModem& modem, const std::string& line, bool& quit) {
    const size_t sp = line.find(' ');
    const std::string cmd = line.substr(0, sp);
    const std::string arg = sp == std::string::npos ? "" : line.substr(sp + 1);
    if (cmd == "ping")
        return "ok";
    if (cmd == "ring") {
        const std::optional<int> count = arg.empty() ? 10 : parseWholeNumber(arg, 1, kMaxRings);
        if (!count)
            return "err ring needs a count 1.." + std::to_string(kMaxRings);
        modem.ring(nowMs(), *count);
        return "ok";
    }
    if (cmd == "hangup") {
        modem.remoteHangUp();
        return "ok";
    }
    if (cmd == "send") {
        const std::optional<std::string> text = unescape(arg);
        if (!text)
            return kBadEscape;
        modem.remoteSend(*text);
        return "ok";
    }
    if (cmd == "state") {
        return std::string("ok ") + HayesModem::stateName(modem.state()) +
               " dials=" + std::to_string(modem.dials()) + " number=" + modem.lastNumber() +
               " s7=" + std::to_string(modem.sRegister(7)) + " echo=" + (modem.echo() ? "1" : "0") +
               " commands=" + std::to_string(modem.commands().size());
    }
    if (cmd == "commands") {
        std::string out = "ok";
        for (const std::string& c : modem.commands())
            out += " " + c;
        return out;
    }
    if (cmd == "received")
        return "ok " + std::to_string(modem.remoteReceived().size());
    if (cmd == "quit") {
        quit = true;
        return "ok";
    }
    if (cmd == "set") {
        const size_t sp2 = arg.find(' ');
        const std::string key = arg.substr(0, sp2);
        const std::string value = sp2 == std::string::npos ? "" : arg.substr(sp2 + 1);
        if (key == "dial-result") {
            DialOutcome o;
            if (!parseDialOutcome(value, o))
                return "err unknown dial result";
            modem.options().dialOutcome = o;
            return "ok";
        }
        if (key == "connect-delay") {
            const std::optional<int> ms = parseWholeNumber(value, 0, kMaxDelayMs);
            if (!ms)
                return "err connect-delay needs milliseconds 0.." + std::to_string(kMaxDelayMs);
            modem.options().connectDelayMs = *ms;
            return "ok";
        }
        if (key == "connect-text") {
            const std::optional<std::string> text = unescape(value);
            if (!text)
                return kBadEscape;
            modem.options().connectText = *text;
            return "ok";
        }
        return "err unknown setting";
    }
    return "err unknown command";
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    std::optional<SimOptions> parsed =
        parseSimOptions(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!parsed) {
        std::fprintf(stderr, "modem-sim: %s\n", error.c_str());
        return 2;
    }
    if (parsed->help) {
        std::fputs(simUsage().c_str(), stdout);
        return 0;
    }
    if (parsed->version) {
        std::printf("modem-sim %s\n", VORT_PROGRAM_VERSION);
        return 0;
    }
    const SimOptions& options = *parsed;

    // The ending signals arrive through a descriptor the loop waits on, so they end the
    // simulator at once whatever waits to be written.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&endSignals, sig);
    sigprocmask(SIG_BLOCK, &endSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signals = ::signalfd(-1, &endSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signals < 0) {
        std::perror("modem-sim: signals");
        return 1;
    }

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) < 0 || ::unlockpt(master) < 0) {
        std::perror("modem-sim: pseudo-terminal");
        return 1;
    }
    const std::string slavePath = ::ptsname(master);
    // Held open by the simulator too, so the master never reads as hung up between the
    // computer's opens; raw, so nothing is echoed or changed before it opens.
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (slave >= 0 && ::tcgetattr(slave, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    int listener = -1;
    if (!options.controlPath.empty()) {
        listener = listenOnControlPath(options.controlPath, error);
        if (listener < 0) {
            std::fprintf(stderr, "modem-sim: %s\n", error.c_str());
            return 1;
        }
    }

    std::string toComputer;
    HayesModem modem(options.modem, [&](std::string_view bytes) { toComputer.append(bytes); });
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    std::vector<Client> clients;
    bool quit = false;
    char buf[4096];
    while (!quit) {
        if (!flushSome(master, toComputer))
            toComputer.clear();
        for (Client& c : clients)
            if (!flushSome(c.fd, c.out) || c.out.size() > kMaxClientBacklog) {
                ::close(c.fd);
                c.fd = -1;
            }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });

        std::vector<pollfd> fds = {{signals, POLLIN, 0}, {master, 0, 0}};
        if (toComputer.size() < kMaxToComputer)
            fds[1].events |= POLLIN;
        if (!toComputer.empty())
            fds[1].events |= POLLOUT;
        if (listener >= 0)
            fds.push_back({listener, POLLIN, 0});
        const size_t firstClient = fds.size();
        for (const Client& c : clients)
            fds.push_back({c.fd, short(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
        const int64_t due = modem.nextDueMs(nowMs());
        const int r =
            ::poll(fds.data(), fds.size(), due < 0 ? 1000 : int(std::min<int64_t>(due + 1, 1000)));
        if (r < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            break;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                modem.input(std::string_view(buf, size_t(n)), nowMs());
        }
        if (listener >= 0 && (fds[2].revents & POLLIN)) {
            const int c = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (c >= 0)
                clients.push_back({c, {}, {}});
        }
        for (size_t j = 0; firstClient + j < fds.size(); ++j) {
            if (!(fds[firstClient + j].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            Client& c = clients[j];
            const ssize_t n = ::read(c.fd, buf, sizeof buf);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            c.in.append(buf, size_t(n));
            size_t nl;
            while ((nl = c.in.find('\n')) != std::string::npos) {
                std::string line = c.in.substr(0, nl);
                c.in.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                c.out += answer(modem, line, quit) + "\n";
            }
            if (c.in.size() > kMaxClientBacklog) {
                ::close(c.fd);
                c.fd = -1;
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
        modem.tick(nowMs());
    }
    for (Client& c : clients) {
        flushSome(c.fd, c.out); // the answer to quit, when it fits
        ::close(c.fd);
    }
    if (listener >= 0) {
        ::close(listener);
        ::unlink(options.controlPath.c_str());
    }
    if (slave >= 0)
        ::close(slave);
    ::close(master);
    ::close(signals);
    return 0;
}

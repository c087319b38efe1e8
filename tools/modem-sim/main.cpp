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
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "tools/modem-sim/hayes_modem.h"

using namespace modemsim;

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) {
    stopRequested = 1;
}

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void usage() {
    std::puts(
        "modem-sim: a Hayes modem on a pseudo-terminal\n"
        "  --control PATH        control socket (one command a line, answers ok/err)\n"
        "  --connect-delay MS    from ATD or ATA to the result (default 300)\n"
        "  --connect-text TEXT   the connect line (default \"CONNECT 9600\"; \"CONNECT\" works)\n"
        "  --dial-result WORD    connect, busy, no-carrier, no-dialtone, no-answer, error, none\n"
        "  --no-remote-echo      the far end does not send back what it gets\n"
        "Control commands: ping, ring [N], hangup, send TEXT, set dial-result WORD,\n"
        "set connect-delay MS, set connect-text TEXT, state, received, quit.");
}

struct Client {
    int fd;
    std::string pending;
};

bool writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p = {fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// Text from the control channel: \r \n \t \\ and \xHH.
std::string unescape(const std::string& s) {
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
        else if (e == 'x' && i + 2 < s.size()) {
            out.push_back(static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16)));
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
        modem.ring(nowMs(), arg.empty() ? 10 : std::max(1, std::atoi(arg.c_str())));
        return "ok";
    }
    if (cmd == "hangup") {
        modem.remoteHangUp();
        return "ok";
    }
    if (cmd == "send") {
        modem.remoteSend(unescape(arg));
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
            modem.options().connectDelayMs = std::max(0, std::atoi(value.c_str()));
            return "ok";
        }
        if (key == "connect-text") {
            modem.options().connectText = unescape(value);
            return "ok";
        }
        return "err unknown setting";
    }
    return "err unknown command";
}

} // namespace

int main(int argc, char** argv) {
    HayesModem::Options options;
    std::string controlPath;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "modem-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--control")
            controlPath = next();
        else if (a == "--connect-delay")
            options.connectDelayMs = std::atoi(next().c_str());
        else if (a == "--connect-text")
            options.connectText = next();
        else if (a == "--dial-result") {
            if (!parseDialOutcome(next(), options.dialOutcome)) {
                std::fprintf(stderr, "modem-sim: unknown dial result\n");
                return 2;
            }
        } else if (a == "--no-remote-echo")
            options.remoteEcho = false;
        else if (a == "--help") {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "modem-sim: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

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
    if (!controlPath.empty()) {
        listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (controlPath.size() >= sizeof addr.sun_path) {
            std::fprintf(stderr, "modem-sim: control path too long\n");
            return 2;
        }
        std::strcpy(addr.sun_path, controlPath.c_str());
        ::unlink(controlPath.c_str());
        if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
            ::listen(listener, 4) < 0) {
            std::perror("modem-sim: control socket");
            return 1;
        }
    }

    HayesModem modem(options, [&](std::string_view bytes) { writeAll(master, bytes); });
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);

    std::vector<Client> clients;
    bool quit = false;
    char buf[4096];
    while (!quit && !stopRequested) {
        std::vector<pollfd> fds = {{master, POLLIN, 0}};
        if (listener >= 0)
            fds.push_back({listener, POLLIN, 0});
        for (const Client& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        const int64_t due = modem.nextDueMs(nowMs());
        const int r =
            ::poll(fds.data(), fds.size(), due < 0 ? 1000 : int(std::min<int64_t>(due + 1, 1000)));
        if (r < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0)
                modem.input(std::string_view(buf, size_t(n)), nowMs());
        }
        size_t k = 1;
        if (listener >= 0) {
            if (fds[k].revents & POLLIN) {
                const int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0)
                    clients.push_back({c, {}});
            }
            ++k;
        }
        for (size_t j = 0; j < clients.size() && k + j < fds.size(); ++j) {
            if (!(fds[k + j].revents & (POLLIN | POLLHUP)))
                continue;
            Client& c = clients[j];
            const ssize_t n = ::read(c.fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(c.fd);
                c.fd = -1;
                continue;
            }
            c.pending.append(buf, size_t(n));
            size_t nl;
            while ((nl = c.pending.find('\n')) != std::string::npos) {
                std::string line = c.pending.substr(0, nl);
                c.pending.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                writeAll(c.fd, answer(modem, line, quit) + "\n");
            }
        }
        std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
        modem.tick(nowMs());
    }
    for (const Client& c : clients)
        ::close(c.fd);
    if (listener >= 0) {
        ::close(listener);
        ::unlink(controlPath.c_str());
    }
    if (slave >= 0)
        ::close(slave);
    ::close(master);
    return 0;
}

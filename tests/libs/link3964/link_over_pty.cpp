#include "tests/libs/link3964/link_over_pty.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "serilon/serilon.h"

namespace link3964::testing {

namespace {

template <typename F> void bind(void* handle, const char* name, F& target) {
    target = reinterpret_cast<F>(::dlsym(handle, name));
    if (!target)
        throw std::runtime_error(std::string("liblink3964.so lacks ") + name);
}

} // namespace

LinkApi::LinkApi() {
    const char* out = std::getenv("VORT_BUILD_OUT");
    std::string path = std::string(out ? out : ".") + "/liblink3964.so";
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw std::runtime_error(std::string("cannot load ") + path + ": " + ::dlerror());
    bind(handle, "RS_3964Version", version);
    bind(handle, "RS_SetTQTZ", setTqTz);
    bind(handle, "RS_SetMZ1MZ2", setMz1Mz2);
    bind(handle, "RS_TX3964R", tx);
    bind(handle, "RS_RX3964R", rx);
    bind(handle, "RS_TXFile_3964R", txFile);
    bind(handle, "RS_RXFile_3964R", rxFile);
}

LinkApi::~LinkApi() {
    if (handle)
        ::dlclose(handle);
}

Relay::Relay(int masterA, int masterB) : masterA_(masterA), masterB_(masterB) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { run(); });
}

Relay::~Relay() {
    stop();
    if (wake_ >= 0)
        ::close(wake_);
}

void Relay::setFilterAtoB(RelayFilter f) {
    std::lock_guard lock(filterMutex_);
    filterAtoB_ = std::move(f);
}

void Relay::stop() {
    if (!thread_.joinable())
        return;
    std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
}

void Relay::run() {
    for (;;) {
        pollfd fds[3] = {{masterA_, POLLIN, 0}, {masterB_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 3, 1000) < 0 && errno != EINTR)
            return;
        if (fds[2].revents)
            return;
        if ((fds[0].revents & POLLIN) && !pump(masterA_, masterB_, countAtoB_, true))
            return;
        if ((fds[1].revents & POLLIN) && !pump(masterB_, masterA_, countBtoA_, false))
            return;
        // A master whose slave is closed reports POLLHUP for good: do not spin on it.
        if ((fds[0].revents | fds[1].revents) & (POLLHUP | POLLERR))
            ::poll(nullptr, 0, 5);
    }
}

bool Relay::pump(int from, int to, std::size_t& counter, bool aToB) {
    std::uint8_t buf[4096];
    ssize_t n = ::read(from, buf, sizeof buf);
    if (n <= 0)
        return n == 0 || errno == EAGAIN || errno == EINTR || errno == EIO;
    if (aToB) {
        std::lock_guard lock(filterMutex_);
        if (filterAtoB_) {
            for (ssize_t i = 0; i < n; ++i)
                filterAtoB_(counter + static_cast<std::size_t>(i), buf[i]);
        }
    }
    counter += static_cast<std::size_t>(n);
    ssize_t done = 0;
    while (done < n) {
        ssize_t w = ::write(to, buf + done, static_cast<std::size_t>(n - done));
        if (w > 0) {
            done += w;
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd pfd{to, POLLOUT, 0};
        ::poll(&pfd, 1, 100);
    }
    return true;
}

LinkOverPty::LinkOverPty() {
    portMap.map(kCommA + 1, ptyA.slavePath());
    portMap.map(kCommB + 1, ptyB.slavePath());
    if (SerialOpenPort(kCommA) != SERIAL_OK || SerialOpenPort(kCommB) != SERIAL_OK)
        throw std::runtime_error("cannot open the pty slaves through the serial core");
    relay = std::make_unique<Relay>(ptyA.master(), ptyB.master());
}

LinkOverPty::~LinkOverPty() {
    SerialClosePort(kCommA);
    SerialClosePort(kCommB);
    relay.reset();
}

} // namespace link3964::testing

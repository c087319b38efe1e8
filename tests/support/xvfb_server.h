// A private X server (Xvfb) for tests that need the real xcb platform: what the window
// system shows, such as window titles, which the offscreen platform never sees.
//
//   XvfbServer x;
//   ASSERT_TRUE(x.ok()) << x.error();
//   setenv("DISPLAY", x.display().c_str(), 1);     // or pass it to a child
//   ... show windows ...
//   auto titles = x.waitForTitles([](auto& t) { return !t.empty(); });
//
// The server picks a free display number itself (-displayfd), so parallel tests never
// meet. The titles come from xwininfo (x11-utils). One server per object; its calls are
// not thread-safe.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vort::test {

class XvfbServer {
public:
    // Starts Xvfb and waits until it accepts clients (at most startTimeout).
    explicit XvfbServer(std::chrono::milliseconds startTimeout = std::chrono::seconds(20));
    ~XvfbServer(); // stops the server
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool ok() const { return pid_ > 0 && !display_.empty(); }
    const std::string& error() const { return error_; }
    // ":N", for DISPLAY.
    const std::string& display() const { return display_; }

    // The titles (_NET_WM_NAME, else WM_NAME) of the top-level windows mapped now, in
    // stacking order.
    std::vector<std::string> shownTitles() const;
    // Polls shownTitles() until done accepts them or timeout passes; returns the last
    // titles seen either way. between runs between two polls (a process showing its
    // own windows lets its event loop run there); without it the poll sleeps 50 ms.
    std::vector<std::string>
    waitForTitles(const std::function<bool(const std::vector<std::string>&)>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(30),
                  const std::function<void()>& between = {}) const;

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
};

} // namespace vort::test

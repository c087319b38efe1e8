// Shared pieces of the connection-type tests: a notification window that keeps what
// was posted and hands it to the control in the test's thread, a recording event sink,
// and the modem simulator as a child process.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "control/object/vort_ctrl.h"
#include "support/modem_sim_process.h"
#include "support/wait.h"

namespace links_test {

struct Posted {
    uint16_t kind;
    int16_t code;
    intptr_t lParam;
};

// Keeps the notifications; deliver() runs them through OnCommNotify, as the control's
// window would in the owner's thread.
class QueueWindow : public vort::NotificationWindow {
public:
    void post(uint32_t wParam, intptr_t lParam) override {
        std::lock_guard lock(m_);
        queue_.push_back(
            {static_cast<uint16_t>(wParam & 0xFFFF), static_cast<int16_t>(wParam >> 16), lParam});
        all_.push_back(queue_.back());
    }
    int32_t handle() const override { return 7; }
    void deliver(vort::CVortCtrl& ctl) {
        std::vector<Posted> now;
        {
            std::lock_guard lock(m_);
            now.swap(queue_);
        }
        for (const Posted& p : now)
            ctl.OnCommNotify((static_cast<uint32_t>(static_cast<uint16_t>(p.code)) << 16) | p.kind,
                             p.lParam);
    }
    std::vector<Posted> all() {
        std::lock_guard lock(m_);
        return all_;
    }
    int count(uint16_t kind, int16_t code) {
        int n = 0;
        for (const Posted& p : all())
            n += p.kind == kind && p.code == code;
        return n;
    }

private:
    std::mutex m_;
    std::vector<Posted> queue_;
    std::vector<Posted> all_;
};

using vort::test::waitFor;

// The control's texts are 16-bit; the tests compare them as ASCII.
inline std::string narrow(const std::u16string& s) {
    return std::string(s.begin(), s.end());
}

// n reproducible bytes of every value.
inline std::string randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// Sends all of data through from's Output in pieces and collects what arrives at to's
// Input (binary mode), until both are done or 20 s have passed.
inline bool exchange(vort::CVortCtrl& from, vort::CVortCtrl& to, const std::string& data,
                     std::string& got) {
    size_t sent = 0;
    return waitFor(
        [&] {
            if (sent < data.size() && from.outBufferCount() < 1000) {
                const size_t n = std::min<size_t>(1000, data.size() - sent);
                const std::string piece = data.substr(sent, n);
                from.setOutput(vort::component::Variant::bytes(
                    std::vector<uint8_t>(piece.begin(), piece.end())));
                sent += n;
            }
            const vort::component::Variant v = to.input();
            if (v.isBytes())
                got.append(v.byteArray().begin(), v.byteArray().end());
            return sent == data.size() && got.size() >= data.size();
        },
        20000);
}

using vort::test::ModemSim;

} // namespace links_test

#include "bench/upgrade/load_token.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace upgrade_bench {

const char* tokenAnswerName(TokenAnswer a) {
    switch (a) {
    case TokenAnswer::None:
        return "no answer";
    case TokenAnswer::Ack:
        return "ACK";
    case TokenAnswer::Nak:
        return "NAK";
    }
    return "?";
}

TokenAnswer firstAnswer(std::string_view received) {
    for (const char c : received) {
        if (c == '\x06') {
            return TokenAnswer::Ack;
        }
        if (c == '\x15') {
            return TokenAnswer::Nak;
        }
    }
    return TokenAnswer::None;
}

TokenAnswer exchangeLoadToken(int fd, int timeoutMs, std::string& error) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto left = [&] {
        return static_cast<int>(std::max<int64_t>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count()));
    };
    size_t sent = 0;
    while (sent < kLoadTokenFrame.size()) {
        const ssize_t n = ::write(fd, kLoadTokenFrame.data() + sent, kLoadTokenFrame.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = std::string("cannot write the load token: ") + std::strerror(errno);
            return TokenAnswer::None;
        }
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, left()) == 0) {
            error = "the line took no load token";
            return TokenAnswer::None;
        }
    }
    // One byte at a time: whatever follows the answer belongs to the transfer.
    std::string received;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, left());
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            error = "the scanner did not answer the load token";
            return TokenAnswer::None;
        }
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL) && !(p.revents & POLLIN)) {
            error = "the line hung up";
            return TokenAnswer::None;
        }
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            error = "the line hung up";
            return TokenAnswer::None;
        }
        received.push_back(c);
        const TokenAnswer a = firstAnswer(received);
        if (a != TokenAnswer::None) {
            return a;
        }
    }
}

} // namespace upgrade_bench

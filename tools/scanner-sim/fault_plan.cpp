#include "tools/scanner-sim/fault_plan.h"

#include <charconv>
#include <vector>

#include "tools/scanner-sim/escape.h"

namespace scanner_sim {

namespace {

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t')
            ++i;
        if (i > start)
            out.push_back(s.substr(start, i - start));
    }
    return out;
}

bool toCount(std::string_view s, uint32_t limit, uint32_t& out) {
    uint32_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || v > limit)
        return false;
    out = v;
    return true;
}

constexpr uint32_t kMaxCount = 1'000'000;
constexpr uint32_t kMaxDelayMs = 600'000;

} // namespace

std::string FaultPlan::apply(std::string_view command) {
    auto w = words(command);
    if (w.empty())
        return "fault: missing kind";
    const std::string_view kind = w[0];
    if (kind == "clear") {
        if (w.size() != 1)
            return "fault clear takes no argument";
        *this = FaultPlan{};
        return {};
    }
    if (kind == "nak" || kind == "ignore" || kind == "noanswer" || kind == "garble") {
        uint32_t n = 1;
        if (w.size() > 2 || (w.size() == 2 && !toCount(w[1], kMaxCount, n)))
            return "fault " + std::string(kind) + ": expected a count";
        int& target = kind == "nak"      ? nakFrames
                      : kind == "ignore" ? ignoreFrames
                      : kind == "garble" ? garbleAnswers
                                         : withholdAnswers;
        target = static_cast<int>(n);
        return {};
    }
    if (kind == "stray") {
        if (w.size() < 2 || w.size() > 3)
            return "fault stray: expected TEXT [COUNT]";
        auto bytes = unescapeBytes(w[1]);
        if (!bytes || bytes->empty())
            return "fault stray: bad escaped text";
        uint32_t n = 1;
        if (w.size() == 3 && !toCount(w[2], kMaxCount, n))
            return "fault stray: expected a count";
        strayBytes = *bytes;
        strayFrames = static_cast<int>(n);
        return {};
    }
    if (kind == "ackdelay" || kind == "delay") {
        uint32_t ms = 0;
        if (w.size() != 2 || !toCount(w[1], kMaxDelayMs, ms))
            return "fault " + std::string(kind) + ": expected milliseconds (0..600000)";
        (kind == "delay" ? answerDelayMs : ackDelayMs) = ms;
        return {};
    }
    if (kind == "slow") {
        if (w.size() != 2 || (w[1] != "on" && w[1] != "off"))
            return "fault slow: expected on or off";
        slow = w[1] == "on";
        return {};
    }
    return "fault: unknown kind '" + std::string(kind) + "'";
}

std::string FaultPlan::describe() const {
    std::string s;
    auto add = [&](const std::string& part) {
        if (!s.empty())
            s += ' ';
        s += part;
    };
    if (nakFrames > 0)
        add("nak=" + std::to_string(nakFrames));
    if (ignoreFrames > 0)
        add("ignore=" + std::to_string(ignoreFrames));
    if (withholdAnswers > 0)
        add("noanswer=" + std::to_string(withholdAnswers));
    if (garbleAnswers > 0)
        add("garble=" + std::to_string(garbleAnswers));
    if (strayFrames > 0)
        add("stray=" + escapeBytes(strayBytes) + "x" + std::to_string(strayFrames));
    if (ackDelayMs > 0)
        add("ackdelay=" + std::to_string(ackDelayMs));
    if (answerDelayMs > 0)
        add("delay=" + std::to_string(answerDelayMs));
    if (slow)
        add("slow=on");
    return s.empty() ? "none" : s;
}

} // namespace scanner_sim

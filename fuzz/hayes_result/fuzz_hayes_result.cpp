// Any bytes become lines of at most 80 printable characters, the same lines however
// the bytes are split between calls, and every line classifies without failing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "libs/serilon/hayes_result.h"

namespace {

std::vector<std::string> linesOf(const uint8_t* data, size_t size, size_t step) {
    serilon::HayesLineReader reader;
    std::vector<std::string> lines;
    for (size_t at = 0; at < size; at += step) {
        const size_t n = std::min(step, size - at);
        reader.feed(data + at, n, [&](std::string_view line) { lines.emplace_back(line); });
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> whole = linesOf(data, size, size ? size : 1);
    for (const std::string& line : whole) {
        if (line.empty() || line.size() > serilon::HayesLineReader::kMaxLine)
            std::abort();
        for (unsigned char c : line)
            if (c < 0x20 || c == 0x7F)
                std::abort();
        const serilon::HayesResult r = serilon::classifyHayesLine(line);
        if (serilon::hayesResultName(r) == nullptr)
            std::abort();
    }
    const size_t step = size > 0 ? 1 + data[0] % 7 : 1;
    if (linesOf(data, size, step) != whole)
        std::abort();
    return 0;
}

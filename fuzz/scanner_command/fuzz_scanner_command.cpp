// libFuzzer target: the first byte picks how the rest is cut into reads and at which
// rate they arrive; the bytes then go through the scanner engine as line input, through
// the token parser as one frame payload, and through the control parser line by line.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "tools/scanner-sim/control_commands.h"
#include "tools/scanner-sim/scanner_engine.h"
#include "tools/scanner-sim/token_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    using namespace scanner_sim;
    const uint8_t mode = data[0];
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

    size_t sentBytes = 0;
    ScannerEngine* self = nullptr;
    EngineHooks hooks;
    hooks.send = [&](std::string_view b, const LineSettings&) { sentBytes += b.size(); };
    hooks.loadCheck = [&](LoadTarget) { return (mode & 0x10) ? std::string() : "none"; };
    // A load that ends at once, with or without a version.
    hooks.loadStart = [&](LoadTarget) {
        if (self)
            self->finishLoad((mode & 0x20) ? std::optional<std::string>("3.3") : std::nullopt);
    };
    ScannerEngine engine(std::move(hooks), 64 + (mode & 0x0F) * 16);
    self = &engine;
    if (mode & 0x40)
        engine.faults().apply("garble 3");
    if (mode & 0x80)
        engine.setMismatchMode(MismatchMode::Garbage);

    TimePoint now{};
    const size_t piece = 1 + (mode % 7) * 5;
    for (size_t i = 0; i < input.size(); i += piece) {
        const uint32_t rate = (i / piece) % 5 == 4 ? 19200 : engine.line().baud;
        engine.receive(input.substr(i, piece), rate, now);
        now += std::chrono::milliseconds(7);
        engine.tick(now);
    }
    engine.tick(now + std::chrono::hours(1));
    // Every setup value the engine accepted must still make a clean record list.
    const std::string records = engine.setup().recordList();
    if (records.find('\r') != std::string::npos || records.find('\n') != std::string::npos)
        __builtin_trap();

    TokenList tokens = parseTokens(input);
    if (!tokens.ok() && !tokens.tokens.empty())
        __builtin_trap();

    std::deque<std::string> frames;
    std::optional<ImageRecord> image;
    size_t start = 0;
    while (start < input.size()) {
        size_t nl = input.find('\n', start);
        std::string_view line = input.substr(start, nl == std::string_view::npos ? nl : nl - start);
        ControlContext ctx{engine, frames, image, 9600, false};
        std::string answer = runControlCommand(line, ctx);
        if (answer.find('\n') != std::string::npos)
            __builtin_trap(); // one answer, one line
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    return 0;
}

// Random script lines into the container's line parser and value notation (nothing is
// executed). Every line must parse or be refused with a reason; every value that
// parses must print in a form that parses back to the same value, and printing must
// be stable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/container/script_parser.h"
#include "tools/container/value_notation.h"

using namespace vort::container;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

void roundTrip(const vort::component::Variant& v) {
    const std::string printed = formatValue(v);
    std::string error;
    const std::optional<vort::component::Variant> back = parseValue(printed, &error);
    check(back.has_value());
    check(formatValue(*back) == printed);
    // Integers may come back as the narrower type; everything else exactly.
    if (!(v.type() == vort::component::VT_I4 || v.type() == vort::component::VT_I2))
        check(*back == v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The whole input as one line (a script line never holds a line feed).
    if (input.find('\n') == std::string_view::npos) {
        const ParsedLine parsed = parseScriptLine(input);
        check(!(parsed.command && !parsed.error.empty()));
        if (parsed.command)
            for (const auto& v : parsed.command->values)
                roundTrip(v);
    }
    // The whole input as one value.
    std::string error;
    const std::optional<vort::component::Variant> v = parseValue(input, &error);
    if (v)
        roundTrip(*v);
    else
        check(!error.empty());
    return 0;
}

// modem-sim's command line, and the whole numbers it and its control socket take.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/modem-sim/hayes_modem.h"

namespace modemsim {

// The longest connect delay: one day, in milliseconds.
inline constexpr int kMaxDelayMs = 86'400'000;
// The most rings one "ring" command asks for.
inline constexpr int kMaxRings = 1000;

struct SimOptions {
    HayesModem::Options modem;
    std::string controlPath; // empty: no control socket
    bool help = false;
    bool version = false; // --version: print the version and end
};

// A decimal whole number from min to max, the whole text and nothing else (no sign,
// no blanks); nullopt otherwise.
std::optional<int> parseWholeNumber(std::string_view text, int min, int max);

// args without the program name; nullopt with error (one line, naming the option)
// for an unknown option, a missing value or a value out of range.
std::optional<SimOptions> parseSimOptions(const std::vector<std::string>& args, std::string& error);

std::string simUsage();

} // namespace modemsim

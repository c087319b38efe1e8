// scanner-sim: a scanner on a pseudo-terminal (see --help and README.md).
#include <cstdio>
#include <string>
#include <vector>

#include "tools/scanner-sim/sim_app.h"
#include "tools/scanner-sim/sim_options.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto options = scanner_sim::parseSimOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "scanner-sim: %s\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(scanner_sim::simUsage().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("scanner-sim %s\n", VORT_PROGRAM_VERSION);
        return 0;
    }
    scanner_sim::SimApp app(std::move(*options));
    return app.run();
}

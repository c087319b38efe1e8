// Loads a text property bag just under the 1 MiB the hosts accept into the control, as
// a host loads a stored design: the file is read whole, parsed and exchanged. The
// bag holds the control's own properties and, after them, some 90,000 short lines no
// exchange asks for (what a long-edited design collects). The peer reads the same file
// line by line with std::getline. Both run from the page cache. Each is timed by the
// wall clock and by the CPU time of its thread; the best of the rounds counts, and the
// ratio is taken on CPU time, which a busy machine disturbs far less than the wall
// clock (the wall-clock ratio is printed beside it).
//
//   bench_property_bag [rounds]   (default 20)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <time.h>
#include <unistd.h>

#include "control/object/vort_ctrl.h"
#include "platform/component/text_property_bag.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kCapBytes = 1u << 20;

// The control's own bag with CommPort 9, then filler lines up to just under the cap.
std::string makeBag(size_t& lines) {
    vort::CVortCtrl source;
    source.setCommPort(9);
    vort::component::TextPropertyBagWriter writer;
    source.save(writer, false);
    std::string text = writer.text();
    lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    for (size_t i = 0;; ++i) {
        const std::string line =
            i % 5 == 0 ? "N" + std::to_string(i) + " = \"x\"\n"
                       : "K" + std::to_string(i) + " = " + std::to_string(i % 10) + "\n";
        if (text.size() + line.size() >= kCapBytes)
            break;
        text += line;
        ++lines;
    }
    return text;
}

// Wall-clock and thread CPU seconds of one run.
struct Times {
    double wall = 1e9, cpu = 1e9;
    void keepBest(const Times& t) {
        wall = std::min(wall, t.wall);
        cpu = std::min(cpu, t.cpu);
    }
};

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Times f() by both clocks.
template <class F> Times timed(F f) {
    const auto wall = Clock::now();
    const double cpu = threadCpuSeconds();
    f();
    return {std::chrono::duration<double>(Clock::now() - wall).count(), threadCpuSeconds() - cpu};
}

// Reads, parses and loads the file into a fresh control; false if the load failed or
// lost the bag's CommPort.
bool loadOnce(const std::filesystem::path& file, Times& best) {
    vort::CVortCtrl ctl;
    int32_t code = 0;
    std::string error;
    best.keepBest(timed([&] {
        std::ifstream in(file, std::ios::binary);
        std::string text(std::filesystem::file_size(file), '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        vort::component::TextPropertyBagReader reader(text);
        code = ctl.load(reader);
        error = reader.error();
    }));
    if (code != vort::component::kOk)
        std::printf("load failed: %s\n", error.c_str());
    return code == vort::component::kOk && ctl.commPort() == 9;
}

// Reads the file line by line; the line count comes back in lines.
void getlineOnce(const std::filesystem::path& file, Times& best, size_t& lines) {
    best.keepBest(timed([&] {
        std::ifstream in(file, std::ios::binary);
        std::string line;
        lines = 0;
        while (std::getline(in, line))
            ++lines;
    }));
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const auto dir =
        std::filesystem::temp_directory_path() / ("bench-bag-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir / "serilon");
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    const auto file = dir / "design.bag";

    size_t lines = 0;
    const std::string bag = makeBag(lines);
    std::ofstream(file, std::ios::binary) << bag;

    Times load, read;
    bool ok = true;
    size_t readLines = 0;
    for (int i = 0; i < rounds; ++i) {
        ok = loadOnce(file, load) && ok;
        getlineOnce(file, read, readLines);
    }
    std::printf("bag:                %zu bytes, %zu lines\n", bag.size(), lines);
    std::printf("load into control:  %.2f ms CPU, %.2f ms wall\n", load.cpu * 1e3, load.wall * 1e3);
    std::printf("std::getline:       %.2f ms CPU, %.2f ms wall (%zu lines)\n", read.cpu * 1e3,
                read.wall * 1e3, readLines);
    std::printf("ratio load/getline: %.2f (target < 5; wall clock %.2f)\n", load.cpu / read.cpu,
                load.wall / read.wall);
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}

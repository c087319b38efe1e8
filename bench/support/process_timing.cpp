#include "bench/support/process_timing.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vort::bench {

namespace fs = std::filesystem;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double cpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

double lineSeconds(uint64_t bytes, double baud) {
    return static_cast<double>(bytes) * 10.0 / baud;
}

ChildRun runChild(const std::vector<std::string>& args, const std::string& outPath) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ChildRun run;
    const auto start = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.wall = seconds(Clock::now() - start);
    run.cpu = cpuSeconds(usage);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string scratchDir(const char* pattern) {
    std::string path = (fs::temp_directory_path() / pattern).string();
    if (!mkdtemp(path.data()))
        throw std::runtime_error("mkdtemp");
    return path;
}

std::string buildOut() {
    const char* env = std::getenv("VORT_BUILD_OUT");
    const std::string out = env ? env : fs::canonical("/proc/self/exe").parent_path().string();
    setenv("VORT_BUILD_OUT", out.c_str(), 1);
    return out;
}

std::string registerControl(const std::string& out, const char* who) {
    const std::string data = scratchDir("bench-data-XXXXXX");
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    if (runChild({out + "/vortreg", out + "/libvort.so"}, "/dev/null").status != 0) {
        std::fprintf(stderr, "%s: cannot register %s/libvort.so\n", who, out.c_str());
        std::error_code ec;
        fs::remove_all(data, ec);
        return {};
    }
    return data;
}

} // namespace vort::bench

#include "support/program_run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/wait.h"

extern char** environ;

namespace vort::test {

namespace {

// An unnamed temporary file that collects one output stream of the child.
class Capture {
public:
    Capture() : file_(std::tmpfile()) {}
    ~Capture() {
        if (file_)
            std::fclose(file_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    int fd() const { return file_ ? fileno(file_) : -1; }
    std::string text() const {
        std::string all;
        if (!file_)
            return all;
        std::rewind(file_);
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0)
            all.append(buffer, n);
        return all;
    }

private:
    std::FILE* file_;
};

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> p;
    for (std::string& t : texts)
        p.push_back(t.data());
    p.push_back(nullptr);
    return p;
}

} // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env, int timeoutMs) {
    ProgramRun run;
    Capture out, err;
    if (out.fd() < 0 || err.fd() < 0) {
        run.err = "cannot make a temporary file: " + std::string(std::strerror(errno));
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.fd(), STDERR_FILENO);
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envCopy = env;
    std::vector<char*> argp = pointers(argv);
    std::vector<char*> envp = pointers(envCopy);
    pid_t pid = -1;
    const int spawned =
        posix_spawnp(&pid, program.c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.err = "cannot start " + program + ": " + std::strerror(spawned);
        return run;
    }
    int wstatus = 0;
    const bool ended = waitFor([&] { return ::waitpid(pid, &wstatus, WNOHANG) == pid; }, timeoutMs);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &wstatus, 0);
        run.out = out.text();
        run.err = err.text() + "\n[" + program + " did not end within " +
                  std::to_string(timeoutMs) + " ms and was killed]";
        return run;
    }
    if (WIFEXITED(wstatus))
        run.status = WEXITSTATUS(wstatus);
    run.out = out.text();
    run.err = err.text();
    return run;
}

std::vector<std::string> environmentWithout(std::initializer_list<const char*> names) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool dropped = false;
        for (const char* n : names)
            dropped = dropped || name == n;
        if (!dropped)
            env.push_back(entry);
    }
    return env;
}

} // namespace vort::test

// Running a program to its end as a child process, for tests that check what it
// prints and its exit status.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace vort::test {

struct ProgramRun {
    int status = -1; // the exit status; -1 when it died by a signal or did not end in time
    std::string out; // what it wrote on standard output
    std::string err; // and on standard error
};

// Runs program (a path, or a name looked up in PATH) with args and exactly the
// environment env ("NAME=VALUE" entries), standard input from /dev/null, and waits for
// its end. After timeoutMs it is killed and the run fails (status -1, and a message in
// err). Any thread.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env, int timeoutMs = 60000);

// This process's environment without the variables named.
std::vector<std::string> environmentWithout(std::initializer_list<const char*> names);

} // namespace vort::test

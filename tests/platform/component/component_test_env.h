// Helpers for the component model's tests: scratch directories, scoped environment
// variables, running a program and collecting its output, and the built test
// component libraries.
#pragma once

#include <string>
#include <vector>

namespace vort_test {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or with unset, removes) an environment variable until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    explicit ScopedEnv(std::string name); // unset
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs program with args (no shell) in the current environment and waits for it.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args);

// $VORT_BUILD_OUT/<name>; fails the test when VORT_BUILD_OUT is not set.
std::string builtFile(const std::string& name);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);

// The test component library, its variant whose second class fails to register, and
// a shared library that is no component library.
inline std::string testComponentPath() {
    return builtFile("libvort_test_component.so");
}
inline std::string badComponentPath() {
    return builtFile("libvort_test_bad_component.so");
}
inline std::string notComponentPath() {
    return builtFile("libvort_test_not_component.so");
}

} // namespace vort_test

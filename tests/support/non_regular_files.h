// Files that are not regular files, and what a rewrite must keep: helpers for the tests
// of every configuration file the programs read and rewrite.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace vort::test {

// A fresh directory under the system's temporary directory, removed with everything in
// it at the end of the scope.
class ScratchDirectory {
public:
    ScratchDirectory(); // throws std::runtime_error when none can be made
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& path() const { return path_; }
    std::string path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Makes a FIFO at path (its directory must exist); throws std::runtime_error on failure.
void makeFifo(const std::string& path);

// Runs work on the calling thread (a window's thread may run it) and watches it from
// another. Work that has not ended within limit is taken to be blocked on the FIFO at
// fifo: the watcher opens the FIFO from the other side until work ends, so a test that
// fails still comes to an end. True when work ended within limit. What work throws is
// thrown on.
bool endsWithoutBlocking(const std::string& fifo, const std::function<void()>& work,
                         std::chrono::milliseconds limit = std::chrono::seconds(20));

// The permission bits of the file at path (links followed); -1 when there is none.
int permissionsOf(const std::string& path);
// True when path itself is a symbolic link.
bool isSymlink(const std::string& path);
// True when path itself is a FIFO.
bool isFifo(const std::string& path);
// The whole file ("" when it cannot be read), and writing one (replacing it).
std::string fileText(const std::string& path);
void writeFileText(const std::string& path, const std::string& text);

} // namespace vort::test

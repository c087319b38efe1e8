// Pseudo-terminal pairs and a scratch port map for tests that open ports through
// libserilon.
#pragma once

#include <cstddef>
#include <string>

namespace vort::test {

// A pseudo-terminal: the test holds the master, the code under test opens the slave by
// its path. The master is non-blocking; the helpers poll.
class PtyPair {
public:
    PtyPair(); // throws std::runtime_error when no pty can be had
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // Closes the master: the slave side sees a hang-up.
    void closeMaster();

    // Writes all len bytes to the master within timeoutMs; false on timeout or error.
    bool writeAll(const void* data, std::size_t len, int timeoutMs = 5000);
    bool writeAll(const std::string& s, int timeoutMs = 5000) {
        return writeAll(s.data(), s.size(), timeoutMs);
    }
    // Reads from the master until n bytes came or timeoutMs passed; returns what came.
    std::string read(std::size_t n, int timeoutMs = 5000);

private:
    int master_ = -1;
    std::string slavePath_;
};

// A temporary XDG_CONFIG_HOME holding serilon/ports.conf; the previous value comes back
// at destruction and the directory is removed. The directory and file are readable by
// everyone, so a child running as another user reads the same map.
class ScopedPortMap {
public:
    ScopedPortMap();
    ~ScopedPortMap();
    ScopedPortMap(const ScopedPortMap&) = delete;
    ScopedPortMap& operator=(const ScopedPortMap&) = delete;

    // Adds "COM<port>=<path>" and rewrites the file.
    void map(int port, const std::string& path);
    // Replaces the file's text.
    void writeText(const std::string& text);
    const std::string& configHome() const { return dir_; }

private:
    std::string dir_;
    std::string text_;
    std::string previous_;
    bool hadPrevious_ = false;
};

} // namespace vort::test

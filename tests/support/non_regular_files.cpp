#include "support/non_regular_files.h"

#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vort::test {

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vort-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary directory");
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    // Directories a test made unwritable must not keep their contents.
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ec))
        if (entry.is_directory(ec) && !entry.is_symlink(ec))
            ::chmod(entry.path().c_str(), 0700);
    std::filesystem::remove_all(path_, ec);
}

void makeFifo(const std::string& path) {
    if (::mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("cannot make a FIFO at " + path);
}

bool endsWithoutBlocking(const std::string& fifo, const std::function<void()>& work,
                         std::chrono::milliseconds limit) {
    // A writer let through below may find its reader gone: EPIPE, not the end of the test.
    std::signal(SIGPIPE, SIG_IGN);
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false, released = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (ended.wait_for(lock, limit, [&] { return done; }))
            return;
        released = true;
        while (!done) {
            // Both ends at once: a reader or a writer blocked in open() goes on, and a
            // reader then sees the end of the data.
            const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
            ended.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; });
        }
    });
    const auto finish = [&] {
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        ended.notify_all();
        watchdog.join();
    };
    try {
        work();
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return !released;
}

int permissionsOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

bool isSymlink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool isFifo(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFileText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

} // namespace vort::test

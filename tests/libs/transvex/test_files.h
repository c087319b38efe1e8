// Scratch directories and files with known content for the transfer tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace transvex::test {

class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "transvex-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out(n);
    for (auto& b : out) {
        b = static_cast<uint8_t>(rng());
    }
    return out;
}

// Every byte value, several times, in a shuffled order and in runs, so escaping of
// every value is exercised alone and next to every other.
inline std::vector<uint8_t> everyByteValue() {
    std::vector<uint8_t> out;
    for (int rep = 0; rep < 4; ++rep) {
        for (int b = 0; b < 256; ++b) {
            out.push_back(static_cast<uint8_t>(rep % 2 ? 255 - b : b));
        }
    }
    for (int b = 0; b < 256; ++b) {
        out.insert(out.end(), 3, static_cast<uint8_t>(b));
    }
    out.push_back('@');
    out.push_back('\r');
    out.push_back('@');
    out.push_back(0x8D);
    out.push_back('x'); // not a Ctrl-Z at the end, so XMODEM keeps it all
    return out;
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& data,
                      int64_t mtime = 0) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    f.close();
    if (mtime > 0) {
        struct timespec t[2];
        t[0].tv_sec = mtime;
        t[0].tv_nsec = 0;
        t[1] = t[0];
        utimensat(AT_FDCWD, path.c_str(), t, 0);
    }
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
}

// A file of size pseudo-random bytes drawn from seed, written a piece at a time so that
// files larger than memory can be made.
inline void writeRandomFile(const std::string& path, uint64_t size, uint32_t seed) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 rng(seed);
    std::vector<uint64_t> buf(1 << 16);
    for (uint64_t left = size; left > 0;) {
        for (auto& w : buf) {
            w = rng();
        }
        const uint64_t n = std::min<uint64_t>(left, buf.size() * 8);
        f.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(n));
        left -= n;
    }
}

// The two files have the same bytes; compared a piece at a time.
inline bool sameFiles(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() ||
            std::memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) != 0) {
            return false;
        }
        if (fa.gcount() == 0) {
            return true;
        }
    }
}

inline int64_t fileMtime(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return -1;
    }
    return st.st_mtime;
}

} // namespace transvex::test

// SHA-256, one copy for the simulator (the digest it reports of a received image) and
// for the tests and benchmarks that compare what arrived with what was sent.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace scanner_sim {

// SHA-256 (FIPS 180-4), fed in pieces of any size.
class Sha256 {
public:
    Sha256();
    void update(std::string_view bytes);
    void update(const void* data, size_t len) {
        update(std::string_view(static_cast<const char*>(data), len));
    }
    // Ends the hash; the object must not be updated afterwards.
    std::array<uint8_t, 32> finish();
    // finish() as 64 lower-case hex digits.
    std::string finishHex();

private:
    void block(const uint8_t* p);

    std::array<uint32_t, 8> h_;
    std::array<uint8_t, 64> buffer_{};
    size_t used_ = 0;
    uint64_t total_ = 0;
};

// Hex digest of len bytes at data.
std::string sha256Hex(const void* data, size_t len);

// Hex digest of a whole file; empty when the file cannot be read.
std::string sha256OfFile(const std::string& path);

} // namespace scanner_sim

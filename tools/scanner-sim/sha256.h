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

// Hex digest of a whole file; empty when the file cannot be read.
std::string sha256OfFile(const std::string& path);

} // namespace scanner_sim

// SHA-256, for tests that compare what arrived with what was sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vort::test {

class Sha256 {
public:
    Sha256();
    void update(const void* data, std::size_t len);
    // The digest as 64 lower-case hex digits. Ends the computation.
    std::string hexDigest();

private:
    void block(const std::uint8_t* p);

    std::uint32_t h_[8];
    std::uint8_t buf_[64];
    std::size_t bufLen_ = 0;
    std::uint64_t total_ = 0;
};

std::string sha256Hex(const void* data, std::size_t len);

} // namespace vort::test

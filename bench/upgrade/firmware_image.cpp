#include "bench/upgrade/firmware_image.h"

#include "libs/transvex/crc16.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

namespace upgrade_bench {
namespace {

// Copies text into header positions first..last (1-based, inclusive), cut to fit.
void putField(std::vector<uint8_t>& header, size_t first, size_t last, std::string_view text) {
    const size_t room = last - first + 1;
    const size_t n = std::min(room, text.size());
    std::copy_n(text.begin(), n, header.begin() + static_cast<long>(first - 1));
}

} // namespace

std::vector<uint8_t> makeHeader(const ImageFields& fields, std::span<const uint8_t> code) {
    std::vector<uint8_t> header(kHeaderSize, ' ');
    header[kHeaderSize - 1] = '\n';
    putField(header, 1, 48, fields.title);
    putField(header, 49, 56, std::to_string(code.size()));
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", transvex::crc16(code));
    putField(header, 65, 68, crc);
    putField(header, 81, 87, fields.version);
    putField(header, 97, 107, fields.date);
    return header;
}

std::vector<uint8_t> makeImage(size_t totalSize, uint32_t seed, const ImageFields& fields) {
    totalSize = std::max(totalSize, kHeaderSize + 1);
    std::vector<uint8_t> code(totalSize - kHeaderSize);
    std::mt19937 rng(seed);
    for (auto& b : code) {
        b = static_cast<uint8_t>(rng());
    }
    std::vector<uint8_t> image = makeHeader(fields, code);
    image.insert(image.end(), code.begin(), code.end());
    return image;
}

bool writeImageFile(const std::string& path, std::span<const uint8_t> data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    f.close();
    return static_cast<bool>(f);
}

} // namespace upgrade_bench

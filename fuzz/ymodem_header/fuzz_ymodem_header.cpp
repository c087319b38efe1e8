// Feeds the block-0 parser (YMODEM header, also ZMODEM's ZFILE data) and the name
// confinement arbitrary blocks, and checks what they accept.
#include "libs/transvex/file_sink.h"
#include "libs/transvex/ymodem_header.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace transvex;
    const ParsedFileHeader p = parseFileHeader(std::span<const uint8_t>(data, size));
    if (p.result != ParsedFileHeader::Result::Ok) {
        return 0;
    }
    if (const auto name = confineReceivedName(p.header.name)) {
        if (name->empty() || name->size() >= 512 || name->find('/') != std::string::npos ||
            name->find('\\') != std::string::npos || *name == "..") {
            std::abort();
        }
    }
    // What was read builds a header that reads back the same.
    if (p.header.size && p.header.mtime >= 0) {
        const auto again = parseFileHeader(
            buildFileHeader(p.header.name, *p.header.size, p.header.mtime, p.header.mode));
        if (again.result != ParsedFileHeader::Result::Ok || again.header.name != p.header.name ||
            again.header.size != p.header.size || again.header.mtime != p.header.mtime) {
            std::abort();
        }
    }
    return 0;
}

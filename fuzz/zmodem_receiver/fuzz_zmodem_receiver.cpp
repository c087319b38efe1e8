// Feeds the ZMODEM receiver whatever a line could deliver: headers, subpackets,
// escapes, cancels, in pieces of changing size with time passing between them. Files
// it accepts land in one scratch directory, emptied after each run.
#include "libs/transvex/file_record.h"
#include "libs/transvex/zmodem_receiver.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const std::string& scratchDir() {
    static const std::string dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "fuzz-zrx-XXXXXX").string();
        return std::string(mkdtemp(tmpl.data()));
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace transvex;
    if (size < 2) {
        return 0;
    }
    const uint8_t mode = data[0];
    const int32_t decision = mode % 3; // skip, from the start, resume
    bool wrote = false;
    EngineIo io;
    io.write = [](std::span<const uint8_t>) {};
    io.report = [&](int32_t action, int32_t, XferFileInfo* record) -> int32_t {
        if (action == XFER_ACTION_RX_HEADER) {
            // Whatever the sender named, the record holds one plain component.
            const std::string name = recordName(*record);
            if (name.empty() || name.find('/') != std::string::npos ||
                name.find('\\') != std::string::npos || name == "." || name == "..") {
                std::abort();
            }
            setRecordName(*record, scratchDir() + "/" + name);
            wrote = wrote || decision != XFER_RESULT_STOP;
            return decision;
        }
        return (mode & 0x80) && action == XFER_ACTION_RX_PROGRESS ? XFER_RESULT_STOP
                                                                  : XFER_RESULT_GO_ON;
    };
    ZmodemReceiverConfig cfg;
    cfg.options = (mode & 0x40) ? XFER_OPT_ESCAPE_CONTROL : 0;
    ZmodemReceiver rx(cfg, io);
    uint64_t now = 0;
    rx.start(now);
    size_t pos = 1;
    uint32_t lcg = static_cast<uint32_t>(size) * 2654435761u;
    while (pos < size && !rx.finished()) {
        lcg = lcg * 1664525u + 1013904223u;
        const size_t n = std::min<size_t>(size - pos, 1 + (lcg >> 24) % 97);
        rx.feed(std::span<const uint8_t>(data + pos, n), now);
        pos += n;
        now += (lcg >> 8) % 3000;
        rx.tick(now);
    }
    // A silent line afterwards: the receiver must come to an end by itself.
    for (int i = 0; i < 1000 && !rx.finished(); ++i) {
        now += 5000;
        rx.tick(now);
    }
    if (!rx.finished()) {
        std::abort();
    }
    if (wrote) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(scratchDir(), ec)) {
            std::filesystem::remove_all(e.path(), ec);
        }
    }
    return 0;
}

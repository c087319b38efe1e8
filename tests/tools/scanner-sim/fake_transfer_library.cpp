// A stand-in for the transfer library with the few entry points the simulator loads, so
// the simulator's side of a library receive (loading, the private port map, the file-info
// callback, the relay and its closing "OO") is tested apart from the protocol itself.
//
// Its "receive": ask for the file "fake.bin" through RX_HEADER, store every byte up to the
// marker <<END>> at the path the callback gave, report RX_FINISHED, send a ZFIN header and
// wait up to 2 s for the "OO" that must follow it.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <unistd.h>

#include "transvex/transvex.h"

namespace {

int gFd = -1;
std::atomic<bool> gAbort{false};

std::string mappedPath(int port) {
    const char* home = std::getenv("XDG_CONFIG_HOME");
    std::ifstream in(std::string(home ? home : "") + "/serilon/ports.conf");
    const std::string key = "COM" + std::to_string(port) + "=";
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return line.substr(key.size());
    return {};
}

// Reads into buf until it holds marker; false on abort or 5 s of silence.
bool readUntil(std::string& buf, const std::string& marker) {
    while (buf.find(marker) == std::string::npos) {
        pollfd p{gFd, POLLIN, 0};
        int waited = 0;
        while (poll(&p, 1, 100) == 0) {
            if (gAbort || (waited += 100) >= 5000)
                return false;
        }
        char chunk[4096];
        ssize_t n = read(gFd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        buf.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t SerialOpenPort(int32_t commId) {
    const std::string path = mappedPath(commId + 1);
    gFd = path.empty() ? -1 : open(path.c_str(), O_RDWR | O_NOCTTY);
    return gFd < 0 ? 3 : 0;
}

__attribute__((visibility("default"))) int32_t SerialClosePort(int32_t) {
    if (gFd >= 0)
        close(gFd);
    gFd = -1;
    return 0;
}

__attribute__((visibility("default"))) int32_t SerialSetLine(int32_t, int32_t, int32_t, int32_t,
                                                             char, int32_t) {
    return 0;
}

__attribute__((visibility("default"))) int32_t SerialErrorText(int32_t, char* buf, int32_t size) {
    std::snprintf(buf, static_cast<size_t>(size), "fake: port not in the map");
    return 3;
}

__attribute__((visibility("default"))) int32_t XferAbort(int32_t, int32_t) {
    gAbort = true;
    return 1;
}

__attribute__((visibility("default"))) uint8_t
XferReceiveZmodem(int32_t commId, char* fileName, int32_t* status, XferFileInfoProc proc) {
    gAbort = false;
    *status = XFER_STATUS_PROTOCOL_ERROR;
    if (!fileName || !proc || gFd < 0)
        return 0;
    XferFileInfo rec{};
    std::strcpy(rec.fileName, "fake.bin");
    rec.kind = XFER_KIND_ZMODEM;
    if (proc(commId, XFER_ACTION_RX_HEADER, 0, &rec) != XFER_RESULT_GO_ON)
        return 0;
    std::string data;
    if (!readUntil(data, "<<END>>")) {
        *status = gAbort ? XFER_STATUS_ABORTED : XFER_STATUS_TIMEOUT;
        return 0;
    }
    data.resize(data.find("<<END>>"));
    {
        std::ofstream out(rec.fileName, std::ios::binary);
        out << data;
        if (!out) {
            *status = XFER_STATUS_FILE_ERROR;
            return 0;
        }
    }
    proc(commId, XFER_ACTION_RX_FINISHED, static_cast<int32_t>(data.size()), &rec);
    const std::string zfin = "**\x18"
                             "B0800000000022d\r\n";
    if (write(gFd, zfin.data(), zfin.size()) != static_cast<ssize_t>(zfin.size()))
        return 0;
    std::string tail;
    if (!readUntil(tail, "OO")) {
        *status = XFER_STATUS_TIMEOUT;
        return 0;
    }
    *status = XFER_STATUS_OK;
    return 1;
}

} // extern "C"

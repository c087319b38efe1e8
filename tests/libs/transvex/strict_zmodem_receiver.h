// A ZMODEM receiver for tests that takes the sender's headers exactly in the order
// the published protocol's sender sends them, and records every departure:
//
//   session:  ZRQINIT [ZSINIT] file... ZFIN, then "OO"
//   file:     ZFILE, ZDATA (at the position asked for) ..., ZEOF
//
// A file's ZEOF must follow at least one ZDATA, even for an empty file. Once the
// session has started (its first ZFILE came), a ZRQINIT is recorded and otherwise
// ignored, as some receivers do. Files are stored under their names in dir; the line
// is expected clean, so any damaged header or subpacket is a departure too. Runs in
// a thread of its own on fd (the master of a pseudo-terminal, for instance).
#pragma once

#include "libs/transvex/ymodem_header.h"
#include "libs/transvex/zmodem_frame.h"
#include "support/wait.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace transvex::test {

class StrictZmodemReceiver {
public:
    StrictZmodemReceiver(int fd, std::string dir) : fd_(fd), dir_(std::move(dir)) {
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
        thread_ = std::thread([this] { run(); });
    }
    ~StrictZmodemReceiver() {
        stop_ = true;
        thread_.join();
    }
    StrictZmodemReceiver(const StrictZmodemReceiver&) = delete;
    StrictZmodemReceiver& operator=(const StrictZmodemReceiver&) = delete;

    // True once the session ended with ZFIN and "OO" (or was cancelled) within ms.
    bool waitDone(int ms) {
        return vort::test::waitFor([&] { return done_.load(); }, ms);
    }
    std::vector<std::string> departures() {
        std::lock_guard lock(mutex_);
        return departures_;
    }
    int files() const { return files_; }

private:
    enum class Pending { None, Sinit, File, Data };

    void depart(const std::string& what) {
        std::lock_guard lock(mutex_);
        departures_.push_back(what);
    }
    void answer(uint8_t type, uint32_t pos = 0, uint8_t flags = 0) {
        std::vector<uint8_t> out;
        ZHeader h = flags ? ZHeader::withFlags(type, flags) : ZHeader::withPosition(type, pos);
        appendHexHeader(h, out);
        size_t done = 0;
        while (done < out.size() && !stop_) {
            const ssize_t n = ::write(fd_, out.data() + done, out.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else {
                struct pollfd p = {fd_, POLLOUT, 0};
                poll(&p, 1, 50);
            }
        }
    }
    void answerInit() { answer(ZRINIT, 0, kCanFdx | kCanOvio | kCanFc32); }

    void onHeader(const ZHeader& h) {
        pending_ = Pending::None;
        const std::string name = zFrameTypeName(h.type);
        if (finCount_ > 0) {
            depart(name + " after ZFIN");
            return;
        }
        switch (h.type) {
        case ZRQINIT:
            if (started_) {
                depart("ZRQINIT after the session started");
            } else {
                answerInit();
            }
            break;
        case ZSINIT:
            if (started_) {
                depart("ZSINIT after the session started");
            }
            pending_ = Pending::Sinit;
            break;
        case ZFILE:
            if (!asked_) {
                depart("ZFILE before any ZRQINIT");
            }
            if (inFile_) {
                depart("ZFILE before the last file's ZEOF");
            }
            started_ = true;
            pending_ = Pending::File;
            break;
        case ZDATA:
            if (!inFile_) {
                depart("ZDATA outside a file");
            } else if (h.position() != written_) {
                depart("ZDATA at " + std::to_string(h.position()) + ", not at " +
                       std::to_string(written_));
            }
            sawData_ = true;
            pending_ = Pending::Data;
            break;
        case ZEOF:
            if (!inFile_) {
                depart("ZEOF outside a file");
                break;
            }
            if (!sawData_) {
                depart("ZEOF without a ZDATA");
            }
            if (h.position() != written_) {
                depart("ZEOF at " + std::to_string(h.position()));
            }
            out_.close();
            inFile_ = false;
            ++files_;
            answerInit();
            break;
        case ZFIN:
            if (inFile_) {
                depart("ZFIN inside a file");
            }
            ++finCount_;
            answer(ZFIN);
            finAtMs_ = nowMs();
            break;
        default:
            depart("unexpected " + name);
            break;
        }
    }

    void onData(const ZFrameParser::Event& ev) {
        switch (pending_) {
        case Pending::Sinit:
            answer(ZACK, 1);
            break;
        case Pending::File: {
            const ParsedFileHeader parsed = parseFileHeader(ev.data);
            if (parsed.result != ParsedFileHeader::Result::Ok) {
                depart("a ZFILE subpacket that does not parse");
                break;
            }
            out_.open(dir_ + "/" + parsed.header.name, std::ios::binary | std::ios::trunc);
            inFile_ = true;
            sawData_ = false;
            written_ = 0;
            answer(ZRPOS, 0);
            break;
        }
        case Pending::Data:
            out_.write(reinterpret_cast<const char*>(ev.data.data()),
                       static_cast<std::streamsize>(ev.data.size()));
            written_ += static_cast<uint32_t>(ev.data.size());
            if (ev.frameEnd == kZcrcq || ev.frameEnd == kZcrcw) {
                answer(ZACK, written_);
            }
            break;
        case Pending::None:
            depart("a subpacket without its header");
            break;
        }
        if (ev.frameEnd == kZcrcw || ev.frameEnd == kZcrce) {
            pending_ = Pending::None;
        }
    }

    static uint64_t nowMs() {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }

    void run() {
        ZFrameParser parser;
        std::vector<uint8_t> buf(65536);
        uint64_t lastInput = nowMs();
        while (!stop_ && !done_) {
            struct pollfd p = {fd_, POLLIN, 0};
            poll(&p, 1, 50);
            const ssize_t n = ::read(fd_, buf.data(), buf.size());
            const uint64_t now = nowMs();
            if (n > 0) {
                lastInput = now;
                std::span<const uint8_t> bytes(buf.data(), static_cast<size_t>(n));
                if (finCount_ > 0) {
                    over_.append(bytes.begin(), bytes.end());
                    if (over_.find("OO") != std::string::npos) {
                        done_ = true;
                        break;
                    }
                }
                parser.push(bytes, [&](const ZFrameParser::Event& ev) {
                    switch (ev.kind) {
                    case ZFrameParser::Kind::Header:
                        if (ev.header.type == ZRQINIT) {
                            asked_ = true;
                        }
                        onHeader(ev.header);
                        break;
                    case ZFrameParser::Kind::Data:
                        onData(ev);
                        break;
                    case ZFrameParser::Kind::Cancel:
                        depart("cancelled");
                        done_ = true;
                        break;
                    default:
                        depart(std::string("damaged: ") + ZFrameParser::kindName(ev.kind));
                        break;
                    }
                });
            }
            // finAtMs_ may be later than now when the ZFIN came in this very read.
            if (finCount_ > 0 && !done_ && now > finAtMs_ + 3000) {
                depart("no \"OO\" after ZFIN");
                done_ = true;
            }
            if (!done_ && now - lastInput > 60000) {
                depart("the sender fell silent");
                done_ = true;
            }
        }
    }

    int fd_;
    std::string dir_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::atomic<int> files_{0};
    std::mutex mutex_;
    std::vector<std::string> departures_;

    Pending pending_ = Pending::None;
    bool asked_ = false;
    bool started_ = false;
    bool inFile_ = false;
    bool sawData_ = false;
    uint32_t written_ = 0;
    int finCount_ = 0;
    uint64_t finAtMs_ = 0;
    std::string over_;
    std::ofstream out_;
};

} // namespace transvex::test

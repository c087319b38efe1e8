#include "tools/scanner-sim/sim_options.h"

#include <charconv>

#include "tools/scanner-sim/fault_plan.h"

namespace scanner_sim {

namespace {

bool toUnsigned(const std::string& s, unsigned long limit, unsigned long& out) {
    unsigned long v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || s.empty() || v > limit)
        return false;
    out = v;
    return true;
}

} // namespace

std::optional<SimOptions> parseSimOptions(const std::vector<std::string>& args,
                                          std::string& error) {
    SimOptions o;
    std::optional<LineSettings> line;
    std::optional<uint32_t> baud;
    std::optional<char> parity;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasInline = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInline = true;
            }
        }
        auto next = [&](std::string& out) {
            if (hasInline) {
                out = value;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto noValue = [&] {
            if (hasInline) {
                error = arg + " takes no value";
                return false;
            }
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "--device") {
            if (!next(o.device))
                return std::nullopt;
        } else if (arg == "--link") {
            if (!next(o.link))
                return std::nullopt;
        } else if (arg == "--com") {
            unsigned long n = 0;
            if (!next(v))
                return std::nullopt;
            if (!toUnsigned(v, 255, n) || n < 1) {
                error = "--com needs a port number 1..255";
                return std::nullopt;
            }
            o.comPort = static_cast<int>(n);
        } else if (arg == "--port-map") {
            if (!next(o.portMap))
                return std::nullopt;
        } else if (arg == "--control") {
            if (!next(o.control))
                return std::nullopt;
        } else if (arg == "--log") {
            if (!next(o.logFile))
                return std::nullopt;
        } else if (arg == "--image-dir") {
            if (!next(o.imageDir))
                return std::nullopt;
        } else if (arg == "--line") {
            if (!next(v))
                return std::nullopt;
            line = parseLineSettings(v);
            if (!line) {
                error = "--line needs BAUD,PARITY,BITS,STOP, e.g. 9600,N,8,1";
                return std::nullopt;
            }
        } else if (arg == "--baud") {
            unsigned long n = 0;
            if (!next(v))
                return std::nullopt;
            if (!toUnsigned(v, 115200, n) || !isScannerBaud(static_cast<uint32_t>(n))) {
                error = "--baud needs one of 1200 2400 4800 9600 19200 38400 57600 115200";
                return std::nullopt;
            }
            baud = static_cast<uint32_t>(n);
        } else if (arg == "--parity") {
            if (!next(v))
                return std::nullopt;
            if (v == "N" || v == "n" || v == "NONE")
                parity = 'N';
            else if (v == "O" || v == "o" || v == "ODD")
                parity = 'O';
            else if (v == "E" || v == "e" || v == "EVEN")
                parity = 'E';
            else {
                error = "--parity needs N, O or E";
                return std::nullopt;
            }
        } else if (arg == "--rz") {
            if (!noValue())
                return std::nullopt;
            o.receiver = ReceiverKind::Rz;
        } else if (arg == "--rz-program") {
            if (!next(o.rzProgram))
                return std::nullopt;
        } else if (arg == "--transfer-library") {
            if (!next(o.transferLibrary))
                return std::nullopt;
        } else if (arg == "--fault") {
            if (!next(v))
                return std::nullopt;
            FaultPlan probe;
            std::string e = probe.apply(v);
            if (!e.empty()) {
                error = "--fault " + v + ": " + e;
                return std::nullopt;
            }
            o.faults.push_back(v);
        } else if (arg == "--slow") {
            if (!noValue())
                return std::nullopt;
            o.faults.push_back("slow on");
        } else if (arg == "--set") {
            if (!next(v))
                return std::nullopt;
            size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0) {
                error = "--set needs KEY=VALUE";
                return std::nullopt;
            }
            o.values.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (arg == "--mismatch") {
            if (!next(v))
                return std::nullopt;
            if (v == "silent")
                o.mismatch = MismatchMode::Silent;
            else if (v == "garbage")
                o.mismatch = MismatchMode::Garbage;
            else {
                error = "--mismatch needs silent or garbage";
                return std::nullopt;
            }
        } else if (arg == "--load-timeout") {
            unsigned long n = 0;
            if (!next(v))
                return std::nullopt;
            if (!toUnsigned(v, 3600, n) || n < 1) {
                error = "--load-timeout needs seconds 1..3600";
                return std::nullopt;
            }
            o.loadTimeoutSeconds = static_cast<unsigned>(n);
        } else {
            error = "unknown option " + args[i] + " (see --help)";
            return std::nullopt;
        }
    }
    if (line)
        o.line = *line;
    if (baud)
        o.line.baud = *baud;
    if (parity)
        o.line.parity = *parity;
    if (!o.device.empty() && !o.link.empty() && o.device == o.link) {
        error = "--link must not be the device itself";
        return std::nullopt;
    }
    return o;
}

std::string simUsage() {
    return R"(Usage: scanner-sim [options]
       scanner-sim --help | --version

A barcode and magnetic-stripe scanner on the end of an RS-232 line, simulated on a
pseudo-terminal. It prints the path of the terminal to open on its first line of
output as soon as it is ready, then answers the scanner's line protocol until it is
killed, gets SIGTERM or SIGINT, or is told "quit" on its control socket.

Where to reach it:
  --link PATH           also make PATH a symbolic link to the terminal
  --com N               write COMN=<link or terminal> into the port map
                        ($XDG_CONFIG_HOME/serilon/ports.conf, else
                        ~/.config/serilon/ports.conf), keeping its other lines; the
                        entry is removed again at a clean exit
  --port-map FILE       use FILE as the port map instead
  --device PATH         run on a real serial device instead of a pseudo-terminal

The scanner's line at start (factory default 9600,N,8,1):
  --line B,P,D,S        e.g. 19200,E,7,1
  --baud N              1200 2400 4800 9600 19200 38400 57600 115200
  --parity N|O|E
  --set KEY=VALUE       start with a setup value (RSBAUD ... REGIEN) or identity
                        field (APP1RV APP2RV BOOTRV HARDRV FINGER WEBSIT SERIAL REGKEY)

Rate check: on a pseudo-terminal the PC side's speed is read from the terminal.
Bytes sent at another speed than the scanner's own never reach the protocol, as on a
real UART. Parity and data bits cannot be seen on a pseudo-terminal and are not checked.
  --mismatch silent     at the wrong speed answer nothing (default)
  --mismatch garbage    at the wrong speed send back noise bytes 0x80..0xFF, never a
                        protocol byte

Firmware images ("<A1CODE=Z>", "<A2CODE=Z>", "<BTCODE=Z>"): after the ACK the
image is received by ZMODEM and saved in the image directory; its SHA-256 is
reported on the control socket, and the version field of its header (bytes 81..87)
becomes the loaded part's revision. An image of 108 bytes or less, or one without a
version, leaves the revision as it was.
  --image-dir DIR       where images are saved (default: a new directory under $TMPDIR
                        or /tmp, left in place at exit)
  --rz                  receive with lrzsz's rz instead of our transfer library
  --rz-program PATH     the rz to run (default: rz from PATH)
  --transfer-library P  the transfer library to load (default: libtransvex.so.N beside
                        this program, else the installed one); without one, load
                        tokens are refused with NAK
  --load-timeout S      give a load up after S seconds without traffic (default 60)

Tests and scripts:
  --control PATH        a Unix socket taking one command a line, answering one line
                        "ok ..." or "err ...": ping, get KEY, set KEY VALUE,
                        line [B,P,D,S], pc, status, image, wait-image N MS,
                        log, log clear,
                        fault ..., quit
  --log FILE            write every frame received ("rx"), every piece of output
                        ("tx") and every event ("note"), one per line; bytes outside
                        0x21..0x7E are written \xNN, the backslash as \\
  --fault WORDS         inject a fault at start (repeatable), the same words as the
                        control channel's "fault": nak N, ignore N, noanswer N,
                        garble N, stray TEXT [N], ackdelay MS, delay MS, slow on|off
  --slow                send at the line's real character rate (as --fault "slow on")

  -h, --help            print this help and end
  --version             print the version and end

How the simulated scanner behaves where a real one is not described:
  - A frame is SOH, tokens, EOT. Bytes outside frames are ignored; a SOH inside a frame
    starts the frame again; a frame longer than 1024 bytes is answered NAK.
  - A frame may hold several write tokens; they are checked first and applied all or
    none: one bad value NAKs the whole frame and changes nothing.
  - Values are checked: the listed words and numbers only; RSDELY 1 to 3 digits
    (kept as 3), or empty to keep the delay in force; PREFIX and SUFFIX up to 40 characters without control characters
    (bracket names such as [CR] are plain text); REGKEY up to 30 such characters.
  - Queries stand alone in their frame. "<SETPAR:>" answers all 26 setup records and
    CR LF; "<KEY:>" for one setup key answers that one record and CR LF; "<TXPING:>"
    is answered by the ACK alone.
  - Revisions are answered as 7-character fields and the model as an 8-character field,
    blank-padded, then CR LF; web address, serial number and key as they are.
  - "<SERIAL:>", "<REGKEY:>" and "<REGKEY=...>" exist from application-1 revision 3.22
    on; older revisions NAK them.
  - "<FACDEF=1>" restores the factory setup (the registration key is kept).
  - A command that changes the line settings is ACKed at the old settings; the new ones
    apply from the next byte on.
  - The restart after a load is immediate: the scanner answers again at the same line
    settings as soon as the transfer has ended.
)";
}

} // namespace scanner_sim

#include "platform/component/registry_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/component/quoted_text.h"
#include "platform/component/text.h"
#include "platform/files/atomic_rewrite.h"

namespace vort::component {

namespace {

constexpr std::string_view kHeader = "vort-registry 1";
constexpr size_t kMaxFileSize = 16u << 20; // far beyond any real registry

std::string errnoText(int err) {
    return std::strerror(err);
}

// Closes a descriptor on every way out.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

class Parser {
public:
    Parser(std::string_view text, std::string_view source) : text_(text), source_(source) {}

    RegistryData parse() {
        if (text_.size() >= 3 && text_.substr(0, 3) == "\xEF\xBB\xBF")
            text_.remove_prefix(3);
        bool sawHeader = false, sawEnd = false;
        while (nextLine()) {
            std::string_view line = trimView(line_);
            if (line.empty() || line.front() == '#')
                continue;
            if (sawEnd)
                fail("text after \"end\"");
            if (!sawHeader) {
                if (line != kHeader)
                    fail("not a component registry (the first line must be \"" +
                         std::string(kHeader) + "\")");
                sawHeader = true;
                continue;
            }
            if (line == "end") {
                finishSection();
                sawEnd = true;
            } else if (line.front() == '[') {
                finishSection();
                startSection(line);
            } else {
                keyValue(line);
            }
        }
        if (!sawHeader)
            return {}; // an empty file: an empty registry
        if (!sawEnd)
            fail("the file ends without \"end\" (it was cut short)");
        return std::move(data_);
    }

private:
    enum class Kind { None, Class, ProgId, TypeLib };

    [[noreturn]] void fail(const std::string& why) {
        throw RegistryError("registry file " + std::string(source_) + " is damaged: line " +
                            std::to_string(lineNo_) + ": " + why);
    }

    static std::string_view trimView(std::string_view s) {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
            s.remove_suffix(1);
        return s;
    }

    bool nextLine() {
        if (pos_ >= text_.size())
            return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line_ = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        ++lineNo_;
        if (line_.find('\0') != std::string_view::npos)
            fail("NUL character");
        return true;
    }

    Guid guid(std::string_view s) {
        std::optional<Guid> g = Guid::parse(s);
        if (!g)
            fail("\"" + std::string(s) + "\" is not a GUID");
        return *g;
    }

    void version(std::string_view s, uint16_t& major, uint16_t& minor) {
        size_t dot = s.find('.');
        if (dot == std::string_view::npos || !number(s.substr(0, dot), major) ||
            !number(s.substr(dot + 1), minor))
            fail("\"" + std::string(s) + "\" is not a version (major.minor)");
    }

    template <class T> static bool number(std::string_view s, T& out, int base = 10) {
        if (s.empty())
            return false;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out, base);
        return ec == std::errc() && end == s.data() + s.size();
    }

    // "[kind argument...]"
    void startSection(std::string_view line) {
        if (line.back() != ']')
            fail("a section header must end with ']'");
        std::string_view inner = trimView(line.substr(1, line.size() - 2));
        size_t sp = inner.find_first_of(" \t");
        std::string_view kind = inner.substr(0, sp);
        std::string_view rest = sp == std::string_view::npos ? "" : trimView(inner.substr(sp));
        keys_.clear();
        sectionLine_ = lineNo_;
        if (kind == "class") {
            kind_ = Kind::Class;
            class_ = ClassRecord{};
            class_.clsid = guid(rest);
        } else if (kind == "progid") {
            kind_ = Kind::ProgId;
            progId_ = ProgIdRecord{};
            progId_.progId = std::string(rest);
            if (!isValidProgId(rest))
                fail("\"" + std::string(rest) + "\" is not a valid ProgID");
        } else if (kind == "typelib") {
            kind_ = Kind::TypeLib;
            typeLib_ = TypeLibRecord{};
            size_t sp2 = rest.find_first_of(" \t");
            if (sp2 == std::string_view::npos)
                fail("a type library section needs its version");
            typeLib_.libid = guid(rest.substr(0, sp2));
            version(trimView(rest.substr(sp2)), typeLib_.major, typeLib_.minor);
        } else {
            fail("unknown section \"" + std::string(kind) + "\"");
        }
    }

    std::string text(std::string_view value) {
        if (value.empty() || value.front() != '"')
            fail("a text value must be quoted");
        size_t p = 0;
        std::string out, err;
        if (!unquoteBytes(value, p, out, err))
            fail(err);
        if (p != value.size())
            fail("text after the closing quote");
        if (out.find('\0') != std::string::npos)
            fail("NUL character in a text");
        return out;
    }

    void keyValue(std::string_view line) {
        if (kind_ == Kind::None)
            fail("an entry line outside any section");
        size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            fail("expected \"key = value\"");
        std::string key(trimView(line.substr(0, eq)));
        std::string_view value = trimView(line.substr(eq + 1));
        if (!keys_.emplace(key, true).second)
            fail("\"" + key + "\" given twice");
        switch (kind_) {
        case Kind::Class:
            classKey(key, value);
            break;
        case Kind::ProgId:
            progIdKey(key, value);
            break;
        case Kind::TypeLib:
            typeLibKey(key, value);
            break;
        case Kind::None:
            break;
        }
    }

    void classKey(const std::string& key, std::string_view value) {
        ClassRecord& c = class_;
        if (key == "progid") {
            if (!isValidProgId(value))
                fail("\"" + std::string(value) + "\" is not a valid ProgID");
            c.progId = std::string(value);
        } else if (key == "typename") {
            c.typeName = text(value);
        } else if (key == "library") {
            c.library = text(value);
        } else if (key == "threading") {
            std::optional<ThreadingModel> m = parseThreadingModel(value);
            if (!m)
                fail("unknown threading model \"" + std::string(value) + "\"");
            c.threading = *m;
        } else if (key == "miscstatus") {
            bool ok = value.size() > 2 && (value.substr(0, 2) == "0x" || value.substr(0, 2) == "0X")
                          ? number(value.substr(2), c.miscStatus, 16)
                          : number(value, c.miscStatus);
            if (!ok)
                fail("\"" + std::string(value) + "\" is not a 32-bit number");
        } else if (key == "insertable") {
            if (value == "yes")
                c.insertable = true;
            else if (value == "no")
                c.insertable = false;
            else
                fail("insertable must be yes or no");
        } else if (key == "toolboxbitmap") {
            if (!number(value, c.toolboxBitmap))
                fail("\"" + std::string(value) + "\" is not a resource id");
        } else if (key == "typelib") {
            size_t sp = value.find_first_of(" \t");
            if (sp == std::string_view::npos)
                fail("typelib needs the id and the version");
            c.typeLib = guid(value.substr(0, sp));
            version(trimView(value.substr(sp)), c.typeLibMajor, c.typeLibMinor);
        } else {
            fail("unknown key \"" + key + "\" in a class section");
        }
    }

    void progIdKey(const std::string& key, std::string_view value) {
        if (key != "clsid")
            fail("unknown key \"" + key + "\" in a progid section");
        progId_.clsid = guid(value);
    }

    void typeLibKey(const std::string& key, std::string_view value) {
        TypeLibRecord& t = typeLib_;
        if (key == "name")
            t.name = text(value);
        else if (key == "help")
            t.help = text(value);
        else if (key == "helpfile")
            t.helpFile = text(value);
        else if (key == "library")
            t.library = text(value);
        else
            fail("unknown key \"" + key + "\" in a typelib section");
    }

    void finishSection() {
        if (kind_ == Kind::None)
            return;
        size_t here = lineNo_;
        lineNo_ = sectionLine_; // report problems of the entry at its header
        try {
            switch (kind_) {
            case Kind::Class:
                if (!keys_.count("library"))
                    fail("the class has no library");
                if (data_.findClass(class_.clsid))
                    fail("the class is registered twice");
                data_.putClass(class_);
                break;
            case Kind::ProgId:
                if (!keys_.count("clsid"))
                    fail("the ProgID has no clsid");
                if (data_.findProgId(progId_.progId))
                    fail("the ProgID is registered twice");
                data_.putProgId(progId_);
                break;
            case Kind::TypeLib:
                if (!keys_.count("library"))
                    fail("the type library has no library");
                if (data_.findTypeLib(typeLib_.libid, typeLib_.major, typeLib_.minor))
                    fail("the type library is registered twice");
                data_.putTypeLib(typeLib_);
                break;
            case Kind::None:
                break;
            }
        } catch (const RegistryError& e) {
            std::string what = e.what();
            if (what.rfind("registry file ", 0) == 0)
                throw;
            fail(what);
        }
        lineNo_ = here;
        kind_ = Kind::None;
    }

    std::string_view text_;
    std::string_view source_;
    size_t pos_ = 0;
    size_t lineNo_ = 0;
    size_t sectionLine_ = 0;
    std::string_view line_;
    Kind kind_ = Kind::None;
    std::map<std::string, bool> keys_;
    ClassRecord class_;
    ProgIdRecord progId_;
    TypeLibRecord typeLib_;
    RegistryData data_;
};

std::string versionText(uint16_t major, uint16_t minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

void makeDirectories(const std::string& dir, const std::string& forFile) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec == std::errc::not_a_directory)
        throw RegistryError("registry file " + forFile + " cannot be written: " + dir +
                            " is not a directory");
    if (ec)
        throw RegistryError("registry file " + forFile + " cannot be written: cannot create " +
                            dir + ": " + ec.message());
}

} // namespace

RegistryData parseRegistry(std::string_view text, std::string_view source) {
    return Parser(text, source).parse();
}

std::string formatRegistry(const RegistryData& data) {
    std::string out;
    out += "# Component registry: the classes, ProgIDs and type libraries of component\n";
    out += "# libraries, written by their registration (vortreg). Format: see\n";
    out += "# platform/component/registry_file.h.\n";
    out += kHeader;
    out += "\n";
    char buf[16];
    for (const ClassRecord& c : data.classes()) {
        out += "\n[class " + c.clsid.format() + "]\n";
        if (!c.progId.empty())
            out += "progid = " + c.progId + "\n";
        out += "typename = " + quoteBytes(c.typeName) + "\n";
        out += "library = " + quoteBytes(c.library) + "\n";
        out += std::string("threading = ") + threadingModelName(c.threading) + "\n";
        std::snprintf(buf, sizeof buf, "0x%08X", c.miscStatus);
        out += std::string("miscstatus = ") + buf + "\n";
        out += std::string("insertable = ") + (c.insertable ? "yes" : "no") + "\n";
        out += "toolboxbitmap = " + std::to_string(c.toolboxBitmap) + "\n";
        if (!c.typeLib.isNull())
            out += "typelib = " + c.typeLib.format() + " " +
                   versionText(c.typeLibMajor, c.typeLibMinor) + "\n";
    }
    for (const ProgIdRecord& p : data.progIds()) {
        out += "\n[progid " + p.progId + "]\n";
        out += "clsid = " + p.clsid.format() + "\n";
    }
    for (const TypeLibRecord& t : data.typeLibs()) {
        out += "\n[typelib " + t.libid.format() + " " + versionText(t.major, t.minor) + "]\n";
        out += "name = " + quoteBytes(t.name) + "\n";
        if (!t.help.empty())
            out += "help = " + quoteBytes(t.help) + "\n";
        if (!t.helpFile.empty())
            out += "helpfile = " + quoteBytes(t.helpFile) + "\n";
        out += "library = " + quoteBytes(t.library) + "\n";
    }
    out += "\nend\n";
    return out;
}

RegistryData readRegistryFile(const std::string& path) {
    const files::ReadResult r = files::readRegularFile(path, kMaxFileSize);
    if (r.outcome == files::ReadOutcome::Missing)
        return {};
    if (r.outcome != files::ReadOutcome::Read)
        throw RegistryError("registry file " + path + " cannot be read: " + r.failure.reason);
    if (r.truncated)
        throw RegistryError("registry file " + path + " is damaged: larger than " +
                            std::to_string(kMaxFileSize >> 20) + " MiB");
    return parseRegistry(r.text, path);
}

void writeRegistryFile(const std::string& path, const RegistryData& data) {
    makeDirectories(directoryOf(path), path);
    files::FileFailure failure;
    // A new registry is readable by everyone whatever the umask: hosts of every user
    // read the system-wide one.
    if (!files::rewriteFile(path, formatRegistry(data), failure, {0644, true}))
        throw RegistryError("registry file " + path +
                            " cannot be written: " + failure.reasonFor(path));
}

void updateRegistryFile(const std::string& path, const std::function<void(RegistryData&)>& change) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        // Removing from a registry that does not exist changes nothing; creating the
        // file (and its directory) for that would only leave litter behind.
        RegistryData none;
        change(none);
        if (none.empty())
            return;
    }
    makeDirectories(directoryOf(path), path);
    std::string lockPath = path + ".lock";
    Fd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (lock.fd < 0)
        throw RegistryError("registry file " + path + " cannot be written: cannot open " +
                            lockPath + ": " + errnoText(errno));
    while (::flock(lock.fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            throw RegistryError("registry file " + path + " cannot be locked: " + errnoText(errno));
    }
    RegistryData data = readRegistryFile(path);
    RegistryData before = data;
    change(data);
    if (data == before && ::access(path.c_str(), F_OK) == 0)
        return; // nothing to write
    writeRegistryFile(path, data);
}

} // namespace vort::component

#include "control/transfer/download_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <unistd.h>

namespace vort {

namespace {

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

// The value of XDG_DOWNLOAD_DIR in user-dirs.dirs: a shell assignment of a quoted
// text that is "$HOME/..." or an absolute path.
std::optional<std::string> configuredDownloadDir(const std::string& home) {
    std::string config;
    if (const char* c = std::getenv("XDG_CONFIG_HOME"); c && *c == '/')
        config = c;
    else
        config = home + "/.config";
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    std::optional<std::string> value;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOWNLOAD_DIR=";
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
            continue;
        std::string v = line.substr(start + key.size());
        while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r'))
            v.pop_back();
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
            v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0)
            v = home + v.substr(5);
        else if (v.empty() || v.front() != '/')
            continue; // not a form xdg-user-dir accepts either
        value = v;
    }
    return value;
}

} // namespace

std::optional<std::string> userDownloadDirectory() {
    const std::string home = homeDirectory();
    if (home.empty())
        return std::nullopt;
    const std::string dir = configuredDownloadDir(home).value_or(home);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir, ec))
        return std::nullopt;
    return dir;
}

} // namespace vort

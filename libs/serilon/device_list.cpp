#include "libs/serilon/device_list.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <map>
#include <sys/stat.h>

namespace serilon {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// -1, 0, 1 comparing the digit runs a and b by value (leading zeros ignored).
int compareNumbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0') {
        a.remove_prefix(1);
    }
    while (b.size() > 1 && b.front() == '0') {
        b.remove_prefix(1);
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a < b ? -1 : (a == b ? 0 : 1);
}

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

} // namespace

bool nodeLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && isDigit(a[ie])) {
                ++ie;
            }
            while (je < b.size() && isDigit(b[je])) {
                ++je;
            }
            if (const int c = compareNumbers(a.substr(i, ie - i), b.substr(j, je - j))) {
                return c < 0;
            }
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) {
        return a.size() - i < b.size() - j;
    }
    return a < b; // equal by value ("ttyS01" and "ttyS1"): any fixed order
}

void sortByNode(std::vector<DeviceRecord>& devices) {
    std::stable_sort(devices.begin(), devices.end(),
                     [](const DeviceRecord& a, const DeviceRecord& b) {
                         return nodeLess(a.info.node, b.info.node);
                     });
}

void markInUse(std::vector<DeviceRecord>& devices, const std::vector<LockedFile>& locks,
               const std::vector<std::string>& lockDirs) {
    for (DeviceRecord& d : devices) {
        const std::string node = d.info.node;
        d.info.inUse = lockedByInode(locks, node) || uucpLocked(node, lockDirs) ? 1 : 0;
    }
}

const DeviceRecord* findByPath(const std::vector<DeviceRecord>& devices, const std::string& path) {
    for (const DeviceRecord& d : devices) {
        if (path == d.info.node ||
            std::find(d.links.begin(), d.links.end(), path) != d.links.end()) {
            return &d;
        }
    }
    const std::string target = canonical(path);
    if (target.empty()) {
        return nullptr;
    }
    for (const DeviceRecord& d : devices) {
        if (canonical(d.info.node) == target) {
            return &d;
        }
    }
    return nullptr;
}

void addStableLinks(std::vector<DeviceRecord>& devices, const std::vector<std::string>& dirs) {
    // The nodes by file identity, so a link is matched however it is written (relative,
    // absolute, through other links).
    std::map<std::pair<dev_t, ino_t>, DeviceRecord*> byFile;
    for (DeviceRecord& d : devices) {
        struct stat st {};
        if (d.info.node[0] && ::stat(d.info.node, &st) == 0) {
            byFile[{st.st_dev, st.st_ino}] = &d;
        }
    }
    if (byFile.empty()) {
        return;
    }
    for (const std::string& dir : dirs) {
        DIR* folder = ::opendir(dir.c_str());
        if (!folder) {
            continue;
        }
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(folder)) {
            if (e->d_name[0] != '.') {
                names.emplace_back(e->d_name);
            }
        }
        ::closedir(folder);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string link = dir + "/" + name;
            struct stat st {};
            if (::stat(link.c_str(), &st) != 0) {
                continue; // dangling
            }
            const auto it = byFile.find({st.st_dev, st.st_ino});
            if (it == byFile.end()) {
                continue;
            }
            DeviceRecord& d = *it->second;
            if (std::find(d.links.begin(), d.links.end(), link) == d.links.end()) {
                d.links.push_back(link);
            }
            if (!d.info.stableName[0] && link.size() < sizeof d.info.stableName) {
                std::memcpy(d.info.stableName, link.c_str(), link.size() + 1);
            }
        }
    }
}

const std::vector<std::string>& stableLinkDirs() {
    static const std::vector<std::string> dirs{"/dev/serial/by-id", "/dev/serial/by-path"};
    return dirs;
}

bool listSerialDevices(std::vector<DeviceRecord>& out, std::string& error) {
    out.clear();
    if (!enumerateSerialDevices(out, error)) {
        return false;
    }
    addStableLinks(out, stableLinkDirs());
    sortByNode(out);
    markInUse(out, readProcLocks(), uucpLockDirs());
    return true;
}

} // namespace serilon

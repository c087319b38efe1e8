// Whether another open holds a serial device, told without opening it: opening raises
// DTR and RTS and can reset what is attached. Two signs count: a lock on the node's
// inode in /proc/locks (this library flocks every device it opens, and so do most
// serial programs) and a UUCP lock file (LCK..<name> in /var/lock or /run/lock) whose
// process is alive. Plain POSIX, no state: any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace serilon {

// The file a lock in /proc/locks is on: the device number of its file system
// (major:minor) and its inode.
struct LockedFile {
    unsigned major = 0;
    unsigned minor = 0;
    std::uint64_t inode = 0;
    bool operator==(const LockedFile&) const = default;
};

// The files of every lock held or waited for in the text of /proc/locks (lines such as
// "1: FLOCK  ADVISORY  WRITE 4711 00:05:812 0 EOF", the device numbers in hex; waiters
// have "->" before the type). Lines that do not fit are skipped.
std::vector<LockedFile> parseProcLocks(std::string_view text);

// Reads /proc/locks now (empty when it cannot be read).
std::vector<LockedFile> readProcLocks();

// True when one of locks is on the file at node (followed through links; false when
// node cannot be looked at).
bool lockedByInode(const std::vector<LockedFile>& locks, const std::string& node);

// The process id in a UUCP lock file: ten digits and a newline (the usual form, leading
// blanks allowed) or a native 4-byte integer (the old binary form); nullopt when the
// text is neither or the id is not positive.
std::optional<long> parseUucpLockPid(std::string_view content);

// True when a lock file LCK..<name of node> in one of dirs names a living process
// (a process that exists but belongs to another user counts).
bool uucpLocked(const std::string& node, const std::vector<std::string>& dirs);

// The folders UUCP lock files live in on Linux.
const std::vector<std::string>& uucpLockDirs();

} // namespace serilon

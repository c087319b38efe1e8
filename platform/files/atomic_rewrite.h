// Replacing a file's contents in one step, keeping what the file is.
//
// The new contents go to a temporary file created exclusively (O_EXCL, a fresh random
// name) in the directory of the file they replace; it is synced and renamed over that
// file, so a reader sees the old contents or the new, never a mixture, and a failure
// leaves the old file as it was. What the rename replaces is kept:
//   - a symbolic link stays a link: the rewrite goes to the file it finally points to
//     (relative links are taken from the link's own directory; a dangling link gets its
//     target created);
//   - an existing file keeps its permission bits (0600 stays 0600) and, when the caller
//     runs as root, its owner and group;
//   - a file the caller may not write (0444) is refused (EACCES), as writing into it
//     would be;
//   - a path that holds something else than a regular file (a FIFO, a device, a socket,
//     a directory) is refused and left alone: nothing is written into it or over it.
// The directory must exist. Plain POSIX; every call may be made from any thread, but
// two writers of one file must agree on a lock of their own to not lose each other's
// changes.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

#include "platform/files/regular_file.h"

namespace vort::files {

struct RewriteOptions {
    // Permission bits of a file that does not exist yet; the umask applies unless
    // exactNewMode is set.
    mode_t newFileMode = 0666;
    bool exactNewMode = false;
};

// Replaces the contents of the file at path with data. False with failure filled in
// when it could not (failure.path then names the file finally meant, the link's target
// for a link).
bool rewriteFile(const std::string& path, std::string_view data, FileFailure& failure,
                 const RewriteOptions& options = {});

// The file a rewrite of path writes to: path with its symbolic links followed to the
// last one's target (which need not exist). Sets failure and returns "" for a loop of
// links or a link that cannot be read.
std::string rewriteTarget(const std::string& path, FileFailure& failure);

} // namespace vort::files

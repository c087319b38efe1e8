// Reading a configuration file that must be a regular file.
//
// A FIFO, a device, a socket or a directory at a configuration file's path would block
// open() or read() forever, or read something that is no file at all. Such a path is
// refused without being opened for reading: the failure names the path and says what
// is there. Symbolic links are followed.
//
// Plain POSIX; every call may be made from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace vort::files {

// Why a file could not be read or written.
struct FileFailure {
    std::string path;   // the file concerned
    std::string reason; // "a FIFO (named pipe), not a regular file", or the system's reason
    int err = 0;        // the errno; 0 when the path holds something that is not a file

    // "<path>: <reason>"
    std::string text() const { return path + ": " + reason; }
    // The reason alone when the failure concerns asked itself, else text() (a rewrite
    // through a link fails on the link's target).
    std::string reasonFor(const std::string& asked) const {
        return path == asked ? reason : text();
    }
};

// What a file type is, in words: "a FIFO (named pipe)", "a directory", "a character
// device", "a block device", "a socket", "a symbolic link", "a regular file".
std::string fileKindText(mode_t mode);

// The reason given for a path holding something else than a regular file:
// fileKindText(mode) + ", not a regular file".
std::string notRegularReason(mode_t mode);

enum class ReadOutcome {
    Read,    // text holds the contents
    Missing, // nothing at the path (ENOENT); failure says so
    Failed,  // not a regular file, or the system refused; failure says why
};

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::Failed;
    std::string text;       // Read: the first limit bytes at most
    bool truncated = false; // Read: the file holds more than limit bytes
    FileFailure failure;    // Missing and Failed
};

// Reads the regular file at path, at most limit bytes. Never blocks on a FIFO or a
// device: the path is examined before it is opened, and opened without waiting.
ReadResult readRegularFile(const std::string& path, std::size_t limit);

} // namespace vort::files

// The control socket's listening end.
#pragma once

#include <string>

namespace modemsim {

// Listens on the Unix socket path (non-blocking, close-on-exec) and returns its
// descriptor; -1 with error when it cannot. Only a socket nobody listens on any more
// (left by a simulator that was killed) is replaced: anything else at path, a file, a
// directory, a link, or a socket in use, is refused and left as it is.
int listenOnControlPath(const std::string& path, std::string& error);

} // namespace modemsim

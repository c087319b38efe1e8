// The registry file: RegistryData as a text file, read strictly and written
// atomically.
//
// Format (UTF-8 text, one item per line, '#' lines and blank lines ignored):
//
//   vort-registry 1                          first line: format name and version
//
//   [class {F13FEC21-09B9-4F01-A9C7-801380D41B98}]
//   progid = Vendor.Thing.1                  optional
//   typename = "Thing Control"               optional
//   library = "/usr/lib/libthing.so"         required, absolute
//   threading = apartment                    apartment | free | both (default apartment)
//   miscstatus = 0x00020591                  hex (0x...) or decimal (default 0)
//   insertable = yes                         yes | no (default no)
//   toolboxbitmap = 1                        resource id (default 0: none)
//   typelib = {LIBID} 2.7                    optional: type library id and version
//
//   [progid Vendor.Thing.1]
//   clsid = {F13FEC21-09B9-4F01-A9C7-801380D41B98}
//
//   [typelib {LIBID} 2.7]
//   name = "ThingLib"
//   help = "Thing Control"                  optional
//   helpfile = "/usr/lib/thing.hlp"         optional, absolute
//   library = "/usr/lib/libthing.so"        required, absolute
//
//   end                                      last line: marks a complete file
//
// Texts are quoted (quoted_text.h: \" \\ \n \r \t \xHH); other values are bare.
// Anything else is damage: an unknown section or key, a key twice, a malformed value,
// an entry breaking the rules of registry_data.h, two entries with one key, a missing
// "end" (a file cut short). Damage is reported with the file and line; nothing is
// guessed. An empty file, or none, is an empty registry.
//
// Writing goes to a temporary file in the same directory that is synced and renamed
// over the registry, so a reader sees the old file or the new one, never a mixture
// (platform/files/atomic_rewrite.h: a link stays a link, the file keeps its mode). A
// path holding something other than a regular file (a FIFO, a device, a directory) is
// refused, for reading and writing alike, without blocking.
// updateRegistryFile holds an exclusive lock (flock on "<file>.lock") from reading to
// renaming, so two registrations at once do not lose each other's entries, and it
// refuses to touch a damaged file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/component/registry_data.h"

namespace vort::component {

// source names the file in error messages. Throws RegistryError on damage.
RegistryData parseRegistry(std::string_view text, std::string_view source);
std::string formatRegistry(const RegistryData& data);

// The registry in path; an empty one when the file does not exist. Throws
// RegistryError when it cannot be read or is damaged.
RegistryData readRegistryFile(const std::string& path);
// Replaces path with data atomically, creating its directory when missing. Throws
// RegistryError when it cannot be written (the old file then stays as it was).
void writeRegistryFile(const std::string& path, const RegistryData& data);
// Under the file's lock: reads path, lets change edit the entries (change may throw
// to abandon the update; nothing is written then), writes the result.
void updateRegistryFile(const std::string& path, const std::function<void(RegistryData&)>& change);

} // namespace vort::component

// Where the component registries live, and lookups across them.
//
// Two registry files are read, the per-user one first:
//   per-user  $XDG_DATA_HOME/vort/registry (XDG_DATA_HOME only when absolute),
//             else $HOME/.local/share/vort/registry
//   system    /etc/vort/registry, for installed copies; the environment variable
//             VORT_SYSTEM_REGISTRY names another file instead (staged installs, tests)
// A class registered in both is found in the per-user file.
//
// Registration (a library's DllRegisterServer) writes the file named by the
// environment variable VORT_REGISTRY_TARGET, else the per-user file. `vortreg
// --system` sets VORT_REGISTRY_TARGET to the system file before calling the library.
//
// Files are read at every lookup (they are small, and registrations may change while
// a host runs). Single-threaded like the rest of the model.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component/registry_data.h"

namespace vort::component {

inline constexpr const char* kRegistryTargetVariable = "VORT_REGISTRY_TARGET";
inline constexpr const char* kSystemRegistryVariable = "VORT_SYSTEM_REGISTRY";

std::string userRegistryPath();
std::string systemRegistryPath();
// The file registration writes: $VORT_REGISTRY_TARGET, else userRegistryPath().
std::string registrationTargetPath();

struct FoundClass {
    ClassRecord record;
    std::string registryFile; // the file it was found in
};

class Registry {
public:
    // The per-user file, then the system file (paths taken now).
    Registry();
    // These files, searched in this order.
    explicit Registry(std::vector<std::string> files);

    const std::vector<std::string>& files() const { return files_; }

    // The class from the first file that has it, or nothing. Throws RegistryError when
    // a file searched before it is found cannot be read or is damaged.
    std::optional<FoundClass> findClass(const Guid& clsid) const;
    // The CLSID the first file that knows progId gives it (its ProgID entry, else a
    // class entry carrying that ProgID), or nothing. ASCII case is ignored. Throws like
    // findClass.
    std::optional<Guid> findProgId(std::string_view progId) const;

    // Every class entry of every file, in search order. A file that cannot be read
    // adds its error to *errors (if given) and contributes nothing.
    std::vector<FoundClass> allClasses(std::vector<std::string>* errors = nullptr) const;

private:
    std::vector<std::string> files_;
};

} // namespace vort::component

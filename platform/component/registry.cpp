#include "platform/component/registry.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "platform/component/registry_file.h"
#include "platform/component/text.h"

namespace vort::component {

namespace {

std::string homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

} // namespace

std::string userRegistryPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    // Relative XDG paths are to be ignored: they would depend on the working directory.
    if (data && data[0] == '/')
        return std::string(data) + "/vort/registry";
    return homeDirectory() + "/.local/share/vort/registry";
}

std::string systemRegistryPath() {
    const char* path = std::getenv(kSystemRegistryVariable);
    if (path && *path)
        return path;
    return "/etc/vort/registry";
}

std::string registrationTargetPath() {
    const char* path = std::getenv(kRegistryTargetVariable);
    if (path && *path)
        return path;
    return userRegistryPath();
}

Registry::Registry() : files_{userRegistryPath(), systemRegistryPath()} {}

Registry::Registry(std::vector<std::string> files) : files_(std::move(files)) {}

std::optional<FoundClass> Registry::findClass(const Guid& clsid) const {
    for (const std::string& file : files_) {
        RegistryData data = readRegistryFile(file);
        if (const ClassRecord* c = data.findClass(clsid))
            return FoundClass{*c, file};
    }
    return std::nullopt;
}

std::optional<Guid> Registry::findProgId(std::string_view progId) const {
    for (const std::string& file : files_) {
        RegistryData data = readRegistryFile(file);
        if (const ProgIdRecord* p = data.findProgId(progId))
            return p->clsid;
        for (const ClassRecord& c : data.classes())
            if (!c.progId.empty() && equalsIgnoreCase(c.progId, progId))
                return c.clsid;
    }
    return std::nullopt;
}

std::vector<FoundClass> Registry::allClasses(std::vector<std::string>* errors) const {
    std::vector<FoundClass> out;
    for (const std::string& file : files_) {
        try {
            RegistryData data = readRegistryFile(file);
            for (const ClassRecord& c : data.classes())
                out.push_back({c, file});
        } catch (const RegistryError& e) {
            if (errors)
                errors->push_back(e.what());
        }
    }
    return out;
}

} // namespace vort::component

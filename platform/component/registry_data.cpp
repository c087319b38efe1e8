#include "platform/component/registry_data.h"

#include <algorithm>

#include "platform/component/text.h"

namespace vort::component {

namespace {

void requireText(std::string_view what, std::string_view value) {
    if (value.find('\0') != std::string_view::npos)
        throw RegistryError(std::string(what) + " contains a NUL character");
}

void requireLibraryPath(std::string_view what, std::string_view path) {
    if (path.empty() || path.front() != '/')
        throw RegistryError(std::string(what) + " \"" + std::string(path) +
                            "\" is not an absolute path");
    requireText(what, path);
}

} // namespace

const char* threadingModelName(ThreadingModel model) {
    switch (model) {
    case ThreadingModel::Apartment:
        return "apartment";
    case ThreadingModel::Free:
        return "free";
    case ThreadingModel::Both:
        return "both";
    }
    return "apartment";
}

std::optional<ThreadingModel> parseThreadingModel(std::string_view name) {
    for (ThreadingModel m : {ThreadingModel::Apartment, ThreadingModel::Free, ThreadingModel::Both})
        if (equalsIgnoreCase(name, threadingModelName(m)))
            return m;
    return std::nullopt;
}

bool isValidProgId(std::string_view progId) {
    if (progId.empty() || progId.size() > 39)
        return false;
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (!letter(progId.front()))
        return false;
    return std::all_of(progId.begin(), progId.end(), [&](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_';
    });
}

const ClassRecord* RegistryData::findClass(const Guid& clsid) const {
    for (const ClassRecord& c : classes_)
        if (c.clsid == clsid)
            return &c;
    return nullptr;
}

const ProgIdRecord* RegistryData::findProgId(std::string_view progId) const {
    for (const ProgIdRecord& p : progIds_)
        if (equalsIgnoreCase(p.progId, progId))
            return &p;
    return nullptr;
}

const TypeLibRecord* RegistryData::findTypeLib(const Guid& libid, uint16_t major,
                                               uint16_t minor) const {
    for (const TypeLibRecord& t : typeLibs_)
        if (t.libid == libid && t.major == major && t.minor == minor)
            return &t;
    return nullptr;
}

void RegistryData::putClass(ClassRecord record) {
    std::string name = "class " + record.clsid.format();
    if (record.clsid.isNull())
        throw RegistryError("a class has the null CLSID");
    if (!record.progId.empty() && !isValidProgId(record.progId))
        throw RegistryError(name + ": \"" + record.progId +
                            "\" is not a valid ProgID (1 to 39 letters, digits, '.' or '_', "
                            "starting with a letter)");
    requireText(name + " type name", record.typeName);
    requireLibraryPath(name + " library", record.library);
    for (ClassRecord& c : classes_) {
        if (c.clsid == record.clsid) {
            c = std::move(record);
            return;
        }
    }
    classes_.push_back(std::move(record));
}

void RegistryData::putProgId(ProgIdRecord record) {
    if (!isValidProgId(record.progId))
        throw RegistryError("\"" + record.progId + "\" is not a valid ProgID");
    if (record.clsid.isNull())
        throw RegistryError("ProgID " + record.progId + " names the null CLSID");
    for (ProgIdRecord& p : progIds_) {
        if (equalsIgnoreCase(p.progId, record.progId)) {
            p = std::move(record);
            return;
        }
    }
    progIds_.push_back(std::move(record));
}

void RegistryData::putTypeLib(TypeLibRecord record) {
    std::string name = "type library " + record.libid.format();
    if (record.libid.isNull())
        throw RegistryError("a type library has the null id");
    requireText(name + " name", record.name);
    requireText(name + " help string", record.help);
    if (!record.helpFile.empty())
        requireLibraryPath(name + " help file", record.helpFile);
    requireLibraryPath(name + " library", record.library);
    for (TypeLibRecord& t : typeLibs_) {
        if (t.libid == record.libid && t.major == record.major && t.minor == record.minor) {
            t = std::move(record);
            return;
        }
    }
    typeLibs_.push_back(std::move(record));
}

bool RegistryData::removeClass(const Guid& clsid) {
    return std::erase_if(classes_, [&](const ClassRecord& c) { return c.clsid == clsid; }) > 0;
}

size_t RegistryData::removeProgIdsOf(const Guid& clsid) {
    return std::erase_if(progIds_, [&](const ProgIdRecord& p) { return p.clsid == clsid; });
}

bool RegistryData::removeTypeLib(const Guid& libid, uint16_t major, uint16_t minor) {
    return std::erase_if(typeLibs_, [&](const TypeLibRecord& t) {
               return t.libid == libid && t.major == major && t.minor == minor;
           }) > 0;
}

} // namespace vort::component

// The entries of a component registry: classes, ProgIDs and type libraries, as
// registration writes them and hosts look them up. RegistryData holds the entries of
// one registry file; registry_file.h reads and writes it, registry.h finds entries
// across the per-user and the system file.
//
// Rules the entries keep (put* refuse others with RegistryError, so nothing invalid is
// ever written): a library path is absolute; a ProgID is 1 to 39 characters, letters,
// digits, '.' and '_', starting with a letter; texts hold no NUL.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component/guid.h"

namespace vort::component {

// A registry that cannot be read, is damaged, cannot be written, or an entry that
// breaks the rules above. what() is a complete sentence naming the file.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ThreadingModel : uint8_t { Apartment, Free, Both };

// "apartment", "free", "both".
const char* threadingModelName(ThreadingModel model);
std::optional<ThreadingModel> parseThreadingModel(std::string_view name);

struct ClassRecord {
    Guid clsid;
    std::string progId; // "" when the class has none
    std::string typeName;
    std::string library; // absolute path of the component library
    ThreadingModel threading = ThreadingModel::Apartment;
    uint32_t miscStatus = 0;
    bool insertable = false;
    int32_t toolboxBitmap = 0; // resource id of the toolbox picture, 0: none
    Guid typeLib;              // null Guid: no type library
    uint16_t typeLibMajor = 0;
    uint16_t typeLibMinor = 0;
    friend bool operator==(const ClassRecord&, const ClassRecord&) = default;
};

struct ProgIdRecord {
    std::string progId;
    Guid clsid;
    friend bool operator==(const ProgIdRecord&, const ProgIdRecord&) = default;
};

struct TypeLibRecord {
    Guid libid;
    uint16_t major = 0;
    uint16_t minor = 0;
    std::string name;
    std::string help;
    std::string helpFile; // absolute path, or "" for none
    std::string library;  // absolute path of the library that carries it
    friend bool operator==(const TypeLibRecord&, const TypeLibRecord&) = default;
};

bool isValidProgId(std::string_view progId);

class RegistryData {
public:
    const std::vector<ClassRecord>& classes() const { return classes_; }
    const std::vector<ProgIdRecord>& progIds() const { return progIds_; }
    const std::vector<TypeLibRecord>& typeLibs() const { return typeLibs_; }
    bool empty() const { return classes_.empty() && progIds_.empty() && typeLibs_.empty(); }

    const ClassRecord* findClass(const Guid& clsid) const;
    // ProgIDs compare without regard to ASCII case.
    const ProgIdRecord* findProgId(std::string_view progId) const;
    const TypeLibRecord* findTypeLib(const Guid& libid, uint16_t major, uint16_t minor) const;

    // Adds the entry, or replaces the one with the same key in place. Throw
    // RegistryError for an entry that breaks the rules.
    void putClass(ClassRecord record);
    void putProgId(ProgIdRecord record);
    void putTypeLib(TypeLibRecord record);

    // Remove the entry with that key; false when there was none.
    bool removeClass(const Guid& clsid);
    // Removes every ProgID that names clsid; returns how many.
    size_t removeProgIdsOf(const Guid& clsid);
    bool removeTypeLib(const Guid& libid, uint16_t major, uint16_t minor);

    friend bool operator==(const RegistryData&, const RegistryData&) = default;

private:
    std::vector<ClassRecord> classes_;
    std::vector<ProgIdRecord> progIds_;
    std::vector<TypeLibRecord> typeLibs_;
};

} // namespace vort::component

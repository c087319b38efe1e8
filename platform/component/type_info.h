// Type information: what a host needs to know about a component without calling it.
//
// An InterfaceInfo lists the members of one dispatch interface (DISPID, name, kind,
// type, access, parameters, help string); an EnumInfo names the values of one
// enumeration; a TypeLibrary gathers them with the coclasses. A property browser
// additionally uses PropertyBrowserList: the predefined strings a property offers.
//
// All of it is plain data, usually built once into a function-local static by the
// component and handed out by const pointer for the component's lifetime. Names and
// help strings are UTF-8 (in practice ASCII); texts shown for values are UTF-16 like
// every other text crossing the dispatch interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component/guid.h"
#include "platform/component/variant.h"

namespace vort::component {

enum class MemberKind : uint8_t { Property, Method };

enum class Access : uint8_t { ReadWrite, ReadOnly, WriteOnly };

struct ParamInfo {
    std::string name;
    // A VarType code; VT_BYREF | VT_VARIANT for a value handed back through the argument.
    uint16_t type = VT_VARIANT;
};

struct MemberInfo {
    int32_t dispid = 0;
    std::string name;
    MemberKind kind = MemberKind::Property;
    // Property type, or a method's (or event's) result type; VT_EMPTY: no result.
    uint16_t type = VT_EMPTY;
    Access access = Access::ReadWrite;
    // Raises 422 while the container is in design mode (ambient UserMode false).
    bool runTimeOnly = false;
    std::vector<ParamInfo> params;
    std::string help;
    // Name of the EnumInfo whose values the property takes, or "" for none.
    std::string enumName;
};

struct InterfaceInfo {
    Guid iid;
    std::string name;
    std::string help;
    std::vector<MemberInfo> members;

    // The member with that DISPID, or nullptr.
    const MemberInfo* find(int32_t dispid) const;
    // The member with that name, compared without regard to ASCII case, or nullptr.
    const MemberInfo* find(std::string_view name) const;
};

struct EnumMember {
    std::string name;
    int32_t value = 0;
};

struct EnumInfo {
    std::string name;
    std::string help;
    std::vector<EnumMember> members;

    // The member with that name (ASCII case ignored), or nullptr.
    const EnumMember* find(std::string_view memberName) const;
};

struct CoclassInfo {
    Guid clsid;
    std::string name;
    std::string help;
    Guid defaultInterface; // the dispatch interface a host calls
    Guid defaultSource;    // the event interface the class fires; null Guid: none
};

struct TypeLibrary {
    Guid libid;
    std::string name;
    uint16_t versionMajor = 1;
    uint16_t versionMinor = 0;
    uint32_t locale = 0x409;
    std::string help;
    // A file name; a relative one is taken relative to the component library's own
    // directory when the library registers itself.
    std::string helpFile;
    std::vector<InterfaceInfo> interfaces;
    std::vector<EnumInfo> enums;
    std::vector<CoclassInfo> coclasses;

    const InterfaceInfo* findInterface(const Guid& iid) const;
    const InterfaceInfo* findInterface(std::string_view name) const;
    const EnumInfo* findEnum(std::string_view name) const;
    const CoclassInfo* findCoclass(const Guid& clsid) const;
};

struct BrowserEntry {
    std::u16string text;
    int32_t value = 0;
};

// The predefined strings a property browser offers for one property, each with the
// value it stands for.
struct PropertyBrowserList {
    int32_t dispid = 0;
    std::vector<BrowserEntry> entries;
    // Index of the entry shown for a value that no entry has; -1: show the value's
    // decimal text instead.
    int32_t fallbackEntry = -1;

    // The text shown for value: the first entry with that value, else the fallback.
    std::u16string displayString(int32_t value) const;
};

// "I2", "BSTR", "VARIANT*"...: the name of a VarType code for listings.
std::string varTypeName(uint16_t type);

} // namespace vort::component

#include "platform/component/type_info.h"

#include "platform/component/text.h"

namespace vort::component {

const MemberInfo* InterfaceInfo::find(int32_t dispid) const {
    for (const MemberInfo& m : members)
        if (m.dispid == dispid)
            return &m;
    return nullptr;
}

const MemberInfo* InterfaceInfo::find(std::string_view memberName) const {
    for (const MemberInfo& m : members)
        if (equalsIgnoreCase(m.name, memberName))
            return &m;
    return nullptr;
}

const EnumMember* EnumInfo::find(std::string_view memberName) const {
    for (const EnumMember& m : members)
        if (equalsIgnoreCase(m.name, memberName))
            return &m;
    return nullptr;
}

const InterfaceInfo* TypeLibrary::findInterface(const Guid& iid) const {
    for (const InterfaceInfo& i : interfaces)
        if (i.iid == iid)
            return &i;
    return nullptr;
}

const InterfaceInfo* TypeLibrary::findInterface(std::string_view interfaceName) const {
    for (const InterfaceInfo& i : interfaces)
        if (equalsIgnoreCase(i.name, interfaceName))
            return &i;
    return nullptr;
}

const EnumInfo* TypeLibrary::findEnum(std::string_view enumName) const {
    for (const EnumInfo& e : enums)
        if (equalsIgnoreCase(e.name, enumName))
            return &e;
    return nullptr;
}

const CoclassInfo* TypeLibrary::findCoclass(const Guid& clsid) const {
    for (const CoclassInfo& c : coclasses)
        if (c.clsid == clsid)
            return &c;
    return nullptr;
}

std::u16string PropertyBrowserList::displayString(int32_t value) const {
    for (const BrowserEntry& e : entries)
        if (e.value == value)
            return e.text;
    if (fallbackEntry >= 0 && static_cast<size_t>(fallbackEntry) < entries.size())
        return entries[static_cast<size_t>(fallbackEntry)].text;
    return fromLatin1(std::to_string(value));
}

std::string varTypeName(uint16_t type) {
    std::string base;
    switch (type & 0x0FFF) {
    case VT_EMPTY:
        base = "void";
        break;
    case VT_I1:
        base = "I1";
        break;
    case VT_UI1:
        base = "UI1";
        break;
    case VT_I2:
        base = "I2";
        break;
    case VT_I4:
        base = "I4";
        break;
    case VT_BOOL:
        base = "BOOL";
        break;
    case VT_BSTR:
        base = "BSTR";
        break;
    case VT_VARIANT:
        base = "VARIANT";
        break;
    default:
        base = "type " + std::to_string(type & 0x0FFF);
        break;
    }
    if (type & VT_ARRAY)
        base += "[]";
    if (type & VT_BYREF)
        base += "*";
    return base;
}

} // namespace vort::component

#include "control/object/help_reference.h"

#include <stdexcept>

#include "control/object/help_prose.h"
#include "platform/component/error.h"
#include "vort/guids.h"

namespace vort {

using component::Access;
using component::CoclassInfo;
using component::EnumInfo;
using component::InterfaceInfo;
using component::MemberInfo;
using component::MemberKind;
using component::PropertyBrowserList;
using component::TypeLibrary;

namespace {

// A paragraph of the page's own text from the prose resource.
const std::string& pageProse(std::string_view name) {
    const auto& page = helpProse().page;
    const auto it = page.find(name);
    if (it == page.end())
        throw std::runtime_error("help_reference.txt has no [page " + std::string(name) + "]");
    return it->second;
}

const char* accessText(Access a) {
    switch (a) {
    case Access::ReadWrite:
        return "read/write";
    case Access::ReadOnly:
        return "read-only";
    case Access::WriteOnly:
        return "write-only";
    }
    return "";
}

std::string useText(const MemberInfo& m) {
    return m.runTimeOnly ? "run time only (error 422 in design mode)" : "design and run time";
}

std::string typeText(uint16_t type) {
    return type == component::VT_EMPTY ? std::string("none") : component::varTypeName(type);
}

std::string signature(const MemberInfo& m) {
    std::string s = htmlEscape(m.name) + "(";
    for (size_t i = 0; i < m.params.size(); ++i) {
        if (i)
            s += ", ";
        s += htmlEscape(component::varTypeName(m.params[i].type)) + " " +
             htmlEscape(m.params[i].name);
    }
    s += ")";
    return s;
}

// The member's paragraph from the prose resource, if it has one.
std::string note(const std::string& name) {
    const auto& notes = helpProse().members;
    const auto it = notes.find(name);
    return it == notes.end() ? std::string() : "<p>" + it->second + "</p>\n";
}

std::string enumLink(const std::string& name) {
    return "<a href=\"#" + htmlEscape(name) + "\">" + htmlEscape(name) + "</a>";
}

std::string utf8(const std::u16string& text) {
    // Browser entries are ASCII in practice; anything else is written as a reference.
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            out += "&#" + std::to_string(static_cast<unsigned>(c)) + ";";
    }
    return out;
}

const PropertyBrowserList* listFor(std::span<const PropertyBrowserList> lists, int32_t dispid) {
    for (const PropertyBrowserList& l : lists)
        if (l.dispid == dispid)
            return &l;
    return nullptr;
}

void writeProperty(std::string& h, const MemberInfo& m,
                   std::span<const PropertyBrowserList> lists) {
    h += "<section class=\"member\" id=\"" + htmlEscape(m.name) + "\">\n<h3>" + htmlEscape(m.name) +
         "</h3>\n";
    h += "<p class=\"facts\">Type " + htmlEscape(typeText(m.type)) + "; " + accessText(m.access) +
         "; " + useText(m) + "; DISPID " + std::to_string(m.dispid);
    if (!m.enumName.empty())
        h += "; values of " + enumLink(m.enumName);
    h += ".</p>\n";
    if (!m.help.empty())
        h += "<p class=\"help\">" + htmlEscape(m.help) + "</p>\n";
    h += note(m.name);
    if (const PropertyBrowserList* list = listFor(lists, m.dispid)) {
        h += "<p>The property browser offers:</p>\n<ul class=\"choices\">\n";
        for (const auto& e : list->entries)
            h += "<li>" + utf8(e.text) + "</li>\n";
        h += "</ul>\n";
    }
    h += "</section>\n";
}

void writeMethod(std::string& h, const MemberInfo& m) {
    h += "<section class=\"member\" id=\"" + htmlEscape(m.name) + "\">\n<h3>" + htmlEscape(m.name) +
         "</h3>\n";
    h += "<p class=\"facts\"><code>" + signature(m) + "</code>; result " +
         htmlEscape(typeText(m.type)) + "; " + useText(m) + "; DISPID " + std::to_string(m.dispid) +
         ".</p>\n";
    if (!m.help.empty())
        h += "<p class=\"help\">" + htmlEscape(m.help) + "</p>\n";
    h += note(m.name);
    h += "</section>\n";
}

void writeEvent(std::string& h, const MemberInfo& m) {
    h += "<section class=\"member\" id=\"" + htmlEscape(m.name) + "\">\n<h3>" + htmlEscape(m.name) +
         "</h3>\n";
    h += "<p class=\"facts\"><code>" + signature(m) + "</code>; DISPID " +
         std::to_string(m.dispid) + ".</p>\n";
    if (!m.help.empty())
        h += "<p class=\"help\">" + htmlEscape(m.help) + "</p>\n";
    h += note(m.name);
    h += "</section>\n";
}

void writeEnum(std::string& h, const EnumInfo& e) {
    h += "<section class=\"enum\" id=\"" + htmlEscape(e.name) + "\">\n<h3>" + htmlEscape(e.name) +
         "</h3>\n";
    if (!e.help.empty())
        h += "<p class=\"help\">" + htmlEscape(e.help) + "</p>\n";
    h += "<table>\n<tr><th>Name</th><th>Value</th></tr>\n";
    for (const auto& m : e.members)
        h += "<tr><td><code>" + htmlEscape(m.name) + "</code></td><td>" + std::to_string(m.value) +
             "</td></tr>\n";
    h += "</table>\n</section>\n";
}

void writeSummaryRow(std::string& h, const MemberInfo& m, bool property) {
    h += "<tr><td><a href=\"#" + htmlEscape(m.name) + "\">" + htmlEscape(m.name) + "</a></td><td>" +
         htmlEscape(typeText(m.type)) + "</td>";
    if (property)
        h += std::string("<td>") + accessText(m.access) + "</td><td>" +
             (m.runTimeOnly ? "run time only" : "") + "</td>";
    h += "<td>" + htmlEscape(m.help) + "</td></tr>\n";
}

const InterfaceInfo* findOrFirst(const TypeLibrary& lib, const component::Guid& iid,
                                 size_t fallback) {
    if (const InterfaceInfo* i = lib.findInterface(iid))
        return i;
    return fallback < lib.interfaces.size() ? &lib.interfaces[fallback] : nullptr;
}

} // namespace

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string helpReferenceHtml(const TypeLibrary& lib, std::span<const PropertyBrowserList> lists) {
    const CoclassInfo* coclass = lib.coclasses.empty() ? nullptr : &lib.coclasses.front();
    const InterfaceInfo* dispatch =
        findOrFirst(lib, coclass ? coclass->defaultInterface : component::Guid{}, 0);
    const InterfaceInfo* events =
        findOrFirst(lib, coclass ? coclass->defaultSource : component::Guid{}, 1);
    const std::string title = htmlEscape(lib.help.empty() ? lib.name : lib.help);
    const std::string version =
        std::to_string(lib.versionMajor) + "." + std::to_string(lib.versionMinor);

    std::vector<const MemberInfo*> properties, methods;
    if (dispatch)
        for (const MemberInfo& m : dispatch->members)
            (m.kind == MemberKind::Property ? properties : methods).push_back(&m);

    std::string h;
    h += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
         " reference</title>\n";
    h += "<style>\nbody{font-family:sans-serif;max-width:60em;margin:1em auto;padding:0 "
         "1em;line-height:1.4}\n"
         "table{border-collapse:collapse;margin:.5em 0}td,th{border:1px solid #bbb;padding:.2em "
         ".5em;"
         "text-align:left;vertical-align:top}\nsection.member,section.enum{border-top:1px solid "
         "#ddd;"
         "margin-top:1em}\n.facts{color:#444}\ncode{background:#f3f3f3}\n</style>\n</"
         "head>\n<body>\n";
    h += "<h1 id=\"contents\">" + title + "</h1>\n";
    h += "<p>Reference of the serial communication control: type library <code>" +
         htmlEscape(lib.name) + "</code> version " + version;
    if (coclass)
        h += ", class <code>" + htmlEscape(coclass->name) + "</code> " +
             htmlEscape(coclass->clsid.format());
    h += std::string(". Programs create it by the ProgID <code>") + kProgIdVortCtrl +
         "</code>; its property page is <code>" + kProgIdVortPropPage + "</code>. " +
         pageProse("threads") + "</p>\n";
    h += "<ul>\n<li><a href=\"#properties\">Properties</a> (" + std::to_string(properties.size()) +
         ")</li>\n<li><a href=\"#methods\">Methods</a> (" + std::to_string(methods.size()) +
         ")</li>\n<li><a href=\"#events\">Events</a> (" +
         std::to_string(events ? events->members.size() : 0) +
         ")</li>\n<li><a href=\"#enumerations\">Enumerations</a> (" +
         std::to_string(lib.enums.size()) +
         ")</li>\n<li><a href=\"#errors\">Errors</a></li>\n</ul>\n";

    h += "<h2 "
         "id=\"properties\">Properties</h2>\n<table>\n<tr><th>Name</th><th>Type</th><th>Access</th>"
         "<th>Use</th><th>Summary</th></tr>\n";
    for (const MemberInfo* m : properties)
        writeSummaryRow(h, *m, true);
    h += "</table>\n";
    for (const MemberInfo* m : properties)
        writeProperty(h, *m, lists);

    h += "<h2 "
         "id=\"methods\">Methods</h2>\n<table>\n<tr><th>Name</th><th>Result</th><th>Summary</th></"
         "tr>\n";
    for (const MemberInfo* m : methods)
        writeSummaryRow(h, *m, false);
    h += "</table>\n";
    for (const MemberInfo* m : methods)
        writeMethod(h, *m);

    h += "<h2 id=\"events\">Events</h2>\n";
    if (events) {
        if (!events->help.empty())
            h += "<p>" + htmlEscape(events->help) + ".</p>\n";
        for (const MemberInfo& m : events->members)
            writeEvent(h, m);
    }

    h += "<h2 id=\"enumerations\">Enumerations</h2>\n";
    for (const EnumInfo& e : lib.enums)
        writeEnum(h, e);

    h += "<h2 id=\"errors\">Errors</h2>\n<p>" + pageProse("errors") +
         "</p>\n<table>\n<tr><th>Number</th><th>Description</th><th>When</th></tr>\n";
    const struct {
        int32_t number;
        const char* when;
    } errors[] = {
        {component::kErrFileAlreadyOpen, "PortOpen set to True while the port is already in use"},
        {component::kErrDeviceUnavailable,
         "PortOpen set to True and the device is not usable after opening"},
        {component::kErrInvalidPropertyValue, "Settings written with a text that does not parse"},
        {component::kErrSetNotSupported, "a read-only property written"},
        {component::kErrGetNotSupported, "a write-only property read"},
        {component::kErrRuntimeOnly, "a run-time-only member used in design mode"},
        {component::kErrMemberNotFound, "no property or method of that name or DISPID"},
        {component::kErrBadArgumentCount, "a method called with the wrong number of arguments"},
        {component::kErrTypeMismatch, "an argument of the wrong type"},
        {component::kErrOverflow, "a number too large for the member's type"},
        {component::kErrInvalidProcedureCall, "AboutBox called in a host without windows"},
    };
    for (const auto& e : errors) {
        std::string description = component::standardErrorText(e.number);
        if (description.empty())
            description = "(none)";
        h += "<tr><td>" + std::to_string(e.number) + "</td><td>" + htmlEscape(description) +
             "</td><td>" + e.when + "</td></tr>\n";
    }
    h += "</table>\n</body>\n</html>\n";
    return h;
}

} // namespace vort

#include "control/object/help_reference.h"

#include <map>

#include "platform/component/error.h"

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

// Paragraphs for members whose help string alone says too little. HTML fragments.
const std::map<std::string, std::string>& memberNotes() {
    static const std::map<std::string, std::string> notes = {
        {"CommEvent",
         "Reading returns the code of the last communication event or error and resets it to 0, so "
         "read it once in each <a href=\"#OnComm\">OnComm</a> handler. The codes are those of "
         "<a href=\"#VORTOCX_EVENTS\">VORTOCX_EVENTS</a> and <a "
         "href=\"#VORTOCX_ERRORS\">VORTOCX_ERRORS</a>."},
        {"OutBufferCount", "Despite its summary, this is the number of bytes waiting in the "
                           "<em>transmit</em> buffer. "
                           "Writing any value empties that buffer while the port is open."},
        {"InBufferCount", "Writing any value empties the receive buffer while the port is open."},
        {"Settings",
         "For ComType 0 and 1: baud rate, parity (E, M, N, O or S), data bits (5 to 8) and stop "
         "bits "
         "(1, 1.5 or 2), separated by commas, for example <code>9600,N,8,1</code>. A text that "
         "gives only "
         "the first fields changes only those; the control stores the text normalised (parity "
         "letter "
         "upper case). A text that does not parse raises error 380 and changes nothing."},
        {"Input",
         "Each read takes the bytes it returns out of the receive buffer. In text mode (InputMode "
         "0) it "
         "returns InputLen characters only once that many are waiting, else an empty text; in "
         "binary mode "
         "(InputMode 1) a byte array of what is there, up to InputLen. InputLen 0 reads everything "
         "waiting, at most 65,000 bytes."},
        {"Output", "Accepts a text (each character sent as one byte) or a byte array; other values "
                   "send nothing. "
                   "Ignored while the port is closed."},
        {"ModemTimeout", "In seconds; the control keeps it in milliseconds and saves it so."},
        {"ComErrors",
         "While the port is open: the line errors the port has seen, as the sum of the "
         "<a href=\"#VORT_ERRORS\">VORT_ERRORS</a> flags 2 (overrun), 4 (parity), 8 (framing) and "
         "16 "
         "(break). 0 while the port is closed. Devices that keep no line-error counters, such as "
         "pseudo-terminals, always read 0."},
        {"S3964Master",
         "Initially False, not saved. With Protocol 7 (3964/3964R), True gives this side priority "
         "when "
         "both sides start a telegram at the same moment: the other side then receives first and "
         "sends "
         "its own telegram afterwards. Exactly one of the two partners should be master. The value "
         "travels with every telegram, so a change counts from the next one."},
        {"S3964UseBCC", "Initially True, not saved. True selects 3964R, whose blocks end with a "
                        "block check character "
                        "(the exclusive or of the block's bytes); False selects plain 3964 without "
                        "it. Both partners "
                        "must agree. The value travels with every telegram."},
        {"S3964TQ",
         "Initially 2000, not saved. The acknowledgement delay time in milliseconds: how long the "
         "sender waits for the partner's answer after announcing a telegram and after the end of "
         "its "
         "block. A change reaches the link at once while it runs."},
        {"S3964TZ",
         "Initially 200, not saved. The character delay time in milliseconds: the longest pause "
         "the "
         "receiver allows between two characters of a block before it refuses the block. A change "
         "reaches the link at once while it runs."},
        {"S3964Retry",
         "Initially 3, not saved. Sets both the connection attempts and the block attempts of the "
         "link. "
         "A telegram that still fails is tried again later and dropped once it has failed more "
         "than "
         "S3964Retry times (with 3, after the fourth failure); OnComm then reports CommEvent 2000 "
         "(COMM_ER_TXFAILED)."},
        {"hWnd", "A number identifying the control's hidden notification window, through which "
                 "reports from "
                 "the serial core library's threads reach the thread that owns the control; 0 "
                 "before the control "
                 "has a window (it makes one when its container gives it a site). It identifies "
                 "the window and "
                 "nothing more."},
        {"ComOutput",
         "Sends the first cbData characters of lpData, each as one byte, and returns how many "
         "bytes the "
         "transmit buffer took; 0 while the port is closed. Unlike Output it tells the caller how "
         "much "
         "was sent: bytes the buffer could not take because it stopped draining are dropped. With "
         "Protocol 7 the bytes become one telegram and cbData is returned. hWnd is not used."},
        {"ComInput",
         "Reads up to cbData bytes from the receive buffer into lpData, which is passed by "
         "reference and "
         "becomes a byte array of exactly the bytes read; returns their count. Returns 0 and "
         "leaves "
         "lpData alone while the port is closed or when cbData is 0 or less. hWnd is not used."},
        {"PortPresent",
         "Tells whether a port can be used: 0 (VORT_PORT_UNAVAILABLE) there is no such device, 1 "
         "(VORT_PORT_AVAILABLE_READY) it is free, 2 (VORT_PORT_AVAILABLE_BUSY) another program or "
         "control holds it. For ComType 0 and 1 PortNumber is a port number (COM1 is 1), mapped to "
         "a "
         "device by the port map (see the README); for the network types it is a comm id (0 to "
         "254)."},
        {"AboutBox",
         "Shows the About box with the control's name and version. It closes with OK, by itself "
         "after "
         "ten seconds, or through its window's close button, which first shows a message box "
         "\"Dialog Closing\". Needs a host with windows: without a widget application the call "
         "fails "
         "with error 5."},
        {"OnComm", "Fired in the thread that owns the control when a communication event or error "
                   "happens; read "
                   "<a href=\"#CommEvent\">CommEvent</a> in the handler for its code. Receive "
                   "events (2) follow "
                   "RThreshold, send events (1) SThreshold. Events arrive only while the owner's "
                   "thread runs its "
                   "event loop."},
        {"OnModem", "Progress of a modem connection: Action is one of "
                    "<a href=\"#VORTOCX_CONNECT_INFO\">VORTOCX_CONNECT_INFO</a>, TimeLeft the "
                    "whole seconds left "
                    "before ModemTimeout ends the attempt."},
        {"OnFileInfo", "Progress of a file transfer: Action is one of <a "
                       "href=\"#VORTOCX_X_INFO\">VORTOCX_X_INFO</a>, "
                       "Data the transfer library's value for it (for sending and receiving, the "
                       "bytes moved so far). "
                       "3964 file transfers report no progress. A sent file ends with 7 "
                       "(VORT_TXFIN) when the receiver has it all, or with 9 (VORT_TXSKIP) when "
                       "the receiver skipped it and kept the copy it had (ZMODEM/Save, for "
                       "instance): Data is then the bytes it had taken, usually 0, and "
                       "<a href=\"#FileSize\">FileSize</a> the file's own size. Neither ends a "
                       "batch."},
        {"FileDownLoadDir",
         "Where ZMODEM and YMODEM batch receives store the files they are sent, under the "
         "sender's name. The stored default <code>\\</code> names the user's download "
         "directory: the one <code>xdg-user-dir DOWNLOAD</code> names (XDG_DOWNLOAD_DIR in "
         "user-dirs.dirs), else the home directory; it is created when missing. Any other "
         "text is a directory (both <code>\\</code> and <code>/</code> separate); an empty "
         "or relative one is taken from the program's working directory."},
        {"Protocol",
         "XMODEM, XMODEM/CRC and YMODEM (1, 2 and 3) carry no file length: the sender pads "
         "the last block with Ctrl-Z (0x1A) and the receiver removes every trailing 0x1A of "
         "the last block, so a file that itself ends in 0x1A arrives shorter although the "
         "transfer succeeds (a receive with 3 whose sender opens with a YMODEM header block "
         "cuts the file to the size in it instead). YMODEM batch (4) and ZMODEM (5 and 6) carry "
         "the length and "
         "deliver the sender's bytes exactly: use them for binary files. With 5 and 6 a "
         "wildcard <a href=\"#FileName\">FileName</a> sends its files in one session, and "
         "a receive continues a shorter local file only when the sender confirms its "
         "bytes."},
    };
    return notes;
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

std::string note(const std::string& name) {
    const auto& notes = memberNotes();
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
    h +=
        ". Programs create it by the ProgID <code>VORT.VortCtrl.1</code>; its property page is "
        "<code>VORT.VortPropPage.1</code>. Every property and method is called in the thread that "
        "created the control, and every event arrives there. Run-time-only members raise error 422 "
        "while the container is in design mode.</p>\n";
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

    h += "<h2 id=\"errors\">Errors</h2>\n<p>A failing property or method raises an error with one "
         "of these "
         "numbers (result code 0x800A0000 plus the number).</p>\n<table>\n<tr><th>Number</th>"
         "<th>Description</th><th>When</th></tr>\n";
    const struct {
        int32_t number;
        const char* when;
        const char* description = nullptr; // nullptr: the standard text
    } errors[] = {
        {55, "PortOpen set to True while the port is already in use"},
        {68, "PortOpen set to True and the device is not usable after opening"},
        {380, "Settings written with a text that does not parse"},
        {383, "a read-only property written"},
        {394, "a write-only property read"},
        {422, "a run-time-only member used in design mode"},
        {438, "no property or method of that name or DISPID"},
        {450, "a method called with the wrong number of arguments"},
        {13, "an argument of the wrong type"},
        {6, "a number too large for the member's type"},
        {5, "AboutBox called in a host without windows", "Invalid procedure call"},
    };
    for (const auto& e : errors) {
        std::string description =
            e.description ? e.description : component::standardErrorText(e.number);
        if (description.empty())
            description = "(none)";
        h += "<tr><td>" + std::to_string(e.number) + "</td><td>" + htmlEscape(description) +
             "</td><td>" + e.when + "</td></tr>\n";
    }
    h += "</table>\n</body>\n</html>\n";
    return h;
}

} // namespace vort

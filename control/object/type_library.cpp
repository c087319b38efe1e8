// The type library VORTLib 2.7: the dispatch and event interfaces, the enumerations,
// the coclass, and the property browser's predefined lists.
#include "control/object/dispids.h"
#include "control/object/guids.h"
#include "control/object/vort_ctrl.h"

namespace vort {

using namespace component;

namespace {

EnumInfo makeEnum(std::string name, std::vector<EnumMember> members) {
    return EnumInfo{.name = std::move(name), .help = {}, .members = std::move(members)};
}

std::vector<EnumInfo> enumerations() {
    return {
        makeEnum("VORTOCX_PROTOCOLS", {{"PROTOCOL_ASCII", 0},
                                       {"PROTOCOL_XMODEM", 1},
                                       {"PROTOCOL_XMODEMCRC", 2},
                                       {"PROTOCOL_YMODEM", 3},
                                       {"PROTOCOL_YMODEMBATCH", 4},
                                       {"PROTOCOL_ZMODEM", 5},
                                       {"PROTOCOL_ZMODEM_SAVE", 6},
                                       {"PROTOCOL_3964", 7}}),
        makeEnum("VORTOCX_COMTYPE", {{"COMTYPE_RS232", 0},
                                     {"COMTYPE_RS485", 1},
                                     {"COMTYPE_ISDN", 10},
                                     {"COMTYPE_WINSOCK_SERVER", 21},
                                     {"COMTYPE_WINSOCK_CLIENT", 22}}),
        makeEnum("VORTOCX_HANDSHAKING", {{"COMM_HANDSHAKE_NONE", 0},
                                         {"COMM_HANDSHAKE_XONXOFF", 1},
                                         {"COMM_HANDSHAKE_RTS", 2},
                                         {"COMM_HANDSHAKE_RTSXONXOFF", 3},
                                         {"COMM_HANDSHAKE_DTR", 4},
                                         {"COMM_HANDSHAKE_DTRXONXOFF", 5}}),
        makeEnum("VORTOCX_CONNECT_INFO",
                 {{"VORT_CONNECT_INFO", 32}, {"VORT_CONNECT_OK", 33}, {"VORT_CONNECT_FAILED", 34}}),
        makeEnum("VORTOCX_X_INFO", {{"VORT_TXING", 0},
                                    {"VORT_RXING", 1},
                                    {"VORT_BREAK", 2},
                                    {"VORT_SYN", 3},
                                    {"VORT_RETRY", 4},
                                    {"VORT_RXFIN", 6},
                                    {"VORT_TXFIN", 7},
                                    {"VORT_TXSKIP", 9}}),
        makeEnum("VORT_ERRORS", {{"OVERRUN_ERROR", 2},
                                 {"PARITY_ERROR", 4},
                                 {"FRAMING_ERROR", 8},
                                 {"BREAK_DETECT", 16}}),
        makeEnum("VORTOCX_EVENTS", {{"COMM_EV_SEND", 1},
                                    {"COMM_EV_RECEIVE", 2},
                                    {"COMM_EV_CTS", 3},
                                    {"COMM_EV_DSR", 4},
                                    {"COMM_EV_CD", 5},
                                    {"COMM_EV_RING", 6},
                                    {"COMM_EV_EOF", 7}}),
        makeEnum("VORTOCX_ERRORS", {{"COMM_ER_BREAK", 1001},
                                    {"COMM_ER_CTSTO", 1002},
                                    {"COMM_ER_DSRTO", 1003},
                                    {"COMM_ER_FRAME", 1004},
                                    {"COMM_ER_OVERRUN", 1006},
                                    {"COMM_ER_CDTO", 1007},
                                    {"COMM_ER_RXOVER", 1008},
                                    {"COMM_ER_RXPARITY", 1009},
                                    {"COMM_ER_TXFULL", 1010},
                                    {"COMM_ER_DCB", 1011},
                                    {"COMM_ER_TXFAILED", 2000}}),
        makeEnum("VORTOCX_TIMEOUTS", {{"SEC0_05", 50},
                                      {"SEC0_1", 100},
                                      {"SEC0_3", 300},
                                      {"SEC0_5", 500},
                                      {"SEC_1", 1000},
                                      {"SEC_10", 10000}}),
        makeEnum("COMM_HANDSHAKING", {{"comNone", 0},
                                      {"comXOnXOff", 1},
                                      {"comRTS", 2},
                                      {"comRTSXOnXOff", 3},
                                      {"comDTR", 4},
                                      {"comDTRXOnXOff", 5}}),
        makeEnum("COMM_EVENTS", {{"comEvSend", 1},
                                 {"comEvReceive", 2},
                                 {"comEvCTS", 3},
                                 {"comEvDSR", 4},
                                 {"comEvCD", 5},
                                 {"comEvRing", 6},
                                 {"comEvEOF", 7}}),
        makeEnum("COMM_ERRORS", {{"comEventBreak", 1001},
                                 {"comEventCTSTO", 1002},
                                 {"comEventBreakDSRTO", 1003},
                                 {"comEventFrame", 1004},
                                 {"comEventOverrun", 1006},
                                 {"comEventCDTO", 1007},
                                 {"comEventBreakRxOver", 1008},
                                 {"comEventRxParity", 1009},
                                 {"comEventTxFull", 1010},
                                 {"comEventDCB", 1011}}),
        makeEnum("COMM_INPUTMODE", {{"comInputModeText", 0}, {"comInputModeBinary", 1}}),
        makeEnum("VORTOCX_PORT_STATE", {{"VORT_PORT_UNAVAILABLE", 0},
                                        {"VORT_PORT_AVAILABLE_READY", 1},
                                        {"VORT_PORT_AVAILABLE_BUSY", 2}}),
        makeEnum("VORTOCX_PRIORITY", {{"PRIORITY_VERY_LOW", 0},
                                      {"PRIORITY_LOW", 1},
                                      {"PRIORITY_MEDIUM", 2},
                                      {"PRIORITY_HIGH", 3},
                                      {"PRIORITY_VERY_HIGH", 4},
                                      {"PRIORITY_ULTRA_HIGH", 5}}),
    };
}

InterfaceInfo eventInterface() {
    InterfaceInfo info{.iid = kIidDVortEvents,
                       .name = "_DVortEvents",
                       .help = "Event interface for Vort Control",
                       .members = {}};
    info.members.push_back({.dispid = kEventOnComm, .name = "OnComm", .kind = MemberKind::Method});
    info.members.push_back({.dispid = kEventOnModem,
                            .name = "OnModem",
                            .kind = MemberKind::Method,
                            .params = {{"Action", VT_I2}, {"TimeLeft", VT_I4}}});
    info.members.push_back({.dispid = kEventOnFileInfo,
                            .name = "OnFileInfo",
                            .kind = MemberKind::Method,
                            .params = {{"Action", VT_I2}, {"Data", VT_I4}}});
    return info;
}

PropertyBrowserList browserList(int32_t dispid, std::vector<BrowserEntry> entries,
                                int32_t fallback = -1) {
    return PropertyBrowserList{
        .dispid = dispid, .entries = std::move(entries), .fallbackEntry = fallback};
}

std::vector<PropertyBrowserList> browserLists() {
    return {
        browserList(kDispHandshaking, {{u"0 - No Handshaking", 0},
                                       {u"1 - XON/XOFF Handshaking", 1},
                                       {u"2 - RTS/CTS Handshaking", 2},
                                       {u"3 - RTS/CTS, XON/XOFF Handshaking", 3},
                                       {u"4 - DTR/DSR Handshaking", 4},
                                       {u"5 - DTR/DSR, XON/XOFF Handshaking", 5}}),
        browserList(kDispProtocol, {{u"0 - ASCII Protocol", 0},
                                    {u"1 - XMODEM Protocol", 1},
                                    {u"2 - XMODEM/CRC Protocol", 2},
                                    {u"3 - YMODEM (1K-XMODEM) Protocol", 3},
                                    {u"4 - YMODEM/BATCH Protocol", 4},
                                    {u"5 - ZMODEM Protocol", 5},
                                    {u"6 - ZMODEM/Save Protocol", 6},
                                    {u"7 - 3964/R Protocol", 7}}),
        browserList(kDispInputMode, {{u"0 - comInputModeText", 0}, {u"1 - comInputModeBinary", 1}}),
        browserList(kDispPriority, {{u"0 - Very Low", 0},
                                    {u"1 - Low", 1},
                                    {u"2 - Medium", 2},
                                    {u"3 - High", 3},
                                    {u"4 - Very High", 4},
                                    {u"5 - Ultra High", 5}}),
        // Every value off the list shows as the first entry.
        browserList(kDispComType,
                    {{u"0 - RS-232/422", 0},
                     {u"1 - RS-485", 1},
                     {u"10 - ISDN/CAPI", 10},
                     {u"21 - TCP/IP Server", 21},
                     {u"22 - TCP/IP Client", 22}},
                    0),
    };
}

} // namespace

const TypeLibrary& vortTypeLibrary() {
    static const TypeLibrary lib = [] {
        TypeLibrary l;
        l.libid = kLibidVortLib;
        l.name = "VORTLib";
        l.versionMajor = 2;
        l.versionMinor = 7;
        l.locale = 0x409;
        l.help = "VELMARK Comm Control";
        l.helpFile = "vortocxe.html";
        l.interfaces.push_back(CVortCtrl::table().describe(kIidDVort, "_DVort",
                                                           "Dispatch interface for Vort Control"));
        l.interfaces.push_back(eventInterface());
        l.enums = enumerations();
        l.coclasses.push_back({.clsid = kClsidVortCtrl,
                               .name = "Vort",
                               .help = "VELMARK Comm Control",
                               .defaultInterface = kIidDVort,
                               .defaultSource = kIidDVortEvents});
        return l;
    }();
    return lib;
}

const ControlDescription& CVortCtrl::description() {
    static const ControlDescription d{
        .members = &table(),
        .typeLibrary = &vortTypeLibrary(),
        .dispatchIid = kIidDVort,
        .eventIid = kIidDVortEvents,
        .browserLists = browserLists(),
        .propertyPages = {kClsidVortPropPage},
        .versionMajor = 2,
        .versionMinor = 7,
    };
    return d;
}

} // namespace vort

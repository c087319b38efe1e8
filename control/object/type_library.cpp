// The type library VORTLib 2.7: the dispatch and event interfaces, the enumerations,
// the coclass, and the property browser's predefined lists.
#include "control/object/vort_ctrl.h"
#include "serilon/serilon.h"
#include "transvex/transvex.h"
#include "vort/comm_events.h"
#include "vort/dispids.h"
#include "vort/guids.h"
#include "vort/property_values.h"

namespace vort {

using namespace component;

namespace {

EnumInfo makeEnum(std::string name, std::vector<EnumMember> members) {
    return EnumInfo{.name = std::move(name), .help = {}, .members = std::move(members)};
}

// The values come from where they are defined: the control's contract headers, and
// the serial core and transfer libraries for the codes the control passes on
// unchanged (OnModem and OnFileInfo actions, ComErrors bits, PortPresent results).
std::vector<EnumInfo> enumerations() {
    return {
        makeEnum("VORTOCX_PROTOCOLS", {{"PROTOCOL_ASCII", kProtocolAscii},
                                       {"PROTOCOL_XMODEM", kProtocolXmodem},
                                       {"PROTOCOL_XMODEMCRC", kProtocolXmodemCrc},
                                       {"PROTOCOL_YMODEM", kProtocolYmodem},
                                       {"PROTOCOL_YMODEMBATCH", kProtocolYmodemBatch},
                                       {"PROTOCOL_ZMODEM", kProtocolZmodem},
                                       {"PROTOCOL_ZMODEM_SAVE", kProtocolZmodemSave},
                                       {"PROTOCOL_3964", kProtocol3964}}),
        makeEnum("VORTOCX_COMTYPE", {{"COMTYPE_RS232", kComTypeRs232},
                                     {"COMTYPE_RS485", kComTypeRs485},
                                     {"COMTYPE_ISDN", kComTypeIsdn},
                                     {"COMTYPE_WINSOCK_SERVER", kComTypeTcpServer},
                                     {"COMTYPE_WINSOCK_CLIENT", kComTypeTcpClient}}),
        makeEnum("VORTOCX_HANDSHAKING", {{"COMM_HANDSHAKE_NONE", kHandshakeNone},
                                         {"COMM_HANDSHAKE_XONXOFF", kHandshakeXOnXOff},
                                         {"COMM_HANDSHAKE_RTS", kHandshakeRts},
                                         {"COMM_HANDSHAKE_RTSXONXOFF", kHandshakeRtsXOnXOff},
                                         {"COMM_HANDSHAKE_DTR", kHandshakeDtr},
                                         {"COMM_HANDSHAKE_DTRXONXOFF", kHandshakeDtrXOnXOff}}),
        makeEnum("VORTOCX_CONNECT_INFO", {{"VORT_CONNECT_INFO", MODEM_ACTION_WAITING},
                                          {"VORT_CONNECT_OK", MODEM_ACTION_CONNECTED},
                                          {"VORT_CONNECT_FAILED", MODEM_ACTION_FAILED}}),
        makeEnum("VORTOCX_X_INFO", {{"VORT_TXING", XFER_ACTION_TX_PROGRESS},
                                    {"VORT_RXING", XFER_ACTION_RX_PROGRESS},
                                    {"VORT_BREAK", XFER_ACTION_BREAK},
                                    {"VORT_SYN", XFER_ACTION_SYN},
                                    {"VORT_RETRY", XFER_ACTION_RETRY},
                                    {"VORT_RXFIN", XFER_ACTION_RX_FINISHED},
                                    {"VORT_TXFIN", XFER_ACTION_TX_FINISHED},
                                    {"VORT_TXSKIP", XFER_ACTION_TX_SKIPPED}}),
        makeEnum("VORT_ERRORS", {{"OVERRUN_ERROR", SERIAL_ERR_OVERRUN},
                                 {"PARITY_ERROR", SERIAL_ERR_PARITY},
                                 {"FRAMING_ERROR", SERIAL_ERR_FRAMING},
                                 {"BREAK_DETECT", SERIAL_ERR_BREAK}}),
        makeEnum("VORTOCX_EVENTS", {{"COMM_EV_SEND", kCommEvSend},
                                    {"COMM_EV_RECEIVE", kCommEvReceive},
                                    {"COMM_EV_CTS", kCommEvCts},
                                    {"COMM_EV_DSR", kCommEvDsr},
                                    {"COMM_EV_CD", kCommEvCd},
                                    {"COMM_EV_RING", kCommEvRing},
                                    {"COMM_EV_EOF", kCommEvEof}}),
        makeEnum("VORTOCX_ERRORS", {{"COMM_ER_BREAK", kCommErBreak},
                                    {"COMM_ER_CTSTO", kCommErCtsTo},
                                    {"COMM_ER_DSRTO", kCommErDsrTo},
                                    {"COMM_ER_FRAME", kCommErFrame},
                                    {"COMM_ER_OVERRUN", kCommErOverrun},
                                    {"COMM_ER_CDTO", kCommErCdTo},
                                    {"COMM_ER_RXOVER", kCommErRxOver},
                                    {"COMM_ER_RXPARITY", kCommErRxParity},
                                    {"COMM_ER_TXFULL", kCommErTxFull},
                                    {"COMM_ER_DCB", kCommErDcb},
                                    {"COMM_ER_TXFAILED", kCommErTxFailed}}),
        makeEnum("VORTOCX_TIMEOUTS", {{"SEC0_05", 50},
                                      {"SEC0_1", 100},
                                      {"SEC0_3", 300},
                                      {"SEC0_5", 500},
                                      {"SEC_1", 1000},
                                      {"SEC_10", 10000}}),
        makeEnum("COMM_HANDSHAKING", {{"comNone", kHandshakeNone},
                                      {"comXOnXOff", kHandshakeXOnXOff},
                                      {"comRTS", kHandshakeRts},
                                      {"comRTSXOnXOff", kHandshakeRtsXOnXOff},
                                      {"comDTR", kHandshakeDtr},
                                      {"comDTRXOnXOff", kHandshakeDtrXOnXOff}}),
        makeEnum("COMM_EVENTS", {{"comEvSend", kCommEvSend},
                                 {"comEvReceive", kCommEvReceive},
                                 {"comEvCTS", kCommEvCts},
                                 {"comEvDSR", kCommEvDsr},
                                 {"comEvCD", kCommEvCd},
                                 {"comEvRing", kCommEvRing},
                                 {"comEvEOF", kCommEvEof}}),
        makeEnum("COMM_ERRORS", {{"comEventBreak", kCommErBreak},
                                 {"comEventCTSTO", kCommErCtsTo},
                                 {"comEventBreakDSRTO", kCommErDsrTo},
                                 {"comEventFrame", kCommErFrame},
                                 {"comEventOverrun", kCommErOverrun},
                                 {"comEventCDTO", kCommErCdTo},
                                 {"comEventBreakRxOver", kCommErRxOver},
                                 {"comEventRxParity", kCommErRxParity},
                                 {"comEventTxFull", kCommErTxFull},
                                 {"comEventDCB", kCommErDcb}}),
        makeEnum("COMM_INPUTMODE",
                 {{"comInputModeText", kInputModeText}, {"comInputModeBinary", kInputModeBinary}}),
        makeEnum("VORTOCX_PORT_STATE", {{"VORT_PORT_UNAVAILABLE", SERIAL_PORT_ABSENT},
                                        {"VORT_PORT_AVAILABLE_READY", SERIAL_PORT_READY},
                                        {"VORT_PORT_AVAILABLE_BUSY", SERIAL_PORT_BUSY}}),
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
        browserList(kDispHandshaking,
                    {{u"0 - No Handshaking", kHandshakeNone},
                     {u"1 - XON/XOFF Handshaking", kHandshakeXOnXOff},
                     {u"2 - RTS/CTS Handshaking", kHandshakeRts},
                     {u"3 - RTS/CTS, XON/XOFF Handshaking", kHandshakeRtsXOnXOff},
                     {u"4 - DTR/DSR Handshaking", kHandshakeDtr},
                     {u"5 - DTR/DSR, XON/XOFF Handshaking", kHandshakeDtrXOnXOff}}),
        browserList(kDispProtocol, {{u"0 - ASCII Protocol", kProtocolAscii},
                                    {u"1 - XMODEM Protocol", kProtocolXmodem},
                                    {u"2 - XMODEM/CRC Protocol", kProtocolXmodemCrc},
                                    {u"3 - YMODEM (1K-XMODEM) Protocol", kProtocolYmodem},
                                    {u"4 - YMODEM/BATCH Protocol", kProtocolYmodemBatch},
                                    {u"5 - ZMODEM Protocol", kProtocolZmodem},
                                    {u"6 - ZMODEM/Save Protocol", kProtocolZmodemSave},
                                    {u"7 - 3964/R Protocol", kProtocol3964}}),
        browserList(kDispInputMode, {{u"0 - comInputModeText", kInputModeText},
                                     {u"1 - comInputModeBinary", kInputModeBinary}}),
        browserList(kDispPriority, {{u"0 - Very Low", 0},
                                    {u"1 - Low", 1},
                                    {u"2 - Medium", 2},
                                    {u"3 - High", 3},
                                    {u"4 - Very High", 4},
                                    {u"5 - Ultra High", 5}}),
        // Every value off the list shows as the first entry.
        browserList(kDispComType,
                    {{u"0 - RS-232/422", kComTypeRs232},
                     {u"1 - RS-485", kComTypeRs485},
                     {u"10 - ISDN/CAPI", kComTypeIsdn},
                     {u"21 - TCP/IP Server", kComTypeTcpServer},
                     {u"22 - TCP/IP Client", kComTypeTcpClient}},
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

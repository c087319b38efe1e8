// The control's dispatch interface: every DISPID, its member, access and help text.
#include "control/object/vort_ctrl.h"
#include "vort/dispids.h"

namespace vort {

using component::DispatchTable;
using component::VT_BOOL;
using component::VT_I2;

const DispatchTable<CVortCtrl>& CVortCtrl::table() {
    using C = CVortCtrl;
    static const DispatchTable<C> t =
        DispatchTable<C>()
            .property(
                kDispBreak, "Break", &C::breakState, &C::setBreakState,
                {.runTimeOnly = true, .declaredType = VT_BOOL, .help = "Sends a Break signal"})
            .property(kDispCDTimeout, "CDTimeout", &C::cdTimeout, &C::setCdTimeout,
                      {.help =
                           "Defines the maximum time (in milliseconds) which the control waits for "
                           "the Data Carrier Detect signal before timing out"})
            .readOnly(kDispCDHolding, "CDHolding", &C::cdHolding,
                      {.runTimeOnly = true, .help = "Returns the state of the CD signal"})
            .readOnly(kDispCommEvent, "CommEvent", &C::commEvent,
                      {.runTimeOnly = true, .help = "Returns the last communication event"})
            .readOnly(kDispCommID, "CommID", &C::commId,
                      {.runTimeOnly = true, .help = "Returns the communication device ID"})
            .property(kDispCommPort, "CommPort", &C::commPort, &C::setCommPort,
                      {.help = "Defines  the communication device port number"})
            .readOnly(kDispCTSHolding, "CTSHolding", &C::ctsHolding,
                      {.runTimeOnly = true, .help = "Returns the state of the CTS signal"})
            .property(kDispCTSTimeout, "CTSTimeout", &C::ctsTimeout, &C::setCtsTimeout,
                      {.help = "Defines the amount of milliseconds the control waits for the CTS "
                               "signal before timing out"})
            .readOnly(kDispDSRHolding, "DSRHolding", &C::dsrHolding,
                      {.runTimeOnly = true, .help = "Returns the state of the DSR signal"})
            .property(kDispDSRTimeout, "DSRTimeout", &C::dsrTimeout, &C::setDsrTimeout,
                      {.help = "Defines the amount of milliseconds the control waits for the DSR "
                               "signal before timing out"})
            .property(kDispDTREnable, "DTREnable", &C::dtrEnable, &C::setDtrEnable,
                      {.help = "Determines whether to enable the DTR line"})
            .property(
                kDispHandshaking, "Handshaking", &C::handshaking, &C::setHandshaking,
                {.help = "Defines the hardware handshaking", .enumName = "VORTOCX_HANDSHAKING"})
            .property(kDispInBufferCount, "InBufferCount", &C::inBufferCount, &C::setInBufferCount,
                      {.runTimeOnly = true,
                       .help = "Returns the number of bytes waiting in the receive buffer"})
            .property(kDispInBufferSize, "InBufferSize", &C::inBufferSize, &C::setInBufferSize,
                      {.declaredType = VT_I2, .help = "Defines the size of the input buffer"})
            .property(kDispOutBufferCount, "OutBufferCount", &C::outBufferCount,
                      &C::setOutBufferCount,
                      {.runTimeOnly = true,
                       .help = "Returns the number of bytes waiting in the receive buffer"})
            .property(kDispOutBufferSize, "OutBufferSize", &C::outBufferSize, &C::setOutBufferSize,
                      {.declaredType = VT_I2, .help = "Defines the size of the output buffer"})
            .property(kDispRThreshold, "RThreshold", &C::rThreshold, &C::setRThreshold,
                      {.help = "Defines how many characters should arrive bevor the Vort sends the "
                               "OnComm event"})
            .property(kDispRTSEnable, "RTSEnable", &C::rtsEnable, &C::setRtsEnable,
                      {.help = "Determines whether to enable the RTS line"})
            .property(kDispSettings, "Settings", &C::settings, &C::setSettings,
                      {.help = "Determines the communications parameter"})
            .property(
                kDispSThreshold, "SThreshold", &C::sThreshold, &C::setSThreshold,
                {.help =
                     "Defines the number of characters below which Vort sends the OnComm event"})
            .readOnly(kDispInput, "Input", &C::input,
                      {.runTimeOnly = true,
                       .help = "Reads InputLen characters out of the receive buffer"})
            .writeOnly(
                kDispOutput, "Output", &C::setOutput,
                {.runTimeOnly = true, .help = "Writes a character string into the transmit buffer"})
            .property(kDispInputLen, "InputLen", &C::inputLen, &C::setInputLen,
                      {.help = "Defines how many characters the Input property reads out of the "
                               "receive buffer"})
            .property(kDispPortOpen, "PortOpen", &C::portOpen, &C::setPortOpen,
                      {.runTimeOnly = true, .help = "Open/close the specified port"})
            .property(kDispXONChar, "XONChar", &C::xonChar, &C::setXonChar, {.hidden = true})
            .property(kDispXOFFChar, "XOFFChar", &C::xoffChar, &C::setXoffChar, {.hidden = true})
            .property(kDispInterval, "Interval", &C::interval, &C::setInterval,
                      {.runTimeOnly = true, .help = "Defines the polling Interval"})
            .property(kDispProtocol, "Protocol", &C::protocol, &C::setProtocol,
                      {.help = "Defines the software protocol", .enumName = "VORTOCX_PROTOCOLS"})
            .property(kDispModemPhoneNumber, "ModemPhoneNumber", &C::modemPhoneNumber,
                      &C::setModemPhoneNumber,
                      {.help = "Defines the telephone number of the connection"})
            .property(kDispModemAnswerString, "ModemAnswerString", &C::modemAnswerString,
                      &C::setModemAnswerString, {.help = "Defines the modem answer string"})
            .property(kDispModemInitString, "ModemInitString", &C::modemInitString,
                      &C::setModemInitString, {.help = "Defines the modem init string"})
            .property(kDispModemConnect, "ModemConnect", &C::modemConnect, &C::setModemConnect,
                      {.runTimeOnly = true, .help = "Connects via the modem"})
            .property(kDispModemTimeout, "ModemTimeout", &C::modemTimeout, &C::setModemTimeout,
                      {.help = "Defines the modem connect timeout value"})
            .readOnly(kDispModemResult, "ModemResult", &C::modemResult,
                      {.runTimeOnly = true, .help = "Returns the modem messages"})
            .property(kDispFileName, "FileName", &C::fileName, &C::setFileName,
                      {.help = "Get/Sets the file name"})
            .readOnly(kDispFileSize, "FileSize", &C::fileSize,
                      {.runTimeOnly = true, .help = "Get/Sets the file size"})
            .property(kDispFileTransmit, "FileTransmit", &C::fileTransmit, &C::setFileTransmit,
                      {.runTimeOnly = true, .help = "Starts file transmission"})
            .property(kDispFileReceive, "FileReceive", &C::fileReceive, &C::setFileReceive,
                      {.runTimeOnly = true, .help = "Starts file reception"})
            .property(kDispJobProcessing, "JobProcessing", &C::jobProcessing, &C::setJobProcessing,
                      {.runTimeOnly = true, .help = "Returns the Job status"})
            .property(kDispFileDownLoadDir, "FileDownLoadDir", &C::fileDownLoadDir,
                      &C::setFileDownLoadDir, {.help = "Defines the download directory"})
            .property(kDispParityReplace, "ParityReplace", &C::parityReplace, &C::setParityReplace,
                      {.help = "Defines the parity replace char"})
            .readOnly(kDispComErrors, "ComErrors", &C::comErrors, {.runTimeOnly = true})
            .property(kDispNullDiscard, "NullDiscard", &C::nullDiscard, &C::setNullDiscard,
                      {.help = "Defines if null chars are to be discarded"})
            .property(kDispInputMode, "InputMode", &C::inputMode, &C::setInputMode,
                      {.help = "Defines the input mode (text,bin)", .enumName = "COMM_INPUTMODE"})
            .readOnly(kDispZRelease, "ZRelease", &C::zRelease,
                      {.help = "Returns the software release"})
            .property(kDispS3964Master, "S3964Master", &C::s3964Master, &C::setS3964Master,
                      {.runTimeOnly = true})
            .property(kDispS3964UseBCC, "S3964UseBCC", &C::s3964UseBcc, &C::setS3964UseBcc,
                      {.runTimeOnly = true})
            .property(kDispS3964TQ, "S3964TQ", &C::s3964Tq, &C::setS3964Tq, {.runTimeOnly = true})
            .property(kDispS3964TZ, "S3964TZ", &C::s3964Tz, &C::setS3964Tz, {.runTimeOnly = true})
            .property(kDispS3964Retry, "S3964Retry", &C::s3964Retry, &C::setS3964Retry,
                      {.runTimeOnly = true})
            .property(kDispPriority, "Priority", &C::priority, &C::setPriority,
                      {.help = "Inreases or decreases the internal Serilon thread priority",
                       .enumName = "VORTOCX_PRIORITY"})
            .property(kDispComType, "ComType", &C::comType, &C::setComType,
                      {.help = "Defines the hardware type", .enumName = "VORTOCX_COMTYPE"})
            .property(kDispYieldState, "YieldState", &C::yieldState, &C::setYieldState,
                      {.help = "Defines the Serilon YieldState"})
            .method(kDispComOutput, "ComOutput", &C::ComOutput, {"hWnd", "lpData", "cbData"})
            .method(kDispComInput, "ComInput", &C::ComInput, {"hWnd", "lpData", "cbData"})
            .method(kDispPortPresent, "PortPresent", &C::PortPresent, {"PortNumber"})
            .readOnly(kDispHWnd, "hWnd", &C::hWnd)
            .method(kDispAboutBox, "AboutBox", &C::AboutBox);
    return t;
}

} // namespace vort

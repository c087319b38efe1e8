// Dispatch identifiers of the control's interface and of its event interface.
// They are fixed: hosts call the control by these numbers.
#pragma once

#include <cstdint>

namespace vort {

enum Dispid : int32_t {
    kDispBreak = 1,
    kDispCDTimeout = 2,
    kDispCDHolding = 3,
    kDispCommEvent = 4,
    kDispCommID = 5,
    kDispCommPort = 6,
    kDispCTSHolding = 7,
    kDispCTSTimeout = 8,
    kDispDSRHolding = 9,
    kDispDSRTimeout = 10,
    kDispDTREnable = 11,
    kDispHandshaking = 12,
    kDispInBufferCount = 13,
    kDispInBufferSize = 14,
    kDispOutBufferCount = 15,
    kDispOutBufferSize = 16,
    kDispRThreshold = 17,
    kDispRTSEnable = 18,
    kDispSettings = 19,
    kDispSThreshold = 20,
    kDispInput = 21,
    kDispOutput = 22,
    kDispInputLen = 23,
    kDispPortOpen = 24,
    kDispXONChar = 25,
    kDispXOFFChar = 26,
    kDispInterval = 27,
    kDispProtocol = 28,
    kDispModemPhoneNumber = 29,
    kDispModemAnswerString = 30,
    kDispModemInitString = 31,
    kDispModemConnect = 32,
    kDispModemTimeout = 33,
    kDispModemResult = 34,
    kDispFileName = 35,
    kDispFileSize = 36,
    kDispFileTransmit = 37,
    kDispFileReceive = 38,
    kDispJobProcessing = 39,
    kDispFileDownLoadDir = 40,
    kDispParityReplace = 41,
    kDispComErrors = 42,
    kDispNullDiscard = 43,
    kDispInputMode = 44,
    kDispZRelease = 45,
    kDispS3964Master = 46,
    kDispS3964UseBCC = 47,
    kDispS3964TQ = 48,
    kDispS3964TZ = 49,
    kDispS3964Retry = 50,
    kDispPriority = 51,
    kDispComType = 52,
    kDispYieldState = 53,
    kDispComOutput = 54,
    kDispComInput = 55,
    kDispPortPresent = 56,
    kDispHWnd = -515,
    kDispAboutBox = -552,
};

enum EventDispid : int32_t {
    kEventOnComm = 1,
    kEventOnModem = 2,
    kEventOnFileInfo = 3,
};

} // namespace vort

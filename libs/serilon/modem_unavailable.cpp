// Modem and connection-type calls. Not yet available in this library: each reports
// SERIAL_E_UNSUPPORTED until modem, ISDN and TCP connections are built.
#include "control/libs/serilon.h"

extern "C" {

int32_t ModemCommand(int32_t, const char*) {
    return SERIAL_E_UNSUPPORTED;
}

int32_t ModemDial(int32_t, const char*) {
    return SERIAL_E_UNSUPPORTED;
}

// Its result means "connected" when nonzero, so the unsupported case reports 0 (not
// connected) with an empty result line; a status code here would read as a connection.
int32_t ModemWaitConnect(int32_t, int32_t, int32_t, char* resultText, ModemInfoProcFn) {
    if (resultText) {
        resultText[0] = '\0';
    }
    return 0;
}

int32_t ModemHangUp(int32_t) {
    return SERIAL_E_UNSUPPORTED;
}

int32_t ModemAbort(int32_t) {
    return SERIAL_E_UNSUPPORTED;
}

int32_t ComTypeControl(int32_t, void*) {
    return SERIAL_E_UNSUPPORTED;
}

int32_t ComConnectInfo(int32_t, void*) {
    return SERIAL_E_UNSUPPORTED;
}

int32_t NetAdoptSocket(int32_t, intptr_t) {
    return SERIAL_E_UNSUPPORTED;
}

} // extern "C"

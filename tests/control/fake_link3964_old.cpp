// A 3964 link library with every function but too old a version (1.83), so that the
// control refuses it. The library's header is included so that every definition must
// match its declaration (C functions of one name cannot differ in type).
#include <cstdint>

#include "link3964/link3964.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT uint16_t RS_3964Version() {
    return 0x0153;
}
EXPORT int32_t RS_SetTQTZ(int32_t, int32_t, int32_t) {
    return 0;
}
EXPORT int32_t RS_SetMZ1MZ2(int32_t, int32_t, int32_t) {
    return 0;
}
EXPORT uint8_t RS_TX3964R(int32_t, const uint8_t*, uint16_t, int32_t* s, uint8_t, int32_t,
                          int32_t) {
    *s = LINK3964_NO_CONNECTION;
    return 0;
}
EXPORT uint8_t RS_RX3964R(int32_t, uint8_t*, uint16_t*, int32_t* s, int32_t, uint8_t*, int32_t) {
    *s = LINK3964_NOTHING_RECEIVED;
    return 0;
}
EXPORT uint8_t RS_TXFile_3964R(int32_t, const char*, int32_t* s) {
    *s = LINK3964_FILE_ERROR;
    return 0;
}
EXPORT uint8_t RS_RXFile_3964R(int32_t, const char*, int32_t* s) {
    *s = LINK3964_FILE_ERROR;
    return 0;
}

// The C exports of the transfer library.
#include "control/libs/serilon.h"
#include "control/libs/transvex.h"

extern "C" {

int32_t XferWaitQueue(int32_t commId, int32_t dir, int32_t timeoutMs) {
    if (dir != SERIAL_DIR_INPUT && dir != SERIAL_DIR_OUTPUT) {
        return 0;
    }
    if (timeoutMs < 0) {
        timeoutMs = 0;
    }
    // The wait is on a change of the count seen now, so a queue that moves
    // between these two calls ends the wait at once instead of being missed.
    const int32_t now = SerialQueueCount(commId, dir);
    return SerialWaitQueue(commId, dir, now, timeoutMs);
}

} // extern "C"

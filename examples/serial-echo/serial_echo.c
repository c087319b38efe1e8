/* serial-echo: a line terminal over the serial core library.
 *
 *   serial-echo PORT [BAUD]
 *
 * Opens port PORT (1..255, mapped to a device by the serial core's port map) at BAUD
 * (default 9600), 8 data bits, no parity, 1 stop bit. Each line read on standard input
 * is sent to the port ended with CR; each line the port sends back is echoed to
 * standard output. After the end of the input it waits until the port has been quiet
 * for half a second, then closes the port. Exit status 0, or 1 when the port cannot be
 * opened or set (the serial core's reason is printed). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <serilon/serilon.h>

enum { kQuietMs = 500 };

static char pending[4096];
static size_t pendingLength;

/* Prints the complete lines received so far (CR, LF or both end a line). */
static void echoReceived(int32_t commId, int flushAll) {
    char buf[512];
    uint16_t got = 0;
    while (SerialRead(commId, buf, sizeof buf, &got) == SERIAL_OK && got > 0) {
        for (uint16_t i = 0; i < got; ++i) {
            char c = buf[i];
            if (c == '\r' || c == '\n') {
                if (pendingLength > 0)
                    printf("%.*s\n", (int)pendingLength, pending);
                pendingLength = 0;
            } else if (pendingLength < sizeof pending) {
                pending[pendingLength++] = c;
            }
        }
    }
    if (flushAll && pendingLength > 0) {
        printf("%.*s\n", (int)pendingLength, pending);
        pendingLength = 0;
    }
    fflush(stdout);
}

/* Waits until nothing has arrived for quietMs, echoing what comes meanwhile. */
static void echoUntilQuiet(int32_t commId, int32_t quietMs) {
    for (;;) {
        int32_t before = SerialQueueCount(commId, SERIAL_DIR_INPUT);
        int32_t after = SerialWaitQueue(commId, SERIAL_DIR_INPUT, before, quietMs);
        echoReceived(commId, 0);
        if (after == before)
            return;
    }
}

static int fail(int32_t commId, const char* what) {
    char reason[256];
    SerialErrorText(commId, reason, sizeof reason);
    fprintf(stderr, "serial-echo: %s: %s\n", what, reason);
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: serial-echo PORT [BAUD]\n");
        return 2;
    }
    int port = atoi(argv[1]);
    int baud = argc > 2 ? atoi(argv[2]) : 9600;
    if (port < 1 || port > 255 || baud <= 0) {
        fprintf(stderr, "serial-echo: PORT is 1..255 and BAUD a positive number\n");
        return 2;
    }
    int32_t commId = port - 1;
    if (SerialOpenPort(commId) != SERIAL_OK)
        return fail(commId, "cannot open the port");
    if (SerialSetLine(commId, baud, 8, 1, 'N', 0) != SERIAL_OK) {
        SerialClosePort(commId);
        return fail(commId, "cannot set the line");
    }

    char line[1024];
    while (fgets(line, sizeof line, stdin)) {
        size_t n = strcspn(line, "\r\n");
        line[n++] = '\r';
        for (size_t sent = 0; sent < n;) {
            uint16_t taken = 0;
            if (SerialWrite(commId, line + sent, (uint16_t)(n - sent), &taken) != SERIAL_OK) {
                SerialClosePort(commId);
                return fail(commId, "cannot send");
            }
            sent += taken;
            if (taken == 0) /* the output queue is full: wait until it moves */
                SerialWaitQueue(commId, SERIAL_DIR_OUTPUT,
                                SerialQueueCount(commId, SERIAL_DIR_OUTPUT), 1000);
        }
        echoUntilQuiet(commId, kQuietMs);
    }
    echoUntilQuiet(commId, kQuietMs);
    echoReceived(commId, 1);
    SerialClosePort(commId);
    return 0;
}

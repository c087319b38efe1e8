/*
 * libserilon: the serial core library.
 *
 * Every port, modem and network connection is addressed by a comm id, 0..254
 * (port number - 1). Port numbers map to device paths through the map file
 * $XDG_CONFIG_HOME/serilon/ports.conf (else ~/.config/serilon/ports.conf), lines
 * "COM<n>=<path>"; without an entry port n is /dev/ttyS<n-1>. A map path that holds
 * something other than a regular file (a FIFO, a device, a directory) is never opened:
 * opening a port then fails with SERIAL_E_INVALID, its text naming the path and what is
 * there, and SerialPortState says SERIAL_PORT_ABSENT.
 *
 * Per-process override: when the environment variable SERILON_PORT_MAP names a file
 * (an absolute path), its "COM<n>=" lines are read before the user's map and win over
 * it, port by port; the user's map still gives the ports it does not name. A program
 * uses it to reach a device by a free port number without touching the user's map (the
 * command line's --device). The override file follows the map file's rules (never
 * opened when it is not a regular file; then the port fails with that text).
 *
 * Thread rules: every call may be made from any thread. Per open comm id the
 * library runs its own threads: thread 0 reads the device into the input queue and
 * calls the event procedure, thread 1 writes the output queue to the device. The
 * event procedure is only ever called from thread 0, one call at a time per comm id,
 * and may call back into the library for the same comm id, except SerialClosePort,
 * SerialOpenPort and SerialSetEventProc. Thread 0 has a stack of 512 KiB, the others
 * 128 KiB. The threads of a closed comm id are kept for comm ids opened later while
 * any comm id stays open, and end when the last one closes (so a
 * thread id SerialThreadHandle gave may come back); what was changed on them (signal
 * mask, nice value) is undone first, or the thread ends.
 * On devices with modem lines a further thread
 * waits for line changes; to wake it at close the library installs a do-nothing
 * handler for the real-time signal SIGRTMIN+4, only when the program left that signal
 * at its default (otherwise that thread looks at the lines every 50 ms).
 *
 * Results: unless stated otherwise a call returns SERIAL_OK (0) or one of the
 * SERIAL_E_* codes below; SerialErrorText gives the text of the last failure of a
 * comm id, with the operating system's own reason. A call on a comm id that is not
 * open returns SERIAL_E_NOT_OPEN (counts and flags: 0) and does not replace that text,
 * so the reason of a failed open stays readable after the calls that follow it.
 */
#ifndef SERILON_H
#define SERILON_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SERILON_API __attribute__((visibility("default")))

enum {
    SERIAL_MAX_COMM_ID = 254,
    SERIAL_COMM_IDS = 255,
    SERIAL_USER_SLOTS = 8,
};

/* dir arguments */
enum { SERIAL_DIR_INPUT = 0, SERIAL_DIR_OUTPUT = 1 };

/* Status codes: a small closed set. SERIAL_E_* other than SERIAL_OK are failures. */
typedef enum SerialStatus {
    SERIAL_OK = 0,
    SERIAL_E_BAD_ID = 1,       /* comm id outside 0..254 */
    SERIAL_E_NOT_OPEN = 2,     /* the comm id is not open */
    SERIAL_E_NO_DEVICE = 3,    /* the device path does not exist (ENOENT, ENODEV, ENXIO) */
    SERIAL_E_BUSY = 4,         /* the device is held by another program or comm id */
    SERIAL_E_PERMISSION = 5,   /* no permission to open the device (EACCES, EPERM) */
    SERIAL_E_NOT_A_TTY = 6,    /* the path is not a terminal device */
    SERIAL_E_INVALID = 7,      /* an argument the device or the library rejects */
    SERIAL_E_HUNG_UP = 8,      /* the device went away while open */
    SERIAL_E_IO = 9,           /* any other operating-system failure */
    SERIAL_E_RESOURCES = 10,   /* out of memory, threads or descriptors */
    SERIAL_E_UNSUPPORTED = 11, /* the device has no such feature (modem lines on a pty) */
    SERIAL_E_TIMEOUT = 12,
    SERIAL_E_ABORTED = 13,
    SERIAL_E_IN_USE = 14, /* the comm id is already open in this process */
} SerialStatus;

/* Flow-control flags (SerialSetLine, SerialSetFlow, SerialGetFlow). RTS/CTS and
   XON/XOFF are done by the kernel; with DTR/DSR the library holds output while DSR is
   low, on devices that have modem lines. */
enum {
    SERIAL_FLOW_RTSCTS = 0x10,
    SERIAL_FLOW_DTRDSR = 0x20,
    SERIAL_FLOW_XONXOFF = 0x80,
};

/* Event mask bits handed to the event procedure and filtered by SerialSetMode. */
enum {
    SERIAL_EV_RXCHAR = 0x001,     /* bytes entered the input queue */
    SERIAL_EV_RXFLAG = 0x002,     /* receive report for telegram mode (SERIAL_MODE_TELEGRAM) */
    SERIAL_EV_TXEMPTY = 0x004,    /* the output queue ran empty */
    SERIAL_EV_CTS = 0x008,        /* CTS changed */
    SERIAL_EV_DSR = 0x010,        /* DSR changed */
    SERIAL_EV_CD = 0x020,         /* carrier changed, or the device/connection went away */
    SERIAL_EV_BREAK = 0x040,      /* a break was received */
    SERIAL_EV_LINE_ERROR = 0x080, /* overrun, parity or framing error: see SerialLineErrors */
    SERIAL_EV_RING = 0x100,       /* ring indicator, or an incoming connection */
    SERIAL_EV_RX80FULL = 0x400,   /* the input queue passed 80 % of its set size */
    SERIAL_EV_ALL = 0x5FF,
};

/* SerialSetMode option bits. */
enum {
    SERIAL_MODE_TELEGRAM = 0x02, /* every receive report also carries SERIAL_EV_RXFLAG */
};

/* SerialLineErrors bits (read and cleared by the call). */
enum {
    SERIAL_ERR_OVERRUN = 2,
    SERIAL_ERR_PARITY = 4,
    SERIAL_ERR_FRAMING = 8,
    SERIAL_ERR_BREAK = 16,
};

/* SerialModemStatus bits. */
enum {
    SERIAL_MS_CTS = 0x10,
    SERIAL_MS_DSR = 0x20,
    SERIAL_MS_RING = 0x40,
    SERIAL_MS_CD = 0x80,
};

/* SerialOutputLines bits. */
enum { SERIAL_LINE_DTR = 0x01, SERIAL_LINE_RTS = 0x02 };

/* SerialPortState results. */
enum { SERIAL_PORT_ABSENT = 0, SERIAL_PORT_READY = 1, SERIAL_PORT_BUSY = 2 };

/*
 * Device configuration record (SerialReadConfig / SerialWriteConfig), 52 bytes,
 * little-endian, packed. The layout follows the classic device-control block so
 * that callers address XON at byte 21 and XOFF at byte 22.
 */
#pragma pack(push, 1)
typedef struct SerialConfigRecord {
    uint32_t length;       /*  0: set to sizeof(SerialConfigRecord) by SerialReadConfig */
    uint32_t baud;         /*  4 */
    uint32_t flags;        /*  8: SERIAL_CFG_* bits */
    uint16_t reserved0;    /* 12 */
    uint16_t xonLimit;     /* 14: bytes in the input queue below which input resumes */
    uint16_t xoffLimit;    /* 16: free bytes in the input queue below which input stops */
    uint8_t dataBits;      /* 18: 5..8 */
    uint8_t parity;        /* 19: 0 none, 1 odd, 2 even, 3 mark, 4 space */
    uint8_t stopBits;      /* 20: 0 one, 1 one and a half, 2 two */
    char xonChar;          /* 21 */
    char xoffChar;         /* 22 */
    char errorChar;        /* 23: replaces a byte received with a parity or framing error */
    char eofChar;          /* 24 */
    char eventChar;        /* 25 */
    uint8_t reserved1[26]; /* 26..51 */
} SerialConfigRecord;
#pragma pack(pop)

/* SerialConfigRecord.flags */
enum {
    SERIAL_CFG_BINARY = 0x0001,
    SERIAL_CFG_PARITY_CHECK = 0x0002,
    SERIAL_CFG_OUT_CTS_FLOW = 0x0004,
    SERIAL_CFG_OUT_DSR_FLOW = 0x0008,
    SERIAL_CFG_OUT_XON = 0x0100,
    SERIAL_CFG_IN_XON = 0x0200,
    SERIAL_CFG_ERROR_CHAR = 0x0400,  /* replace bytes received with errors by errorChar */
    SERIAL_CFG_DISCARD_NUL = 0x0800, /* drop received NUL bytes */
    SERIAL_CFG_RTS_FLOW = 0x2000,
    SERIAL_CFG_DTR_FLOW = 0x0020,
};

/* Called from library thread 0 with the SERIAL_EV_* bits that occurred since the
   previous call (filtered by the mode mask). The result is passed back to the
   connection type (for SERIAL_EV_RING a nonzero result refuses the connection). */
typedef int32_t (*SerialEventProc)(int32_t commId, int32_t mask);

/* Progress of a modem wait: action, milliseconds left; returning 0 stops the wait. */
typedef int32_t (*ModemInfoProcFn)(int32_t commId, int32_t action, int32_t timeLeftMs,
                                   int32_t reserved);

/* ---- Port ---------------------------------------------------------------- */

/* Opens the device that comm id's port number maps to, takes it exclusively
   (TIOCEXCL and an advisory lock), puts it in raw mode and starts the comm id's
   threads. Returns the status, which SerialOpenStatus also reports afterwards;
   a failed open leaves the comm id closed. */
SERILON_API int32_t SerialOpenPort(int32_t commId);
/* 0 while the open comm id is usable; otherwise the status of the failed open or
   SERIAL_E_HUNG_UP once the device has gone away. */
SERILON_API int32_t SerialOpenStatus(int32_t commId);
/* Closes the comm id. A serial device or TCP connection first lets the output still
   queued go out, as close(2) on a terminal does: the call waits while the library's
   queue (and then what the kernel holds for a serial line) still moves towards the
   device, and gives up after 2 s without progress or 10 s in all, at once on a
   hang-up; what is left then is dropped. A hung-up or flow-stopped port therefore
   holds a close for 2 s at most. Meanwhile the event procedure may still be called.
   A TCP server or ISDN comm id drops its queued output at once. Then the comm id's
   threads stop and the device is closed. Harmless on a closed comm id (returns
   SERIAL_E_NOT_OPEN). Must not be called from thread 0: there it returns
   SERIAL_E_INVALID and closes nothing. */
SERILON_API int32_t SerialClosePort(int32_t commId);
/* Nonzero while the comm id is open (also after a hang-up, until closed). */
SERILON_API int32_t SerialInUse(int32_t commId);
/* For a port NUMBER (1..255): SERIAL_PORT_ABSENT, _READY or _BUSY. Looks without
   changing the device's settings; a device held by another program or comm id, or
   one this user may not open, is _BUSY; other numbers are _ABSENT. */
SERILON_API int32_t SerialPortState(int32_t portNumber);
/* Highest baud the open device accepts (a UART's base clock, else 4,000,000);
   0 when not open. */
SERILON_API int32_t SerialMaxBaud(int32_t commId);
/* Writes the text of the comm id's last failure (or of the last failed open) into
   buf, NUL-terminated and cut to size; returns its status (SERIAL_OK and an empty
   text when there was none; SERIAL_E_INVALID without a buffer). The text names the
   device and the reason in words a Linux user can act on. */
SERILON_API int32_t SerialErrorText(int32_t commId, char* buf, int32_t size);
/* Writes the device path that port NUMBER maps to; returns SERIAL_OK, or
   SERIAL_E_BAD_ID for a number outside 1..255, SERIAL_E_INVALID without a buffer. */
SERILON_API int32_t SerialDevicePath(int32_t portNumber, char* buf, int32_t size);

/* ---- Line ---------------------------------------------------------------- */

/* baud > 0; dataBits 5..8; stopBits 1 or 2 (2 with 5 data bits means 1.5);
   parity 'E','M','N','O','S'; flow SERIAL_FLOW_* bits. The requested values are
   kept and read back as given; the device takes what it can (a pseudo-terminal
   keeps speed and stop bits, and ignores data bits and parity). Out-of-range values
   give SERIAL_E_INVALID and change nothing. After a hang-up the values are kept and
   the call returns SERIAL_E_HUNG_UP. */
SERILON_API int32_t SerialSetLine(int32_t commId, int32_t baud, int32_t dataBits, int32_t stopBits,
                                  char parity, int32_t flow);
SERILON_API int32_t SerialSetFlow(int32_t commId, int32_t flow);
/* The flow flags in force; 0 when not open. */
SERILON_API int32_t SerialGetFlow(int32_t commId);
SERILON_API int32_t SerialDtrOn(int32_t commId);
SERILON_API int32_t SerialDtrOff(int32_t commId);
SERILON_API int32_t SerialRtsOn(int32_t commId);
SERILON_API int32_t SerialRtsOff(int32_t commId);
/* SERIAL_LINE_* bits as last set (kept by the library, so also on a pty). */
SERILON_API int32_t SerialOutputLines(int32_t commId);
SERILON_API int32_t SerialBreakOn(int32_t commId);
SERILON_API int32_t SerialBreakOff(int32_t commId);
/* SERIAL_MS_* bits; 0 when the device has no modem lines or is not open. */
SERILON_API int32_t SerialModemStatus(int32_t commId);
/* 1 when the open device has modem status lines (a real UART), 0 otherwise. */
SERILON_API int32_t SerialHasModemLines(int32_t commId);
/* Nonzero while carrier is present or the connection lives. A device without
   modem lines counts as connected until it hangs up. */
SERILON_API int32_t SerialCarrier(int32_t commId);
/* SERIAL_ERR_* bits seen since the previous call; the call clears them. */
SERILON_API int32_t SerialLineErrors(int32_t commId);
/* Fills the record from the settings in force and sets its length. A length field
   of 26..51 set by the caller (the classic 28-byte form) limits the bytes written to
   that many, which still holds every field; 1..25 gives SERIAL_E_INVALID; 0 or 52 and
   more fill all 52 bytes. */
SERILON_API int32_t SerialReadConfig(int32_t commId, SerialConfigRecord* record);
/* Applies a record, normally one read with SerialReadConfig and changed. The length
   field is not checked; baud 0, data bits outside 5..8, parity above 4 or stop bits
   above 2 give SERIAL_E_INVALID and change nothing. The error character, NUL discard,
   limits and characters are kept, so a later SerialSetLine does not lose them. */
SERILON_API int32_t SerialWriteConfig(int32_t commId, const SerialConfigRecord* record);
/* The device's file descriptor, -1 when not open. */
SERILON_API intptr_t SerialOsHandle(int32_t commId);

/* ---- Data ---------------------------------------------------------------- */

/* Queues up to len bytes for sending, as many as fit; *taken = bytes queued
   (taken may be NULL). Never blocks. After a hang-up it takes nothing and returns
   SERIAL_E_HUNG_UP. */
SERILON_API int32_t SerialWrite(int32_t commId, const void* data, uint16_t len, uint16_t* taken);
/* Takes up to len bytes from the input queue; *got = bytes taken (got may be NULL).
   Never blocks; after a hang-up it still gives the bytes already queued. */
SERILON_API int32_t SerialRead(int32_t commId, void* buf, uint16_t len, uint16_t* got);
/* Bytes waiting in the queue of dir; 0 when not open. The input queue may hold
   more than its set size (up to SERIAL_INPUT_HARD_LIMIT, beyond which the library
   stops reading and the rest waits in the kernel). */
SERILON_API int32_t SerialQueueCount(int32_t commId, int32_t dir);
/* Nonzero when the queue of dir has reached its limit (output: its set size;
   input: SERIAL_INPUT_HARD_LIMIT, where reading from the device pauses). */
SERILON_API int32_t SerialQueueFull(int32_t commId, int32_t dir);
/* Empties the queue of dir, together with what the kernel still holds for that
   direction. */
SERILON_API int32_t SerialFlushQueue(int32_t commId, int32_t dir);
/* Set sizes in bytes, each at least 16 (smaller: SERIAL_E_INVALID, nothing changes);
   larger values are cut to 1 MiB. A queue holding more than its new size keeps its
   bytes. */
SERILON_API int32_t SerialSetBuffers(int32_t commId, int32_t inSize, int32_t outSize);
/* The set size of dir's queue; 0 when not open. */
SERILON_API int32_t SerialBufferSize(int32_t commId, int32_t dir);
/* Blocks until the count of dir's queue differs from lastCount, the comm id
   closes or hangs up, or timeoutMs (>= 0; negative counts as 0) pass. Returns the
   count then (0 at once when the comm id is not open). */
SERILON_API int32_t SerialWaitQueue(int32_t commId, int32_t dir, int32_t lastCount,
                                    int32_t timeoutMs);

enum { SERIAL_INPUT_HARD_LIMIT = 1 << 20 };

/* ---- Events and threads -------------------------------------------------- */

/* Installs the event procedure of an open comm id; NULL removes it. When this
   returns, no call to the previous procedure is running or will start. When input is
   already waiting, the new procedure soon gets a SERIAL_EV_RXCHAR report for it, and
   a SERIAL_EV_CD no procedure heard (the connection ended before it had one) is
   reported to it as well. */
SERILON_API int32_t SerialSetEventProc(int32_t commId, SerialEventProc proc);
/* Per-comm-id slots 0..7, kept across open and close: slot 0 the owning control,
   slot 4 a TCP connection waiting to be adopted. */
SERILON_API int32_t SerialSetUserData(int32_t commId, int32_t slot, intptr_t value);
SERILON_API intptr_t SerialGetUserData(int32_t commId, int32_t slot);
/* Sets the SERIAL_EV_* mask passed to the event procedure and the SERIAL_MODE_*
   options; returns the previous mask (SERIAL_EV_ALL after open; 0 when the comm id
   is not open). Events outside the mask are dropped, not kept for later. */
SERILON_API int32_t SerialSetMode(int32_t commId, int32_t mask, int32_t option);
/* Kernel thread id (usable with setpriority) of thread 0 or 1; 0 when none (a TCP
   connection has no thread 1 until bytes first have to wait for its socket). */
SERILON_API intptr_t SerialThreadHandle(int32_t commId, int32_t which);
/* Tells the library its caller changed thread priorities; nothing to redo here. */
SERILON_API int32_t SerialPriorityNotice(int32_t commId);
/* Process-wide yield state: 1 (default) makes the library's own waits give up the
   processor between checks (SerialWaitPoll); it is stored as given and reported. */
SERILON_API int32_t SerialGetYield(void);
SERILON_API int32_t SerialSetYield(int32_t state);
/* Resets process-wide options to their defaults: option 0 all of them, 1 the yield
   state; other options give SERIAL_E_INVALID. */
SERILON_API int32_t SerialResetOption(int32_t option);
/* A calling thread's wait section: Enter/Leave nest (Leave never below 0) and return
   the new depth; Poll, inside a section and with the yield state set, gives other
   threads a turn; it returns the nesting depth. */
SERILON_API int32_t SerialWaitEnter(void);
SERILON_API int32_t SerialWaitPoll(void);
SERILON_API int32_t SerialWaitLeave(void);

/* ---- Time ---------------------------------------------------------------- */

/* Milliseconds on a monotonic clock (wraps after 49 days). */
SERILON_API uint32_t SerialTickStart(void);
/* Milliseconds since start, wrap-safe. */
SERILON_API uint32_t SerialTickElapsed(uint32_t start);
SERILON_API void SerialDelay(uint32_t ms);
/* A number that orders date-times: later gives larger. It is the seconds since
   1970-01-01 00:00:00 of the fields taken as UTC. Fields are not checked (a month
   outside 1..12 carries into the year; day, hour, minute and second count on). */
SERILON_API int64_t SerialPackTime(int32_t year, int32_t month, int32_t day, int32_t hour,
                                   int32_t minute, int32_t second);

/* ---- Modem (Hayes AT) ---------------------------------------------------- */

/* The modem calls talk to a Hayes modem on an open serial comm id through the same
   queues as SerialWrite and SerialRead: while one runs, the caller should not read the
   input queue itself. A failure's text is kept for SerialErrorText. */

/* Actions reported to a ModemInfoProcFn during ModemWaitConnect. */
enum {
    MODEM_ACTION_RING = 1,       /* the modem rang; the answer command went out */
    MODEM_ACTION_TIMEOUT = 2,    /* the time ran out without a connection (the wait ends) */
    MODEM_ACTION_WAITING = 32,   /* still waiting: at the start and about every second */
    MODEM_ACTION_CONNECTED = 33, /* CONNECT came */
    MODEM_ACTION_FAILED = 34,    /* a failure result came (BUSY, NO CARRIER, ...) */
};

/* Sends one command line (CR appended) and waits up to 3 s for the modem's reply.
   Returns SERIAL_OK for OK, SERIAL_E_INVALID for ERROR (or a text that is not one line
   of at most 255 characters without control characters), SERIAL_E_TIMEOUT for no
   reply. What the input queue held before is dropped. */
SERILON_API int32_t ModemCommand(int32_t commId, const char* text);
/* A number: sends "ATD" + number (a text already starting with ATD as it is) and
   returns at once. An answer command (any other text starting with AT, such as "ATA")
   is kept and sent by ModemWaitConnect when the modem rings. */
SERILON_API int32_t ModemDial(int32_t commId, const char* number);
/* Waits up to timeoutMs for CONNECT (mode is not used), reporting to proc (may be
   NULL) with MODEM_ACTION_*; proc returning 0 ends the wait. resultText (at least 81
   bytes, may be NULL) gets the modem's result line ("CONNECT 9600", "BUSY") or the
   library's own text: "TIMEOUT: no connection within <n> s", "ABORTED", "PORT CLOSED",
   "PORT NOT OPEN"; at most 80 characters. Returns 1 when connected, else 0. On a TCP
   comm id it returns at once: 1 and "CONNECTED" while the connection lives, else 0 and
   "NO CONNECTION" (ModemCommand and ModemDial give SERIAL_E_UNSUPPORTED there). */
SERILON_API int32_t ModemWaitConnect(int32_t commId, int32_t timeoutMs, int32_t mode,
                                     char* resultText, ModemInfoProcFn proc);
/* Hangs up: DTR dropped for 200 ms, then (after a connection) the escape "+++" with
   its guard times, then ATH. On a TCP comm id it ends the connection. */
SERILON_API int32_t ModemHangUp(int32_t commId);
/* Ends a running ModemWaitConnect (result "ABORTED") from any thread. */
SERILON_API int32_t ModemAbort(int32_t commId);

/* ---- Connection types ---------------------------------------------------- */

/* A comm id's connection type and parameters outlive open and close; SerialOpenPort
   opens by type: 0 and 1 the serial device, 22 a TCP connection to the host and port
   (5 s to connect), 21 a TCP server on the port (host empty: every address, IPv6 and
   IPv4), 10 ISDN through CAPI 2.0 (fails with SERIAL_E_NO_DEVICE, "no ISDN controller
   is available", where the machine has none; the environment variable
   SERILON_CAPI_LIBRARY names a CAPI library to use instead of libcapi20). On a TCP comm
   id SerialCarrier is 1 while
   the connection lives (a server with more than one connection: while it listens), the
   modem lines are absent and the line settings are kept only.

   A server with a connection limit of 1 carries its connection itself: each accepted
   connection is reported with SERIAL_EV_RING (a nonzero result of the event procedure
   refuses it), and when it ends SERIAL_EV_CD comes and the server listens again. Above
   1, each accepted connection is offered with SERIAL_EV_RING; ComConnectInfo on the
   server's comm id names it during that call, and the event procedure takes it over
   with NetAdoptSocket or leaves it, and then it is closed. Accepting pauses only while
   the limit of live connections is reached: a connection counts from its acceptance
   until its peer closes it, it is hung up or its comm id is closed, whichever comes
   first. A comm id that took over a connection whose peer has gone keeps the bytes the
   peer sent until it is closed (SerialOpenStatus gives SERIAL_E_HUNG_UP).

   An ISDN comm id listens on its controller from the open on: a call whose called
   number ends with the own extension (an empty one takes every call) is reported with
   SERIAL_EV_RING, ComConnectInfo naming its numbers during that call; a nonzero result
   of the event procedure leaves the call to others, else it is accepted. ModemDial
   places a call (digits, * and #; "ATD" before them is dropped, another "AT" text dials
   nothing), ModemWaitConnect waits for the B channel ("CONNECT 64000", or "NO CARRIER: "
   and the network's reason) and ModemHangUp ends the call; ModemCommand gives
   SERIAL_E_UNSUPPORTED. SerialCarrier is 1 while the transparent B channel is up, and
   SERIAL_EV_CD comes when it comes up and when it ends; data moves in blocks of at most
   2048 bytes with at most 7 unconfirmed, and received data waits with the controller
   while the input queue is at its hard limit. */

/* The records, little-endian and packed. */
#pragma pack(push, 1)
typedef struct SerialTcpRecord {  /* 70 bytes */
    int16_t request;              /*  0 */
    uint8_t type;                 /*  2: 21 server, 22 client (20 TCP) */
    uint8_t maxServerConnections; /*  3 */
    uint16_t port;                /*  4 */
    char host[64];                /*  6: IP address or host, up to 62 characters, NUL-terminated */
} SerialTcpRecord;
typedef struct SerialIsdnRecord { /* 51 bytes */
    int16_t request;              /*  0 */
    uint8_t type;                 /*  2: 10 */
    char ownExtension[20];        /*  3: up to 18 digits, NUL-terminated */
    int32_t controller;           /* 23 */
    int16_t cipValue;             /* 27 */
    uint32_t cipMask;             /* 29 */
    uint8_t reserved[18];         /* 33..50 */
} SerialIsdnRecord;
typedef struct SerialTcpConnectInfo { /* 70 bytes */
    int32_t handle;                   /*  0: the connection, for NetAdoptSocket */
    uint16_t port;                    /*  4: the peer's port */
    char peer[64];                    /*  6: the peer's IP address, NUL-terminated */
} SerialTcpConnectInfo;
typedef struct SerialIsdnCallInfo { /* 40 bytes */
    char called[20];
    char calling[20];
} SerialIsdnCallInfo;
#pragma pack(pop)

/* Request codes and the field bits of a write (0x100 + bits; the bits name TCP or
   ISDN fields by the record's type byte). */
enum {
    SERIAL_REQ_WRITE = 0x100,
    SERIAL_REQ_READ_TYPE = 0x200,
    SERIAL_REQ_READ_TCP = 0x12C,
    SERIAL_REQ_READ_ISDN = 0xDC0,
    SERIAL_REQ_READ_ISDN_CALL = 0x140,
    SERIAL_FIELD_HOST = 0x001,
    SERIAL_FIELD_PORT = 0x002,
    SERIAL_FIELD_LIMIT = 0x010,
    SERIAL_FIELD_EXTENSION = 0x001,
    SERIAL_FIELD_CONTROLLER = 0x002,
    SERIAL_FIELD_CIP_VALUE = 0x004,
    SERIAL_FIELD_CIP_MASK = 0x008,
};

/* record: a TCP (70 bytes) or ISDN (51 bytes) record, request code at offset 0
   (0x100 + field bits write, 0x200 type, 0x12C TCP, 0xDC0 ISDN, 0x140 own extension).
   The caller's record must be as long as the request's layout. */
SERILON_API int32_t ComTypeControl(int32_t commId, void* record);
/* TCP: buffer (70 bytes) gets I4 handle, U2 peer port at 4, peer IP text from 6.
   ISDN: buffer (40 bytes) gets the called and calling numbers. */
SERILON_API int32_t ComConnectInfo(int32_t commId, void* buffer);
/* Opens commId on the accepted connection with that handle (from ComConnectInfo of
   the server). An unknown handle gives SERIAL_E_INVALID; commId must not be open. A
   connection whose peer has already closed is opened all the same: its bytes are read
   in, then the comm id is hung up. */
SERILON_API int32_t NetAdoptSocket(int32_t commId, intptr_t handle);

/* Serial devices present on this machine, found through the system's device database
   (libudev) without opening them: opening raises DTR and RTS and can reset a device.
   What is listed: USB serial adapters (ttyUSB), USB CDC ACM devices (ttyACM), UARTs that
   really exist (ttyS, ttyAMA and the like with a driver behind them; the phantom ttyS
   nodes of absent 8250 ports are left out) and Bluetooth RFCOMM (rfcomm). */
typedef enum SerialDeviceKind {
    SERIAL_DEVICE_USB_SERIAL = 1, /* ttyUSB: USB serial adapter */
    SERIAL_DEVICE_USB_ACM = 2,    /* ttyACM: USB CDC ACM */
    SERIAL_DEVICE_UART = 3,       /* ttyS, ttyAMA...: a UART that really exists */
    SERIAL_DEVICE_RFCOMM = 4,     /* rfcomm: Bluetooth */
} SerialDeviceKind;

/* Every text is NUL-terminated; a text longer than its field is cut. */
typedef struct SerialDeviceInfo {
    int32_t kind;      /* SerialDeviceKind */
    int32_t inUse;     /* 1 when another open holds it: a lock on its inode in /proc/locks
                          (this library flocks what it opens) or a UUCP lock file
                          (/var/lock/LCK..<name>) of a living process; 0 otherwise */
    uint16_t vendorId; /* USB vendor and product id; 0 when not USB */
    uint16_t productId;
    char node[64];        /* "/dev/ttyUSB0" */
    char stableName[256]; /* "/dev/serial/by-id/..." else "/dev/serial/by-path/..." else "" */
    char vendor[128];     /* maker and product names as the device or the USB database
                             gives them; "" unknown */
    char product[128];
    char serial[128]; /* USB serial number; "" unknown */
    char driver[64];  /* kernel driver: "ftdi_sio", "cdc_acm", "serial8250"... */
} SerialDeviceInfo;

/* Lists the devices present, sorted by node (numbers in names in numeric order:
   ttyUSB2 before ttyUSB10). *count receives how many there are, which may exceed max:
   only min(max, count) entries are written; list may be NULL with max 0 to count.
   SERIAL_E_INVALID for a NULL count, a negative max or a NULL list with max > 0;
   SERIAL_E_IO when the device database cannot be read. */
SERILON_API int32_t SerialListDevices(SerialDeviceInfo* list, int32_t max, int32_t* count);
/* Resolves path (the node, a /dev/serial/by-id or by-path link, or any link to the
   node) to the device present there and fills *info as SerialListDevices would;
   SERIAL_E_NO_DEVICE when no listed device is there, SERIAL_E_INVALID for NULL
   arguments. */
SERILON_API int32_t SerialFindDevice(const char* path, SerialDeviceInfo* info);

/* Hot-plug watch: a pollable descriptor that becomes readable when a serial device of
   the kinds above is added or removed. Every call may be made from any thread; one
   watch is used by one thread at a time. SerialWatchDevices gives SERIAL_E_INVALID
   for a NULL watch and SERIAL_E_IO when the device database cannot be watched. */
enum { SERIAL_DEVICE_ADDED = 1, SERIAL_DEVICE_REMOVED = 2 };
SERILON_API int32_t SerialWatchDevices(intptr_t* watch);
/* The descriptor to poll for POLLIN; the watch owns it (never close it). -1 for a
   handle that is not a watch. */
SERILON_API int32_t SerialWatchFd(intptr_t watch);
/* Takes one waiting event and never blocks: SERIAL_OK with *action (SERIAL_DEVICE_*)
   and *info (for a removal, what the database still knew: node, stable name, serial
   number, ids; inUse 0), SERIAL_E_TIMEOUT when none waits (events of other devices
   are skipped). SERIAL_E_INVALID for an unknown handle or NULL arguments. */
SERILON_API int32_t SerialWatchNext(intptr_t watch, int32_t* action, SerialDeviceInfo* info);
/* Ends the watch and closes its descriptor; SERIAL_E_INVALID for an unknown handle. */
SERILON_API int32_t SerialUnwatchDevices(intptr_t watch);

/* Maps port number portNumber (1..255) to device in the user's map file (see the top
   comment): writes "COM<n>=<path>" with the device's stable by-id (else by-path) name
   when the device is present and has one, else the path as given (which must be
   absolute). The file is replaced atomically (a temporary file renamed over it), keeping
   every other line, the comments and the file's mode; the first line for the port is
   replaced and later lines for it dropped, or the line is added at the end; the folder
   is made when missing. SERIAL_E_INVALID for a port number outside 1..255, a path that is
   empty, relative or holds a newline or '#' after a blank, or a map path that holds no
   regular file; SERIAL_E_PERMISSION or SERIAL_E_IO when the file cannot be written.
   SerialDeviceErrorText tells why. */
SERILON_API int32_t SerialMapPort(int32_t portNumber, const char* device);
/* The text of the last failure of SerialListDevices, SerialFindDevice, SerialWatchDevices
   or SerialMapPort in the calling thread ("" when none), NUL-terminated and cut to
   size; returns the text's full length. */
SERILON_API int32_t SerialDeviceErrorText(char* buf, int32_t size);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(SerialTcpRecord) == 70 && offsetof(SerialTcpRecord, host) == 6, "TCP record");
static_assert(sizeof(SerialIsdnRecord) == 51 && offsetof(SerialIsdnRecord, controller) == 23 &&
                  offsetof(SerialIsdnRecord, cipValue) == 27 &&
                  offsetof(SerialIsdnRecord, cipMask) == 29,
              "ISDN record");
static_assert(sizeof(SerialTcpConnectInfo) == 70 && offsetof(SerialTcpConnectInfo, peer) == 6,
              "TCP info");
static_assert(sizeof(SerialIsdnCallInfo) == 40, "ISDN call info");
static_assert(sizeof(SerialConfigRecord) == 52, "configuration record is 52 bytes");
static_assert(sizeof(SerialDeviceInfo) == 780 && offsetof(SerialDeviceInfo, node) == 12,
              "device record");
static_assert(offsetof(SerialConfigRecord, xonChar) == 21, "XON at byte 21");
static_assert(offsetof(SerialConfigRecord, xoffChar) == 22, "XOFF at byte 22");
#else
_Static_assert(sizeof(SerialConfigRecord) == 52, "configuration record is 52 bytes");
#endif

#endif /* SERILON_H */

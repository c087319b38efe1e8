/*
 * libtransvex: file transfer protocols over a comm id of the serial core library.
 *
 * Each transfer call runs one complete transfer in the calling thread over a comm
 * id that is already open (libserilon), and reports through the caller's file-info
 * procedure. Calls for different comm ids may run at the same time in different
 * threads; one comm id carries one transfer at a time.
 */
#ifndef TRANSVEX_H
#define TRANSVEX_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TRANSVEX_API __attribute__((visibility("default")))

/* Size of the file-name buffer every transfer call takes (NUL-terminated). */
enum { XFER_NAME_SIZE = 512 };

/* The file-info record handed to the file-info procedure; packed, little-endian. */
#pragma pack(push, 1)
typedef struct XferFileInfo {
    char fileName[512]; /*   0: NUL-terminated */
    int16_t kind;       /* 512: XFER_KIND_* */
    int32_t size;       /* 514: file size in bytes (low 32 bits; 0 when unknown) */
    int16_t year;       /* 518: modification time in local time, year..second */
    int16_t month;      /* 520: 1..12, 0 when the time is unknown */
    int16_t day;        /* 522 */
    int16_t hour;       /* 524 */
    int16_t minute;     /* 526 */
    int16_t second;     /* 528 */
    int32_t options;    /* 530: XFER_OPT_* bits */
} XferFileInfo;
#pragma pack(pop)

/* XferFileInfo.kind: the protocol that carried the record's file. */
enum {
    XFER_KIND_NONE = 0, /* ASCII, XMODEM, XMODEM/CRC, YMODEM without header block */
    XFER_KIND_YMODEM_BATCH = 4,
    XFER_KIND_ZMODEM = 5,
    XFER_KIND_ZMODEM_SAVE = 6, /* never set by this library; callers treat it as ZMODEM */
};

/* Actions passed to the file-info procedure (low 16 bits of action). The procedure is
   called in the thread running the transfer call. Unless an action says otherwise, a
   result of XFER_RESULT_STOP stops the transfer: the peer gets the CAN sequence and the
   status becomes XFER_STATUS_ABORTED. The record always describes the current file:
   name, kind, size, modification time (local time) and option bits. */
enum {
    XFER_ACTION_TX_PROGRESS = 0,  /* data: bytes of the file sent so far (at most every 50 ms,
                                     and once with the whole size) */
    XFER_ACTION_RX_PROGRESS = 1,  /* data: bytes received so far; 0 with a record at a file's end,
                                     after the file is closed and its time set */
    XFER_ACTION_BREAK = 2,        /* the transfer or one file broke off; data: the XFER_STATUS_*
                                     reason (a refused name reports XFER_STATUS_BAD_NAME and the
                                     session goes on with the next file); the result is ignored */
    XFER_ACTION_SYN = 3,          /* before a file's header is sent (YMODEM batch, ZMODEM); the
                                     record may be changed: the last component of its name is the
                                     name sent, its option bits steer the header */
    XFER_ACTION_RETRY = 4,        /* a block or position is repeated; data: retry count, which
                                     starts again at 1 once data has moved on */
    XFER_ACTION_RX_HEADER = 5,    /* a received file's header (YMODEM batch, ZMODEM); the record
                                     holds the sender's name reduced to its last component; the
                                     caller may rewrite it with the path to store the file at.
                                     Result: STOP skips the file, GO_ON receives it from the start
                                     (replacing a local file), RESUME continues the local file from
                                     its length (ZMODEM; YMODEM receives from the start, and
                                     a skipped YMODEM file is read and dropped) */
    XFER_ACTION_RX_FINISHED = 6,  /* a received file is complete; data: its size */
    XFER_ACTION_TX_FINISHED = 7,  /* the peer has confirmed a sent file; data: its size. Result
                                     MORE_FILES keeps the session open for the next send call;
                                     GO_ON ends the session; STOP ends it with XFER_STATUS_ABORTED */
    XFER_ACTION_FILE_DETAILS = 8, /* before SYN: the record holds the local path and the details
                                     the library read from the file; the caller may fill them in
                                     from its own view of the file. The data actually sent always
                                     comes from the file itself */
    XFER_ACTION_TX_SKIPPED = 9,   /* the peer skipped a sent file (ZMODEM ZSKIP: it keeps the copy
                                     it has); data: the bytes it had confirmed, 0 when it skipped
                                     before any data. The result is read as for TX_FINISHED */
};

/* Results of the file-info procedure. */
enum {
    XFER_RESULT_STOP = 0,       /* stop the transfer (for RX_HEADER: skip this file) */
    XFER_RESULT_GO_ON = 1,      /* go on (for RX_HEADER: receive the file from its start) */
    XFER_RESULT_RESUME = 2,     /* RX_HEADER only: continue the partial local file */
    XFER_RESULT_MORE_FILES = 3, /* TX_FINISHED and TX_SKIPPED only: another file follows in this
                                   session */
};

/* Status values written through the status argument. 0 is success; every failure
   is negative. The control relies on -9998 and -9997 to end a send batch. */
enum {
    XFER_STATUS_OK = 0,
    XFER_STATUS_TIMEOUT = -1,         /* the peer fell silent past the protocol's time-outs */
    XFER_STATUS_TOO_MANY_ERRORS = -2, /* one block or position failed too often in a row */
    XFER_STATUS_FILE_ERROR = -3,      /* a local file could not be opened, read or written */
    XFER_STATUS_BAD_NAME = -4,        /* a received name was refused (see the receive calls) */
    XFER_STATUS_PROTOCOL_ERROR = -5,  /* the peer sent something the protocol does not allow */
    XFER_STATUS_LINE_LOST = -6,       /* the comm id closed or hung up during the transfer */
    XFER_STATUS_BAD_ARGUMENT = -7,    /* a null pointer, an empty or unterminated file name */
    XFER_STATUS_SIZE_MISMATCH =
        -8,                      /* the data received differs in length from the size announced */
    XFER_STATUS_BUSY = -9,       /* another transfer already runs on this comm id */
    XFER_STATUS_ABORTED = -9998, /* stopped by XferAbort or by the file-info procedure */
    XFER_STATUS_PEER_CANCELLED = -9997, /* the peer cancelled the session */
};

/* XferFileInfo.options bits. A send call fills them from the suffix of its file name
   (see "File-name suffix" below) before action XFER_ACTION_SYN, where the caller may
   change them; a receive call reports there what the sender asked for. */
enum {
    XFER_OPT_ESCAPE_CONTROL = 0x01, /* ZMODEM: escape every control character on the line */
    XFER_OPT_REPLACE = 0x02,        /* ZMODEM: the receiver may replace an existing file of that
                                       name; cleared, it is asked to keep an existing file */
    XFER_OPT_RESUME = 0x04,         /* ZMODEM: ask the receiver to continue a partial copy */
    XFER_OPT_1K_BLOCKS = 0x08,      /* XMODEM sending: 1024-byte blocks */
    XFER_OPT_SHORT_BLOCKS = 0x10,   /* YMODEM sending: 128-byte blocks only */
    XFER_OPT_KEEP_SUB = 0x20,       /* ASCII receiving: a Ctrl-Z (0x1A) is data, not the end */
};

typedef int32_t (*XferFileInfoProc)(int32_t commId, int32_t action, int32_t data,
                                    XferFileInfo* record);

/* Transfer calls: (comm id, file-name buffer of XFER_NAME_SIZE bytes, &status,
   file-info procedure) -> result byte, 1 when the transfer completed. Each runs one
   complete transfer in the calling thread over an open comm id; one transfer at a time
   per comm id (a second call for a busy comm id fails with XFER_STATUS_BUSY).

   File-name suffix: the text from the first comma on is not part of the path; its
   letters (case-insensitive, further commas ignored, unknown letters ignored) set
   options: E escape every control character (ZMODEM), P keep an existing file at the
   receiver (ZMODEM, clears XFER_OPT_REPLACE), R ask the receiver to resume (ZMODEM),
   K 1024-byte XMODEM blocks, S 128-byte YMODEM blocks, Z a Ctrl-Z is data (ASCII
   receive), T<n> end an ASCII receive after n seconds of silence (default 10).
   Paths may use '\' or '/' as separator.

   Sending: fileName is the path of one file. Receiving: ZMODEM and YMODEM batch take
   names from the sender (action XFER_ACTION_RX_HEADER; a name is reduced to its last
   component; absolute names, names with a ".." component, empty names, names with
   control characters and names that do not fit the record are refused, the file is
   skipped and XFER_ACTION_BREAK reports XFER_STATUS_BAD_NAME); the other receive calls
   store into fileName. A file is never created through a symbolic link.
   XMODEM carries no length: its last block is padded with Ctrl-Z (0x1A), and the
   receiver removes the trailing Ctrl-Z bytes of the last block, so a file that itself
   ends in Ctrl-Z bytes loses them. YMODEM batch trims the padding by the size in its
   header block. ASCII sends the file unchanged and receives until a Ctrl-Z, the
   sender's silence or a hang-up.

   Batches: a ZMODEM or YMODEM batch send whose file-info procedure answers
   XFER_RESULT_MORE_FILES leaves its session open on the comm id; the next call, if it
   is the same send call and comes within 20 s, continues that session (ZMODEM: the
   file starts with its ZFILE, without "rz\r" and ZRQINIT; YMODEM: with its header
   block). Any other call takes the open session away, and XferAbort forgets it.
   Input that waited on the comm id before a session began belongs to no session: a
   ZMODEM send or receive that opens a session drops it, and an XMODEM-family send that
   opens one keeps only the last start character (NAK or 'C') in it. A session that is
   continued and the other receive calls (ASCII, XMODEM) keep all waiting input.
   Resume: a ZMODEM receive told XFER_RESULT_RESUME first asks the sender for the
   CRC-32 of the local file's length and continues only when it matches; otherwise the
   file is received anew from offset 0. */
#define XFER_DECLARE(name)                                                                         \
    TRANSVEX_API uint8_t name(int32_t commId, char* fileName, int32_t* status,                     \
                              XferFileInfoProc proc)
XFER_DECLARE(XferSendAscii);
XFER_DECLARE(XferReceiveAscii);
XFER_DECLARE(XferSendXmodem);
XFER_DECLARE(XferReceiveXmodem);
XFER_DECLARE(XferSendXmodemCrc);
XFER_DECLARE(XferReceiveXmodemCrc);
XFER_DECLARE(XferSendYmodem);
XFER_DECLARE(XferReceiveYmodem);
XFER_DECLARE(XferSendYmodemBatch);
XFER_DECLARE(XferReceiveYmodemBatch);
XFER_DECLARE(XferSendZmodem);
XFER_DECLARE(XferReceiveZmodem);
#undef XFER_DECLARE

/* Waits until the queue of dir (0 input, 1 output) of comm id changes, or at most
   timeoutMs milliseconds (negative counts as 0). Returns the queue count then; 0 for
   a dir other than 0 or 1 or a closed comm id. Any thread. */
TRANSVEX_API int32_t XferWaitQueue(int32_t commId, int32_t dir, int32_t timeoutMs);

/* Asks the transfer running on comm id to stop within timeoutMs milliseconds and
   returns at once: 1 when a transfer was running, 0 otherwise. Any thread. The
   transfer stops within about 50 ms, sends the CAN sequence, lets it leave the output
   queue and reads away the peer's remaining bytes (each within half of timeoutMs, at
   most 2 s), reports XFER_ACTION_BREAK and returns with XFER_STATUS_ABORTED. */
TRANSVEX_API int32_t XferAbort(int32_t commId, int32_t timeoutMs);

#ifdef __cplusplus
}
static_assert(sizeof(XferFileInfo) == 534, "file-info record is 534 bytes");
static_assert(offsetof(XferFileInfo, kind) == 512);
static_assert(offsetof(XferFileInfo, size) == 514);
static_assert(offsetof(XferFileInfo, year) == 518);
static_assert(offsetof(XferFileInfo, second) == 528);
static_assert(offsetof(XferFileInfo, options) == 530);
#endif

#endif /* TRANSVEX_H */

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
    int32_t size;       /* 514: file size in bytes */
    int16_t year;       /* 518 */
    int16_t month;      /* 520: 1..12, 0 when the time is unknown */
    int16_t day;        /* 522 */
    int16_t hour;       /* 524 */
    int16_t minute;     /* 526 */
    int16_t second;     /* 528 */
    int32_t options;    /* 530: XFER_OPT_* bits */
} XferFileInfo;
#pragma pack(pop)

/* XferFileInfo.kind */
enum {
    XFER_KIND_NONE = 0,
    XFER_KIND_YMODEM_BATCH = 4,
    XFER_KIND_ZMODEM = 5,
    XFER_KIND_ZMODEM_SAVE = 6,
};

/* Actions passed to the file-info procedure (low 16 bits of action). */
enum {
    XFER_ACTION_TX_PROGRESS = 0, /* data: bytes of the file sent so far */
    XFER_ACTION_RX_PROGRESS = 1, /* data: bytes received so far; 0 with a record at a file's end */
    XFER_ACTION_BREAK = 2,       /* the transfer broke off; data: status */
    XFER_ACTION_SYN = 3,         /* before a file's header is sent; the record may be changed */
    XFER_ACTION_RETRY = 4,       /* a block or position is repeated; data: retry count */
    XFER_ACTION_RX_HEADER = 5,   /* a received file's header; the result decides, see below */
    XFER_ACTION_RX_FINISHED = 6, /* a received file is complete; data: its size */
    XFER_ACTION_TX_FINISHED = 7, /* a sent file is complete; data: its size */
    XFER_ACTION_FILE_DETAILS = 8,/* fill the record from the local file named in it */
};

/* Results of the file-info procedure. */
enum {
    XFER_RESULT_STOP = 0,     /* stop the transfer (for RX_HEADER: skip this file) */
    XFER_RESULT_GO_ON = 1,    /* go on (for RX_HEADER: receive the file from its start) */
    XFER_RESULT_RESUME = 2,   /* RX_HEADER only: continue the partial local file */
    XFER_RESULT_MORE_FILES = 3, /* TX_FINISHED only: another file follows in this session */
};

/* Status values written through the status argument. */
enum {
    XFER_STATUS_OK = 0,
    XFER_STATUS_ABORTED = -9998,        /* stopped by XferAbort or by the file-info procedure */
    XFER_STATUS_PEER_CANCELLED = -9997, /* the peer cancelled the session */
};

typedef int32_t (*XferFileInfoProc)(int32_t commId, int32_t action, int32_t data,
                                    XferFileInfo* record);

/* Transfer calls: (comm id, file-name buffer of XFER_NAME_SIZE bytes, &status,
   file-info procedure) -> result byte, 1 when the transfer completed. */
#define XFER_DECLARE(name)                                                                  \
    TRANSVEX_API uint8_t name(int32_t commId, char* fileName, int32_t* status,             \
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
   timeoutMs milliseconds. Returns the queue count then. */
TRANSVEX_API int32_t XferWaitQueue(int32_t commId, int32_t dir, int32_t timeoutMs);

/* Asks the transfer running on comm id to stop; it ends within timeoutMs and
   leaves the line clean for the peer. Returns 1 when a transfer was running. */
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

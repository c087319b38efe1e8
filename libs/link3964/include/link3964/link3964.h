/*
 * liblink3964: the 3964 and 3964R point-to-point telegram procedures over a comm id
 * of the serial core library (serilon/serilon.h). The serial control loads it
 * at run time (dlopen "liblink3964.so") and binds these seven functions by name.
 *
 * The procedure on the line
 *   Sender: STX; the receiver answers DLE (ready) or NAK (refused). Then the
 *   telegram's bytes with every DLE doubled, then DLE ETX (or DLE ETB, see "flag"),
 *   and with 3964R the block check character BCC: the XOR of every byte sent after
 *   the receiver's DLE up to and including ETX/ETB. The receiver answers DLE
 *   (taken) or NAK (repeat please).
 *   TQ, the acknowledgement delay time: how long the sender waits for the DLE after
 *   STX and after the end of the block (timed from the moment the block has left).
 *   TZ, the character delay time: the longest pause the receiver allows between two
 *   characters of a block; after it the receiver answers NAK.
 *   MZ1: connection attempts per block attempt (STX answered by NAK, by anything
 *   but DLE, or not at all within TQ). MZ2: block attempts (block answered by NAK,
 *   by anything but DLE, or not at all within TQ); each repeat starts again with STX.
 *   Defaults per comm id until set: TQ 2000 ms, TZ 220 ms, MZ1 6, MZ2 6.
 *   The procedure numbers nothing: a telegram whose final DLE is lost on the line is
 *   repeated by the sender and arrives twice (file transfers below detect that).
 *   A receiver acknowledges a block only when it fits the caller's buffer.
 *
 * Priority ("master"): when both sides send STX at the same time, the side called
 *   with master != 0 ignores the partner's STX and waits for its DLE; the other side
 *   answers the partner's STX with DLE, and RS_TX3964R returns 0 with status
 *   LINK3964_PARTNER_SENDS (-9004) as soon as the partner's first telegram byte is
 *   waiting: the caller then calls RS_RX3964R, which takes that telegram, and sends
 *   its own telegram again afterwards. Exactly one side should be master; when both
 *   are not, a collision costs a character delay time and the next attempt starts
 *   after a random pause of up to 2 x TZ.
 *
 * The flag byte: with flag != 0 the block ends with DLE ETB ("intermediate block,
 *   more follows") instead of DLE ETX; the receiving side gets 1 back through &flag
 *   for DLE ETB and 0 for DLE ETX. The telegram's bytes on the line are exactly the
 *   caller's, so a partner that only knows DLE ETX exchanges flag-0 telegrams with us.
 *
 * Threads: any thread may call. Calls on one comm id never overlap: a call made
 *   while another call runs on the same comm id returns 0 at once with status
 *   LINK3964_BUSY, touching neither the line nor the settings. Calls on different
 *   comm ids run independently. All calls block the caller until they end; nothing
 *   runs in the background.
 *
 * Output queue: the library writes to the comm id's output queue only what fits below
 *   its set size (SerialBufferSize), so SerialQueueFull of the output stays 0 while it
 *   sends, however long the telegram.
 *
 * Lengths are 16-bit byte counts (0..65535). Booleans are int32_t, nonzero true.
 * Success bytes are 1 (success) or 0 (failure, the reason in *status). status may be
 * NULL (the reason is then not reported). The library keeps no telegram between
 * calls: what a call did not deliver is still with the sender.
 */
#ifndef LINK3964_H
#define LINK3964_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LINK3964_API __attribute__((visibility("default")))

/* Status values (*status). 0 is success; every failure is negative. */
enum {
    LINK3964_OK = 0,
    /* RS_RX3964R: no STX within the wait, or only bytes that cannot start a telegram
       arrived and the line then stayed quiet for TZ (they are discarded).
       RS_RXFile_3964R: no file began within its wait. */
    LINK3964_NOTHING_RECEIVED = -9000,
    /* RS_TX3964R: the partner never answered STX with DLE in MZ1 connection attempts. */
    LINK3964_NO_CONNECTION = -9001,
    /* RS_RX3964R: the telegram is longer than the buffer. It was answered with NAK, so
       it is NOT lost: the sender still holds it and repeats it; *length tells its size.
       Call again with a buffer of at least that size when its bytes arrive again. */
    LINK3964_BUFFER_TOO_SMALL = -9002,
    /* RS_TX3964R: the partner answered the block MZ2 times with NAK or not at all. */
    LINK3964_NOT_ACKNOWLEDGED = -9003,
    /* RS_TX3964R: the partner is sending (send conflict, we yielded): call RS_RX3964R
       to take its telegram, then send again. Nothing of ours was delivered. */
    LINK3964_PARTNER_SENDS = -9004,
    /* RS_RX3964R: the partner paused longer than TZ inside a block (NAK sent). */
    LINK3964_CHARACTER_TIMEOUT = -9005,
    /* RS_RX3964R: wrong block check character (NAK sent; the sender repeats). */
    LINK3964_BCC_ERROR = -9006,
    /* RS_RX3964R: a DLE followed by anything but DLE, ETX or ETB, or a block longer
       than 65,535 bytes (NAK sent once the line went quiet). */
    LINK3964_FRAME_ERROR = -9007,
    /* The comm id is not open, hung up, or its output does not drain. */
    LINK3964_PORT_ERROR = -9008,
    /* A null pointer where data is needed, or a comm id outside 0..254. */
    LINK3964_BAD_ARGUMENT = -9009,
    /* File transfer: the local file cannot be opened, read, created or written. */
    LINK3964_FILE_ERROR = -9010,
    /* File transfer: the partner broke the file format (unexpected record, bad name,
       size or CRC-32 mismatch); the partial file is removed. */
    LINK3964_FILE_PROTOCOL_ERROR = -9011,
    /* Another call is running on this comm id. */
    LINK3964_BUSY = -9012,
};

/* Version of this library: high byte major, low byte minor (0x0200 is 2.0). */
LINK3964_API uint16_t RS_3964Version(void);

/* Sets TQ (acknowledgement delay time) and TZ (character delay time) of a comm id,
   in milliseconds; values below 1 become 1, above 600000 become 600000. Takes
   effect with the next telegram, also while another call runs on the comm id.
   Returns LINK3964_OK or LINK3964_BAD_ARGUMENT. Works whether the comm id is open
   or not. */
LINK3964_API int32_t RS_SetTQTZ(int32_t commId, int32_t tqMs, int32_t tzMs);

/* Sets MZ1 (connection attempts) and MZ2 (block attempts) of a comm id; values below
   1 become 1 (a single attempt), above 255 become 255. Result as RS_SetTQTZ. */
LINK3964_API int32_t RS_SetMZ1MZ2(int32_t commId, int32_t mz1, int32_t mz2);

/* Sends one telegram of `length` bytes (data may be NULL when length is 0) and waits
   until the partner took it or the attempts are spent. flag: see above. useBcc
   nonzero: 3964R (with BCC), zero: 3964. master nonzero: high priority.
   Returns 1 with *status 0 when the partner acknowledged the telegram; otherwise 0
   with LINK3964_NO_CONNECTION (also when the partner's STX led to no telegram MZ1
   times), _NOT_ACKNOWLEDGED, _PARTNER_SENDS, _PORT_ERROR, _BAD_ARGUMENT or _BUSY. */
LINK3964_API uint8_t RS_TX3964R(int32_t commId, const uint8_t* data, uint16_t length,
                                int32_t* status, uint8_t flag, int32_t useBcc, int32_t master);

/* Receives one telegram into buffer. *length: in, the buffer's size in bytes (buffer
   may be NULL when it is 0); out, the telegram's length (on LINK3964_BUFFER_TOO_SMALL
   the size needed; otherwise 0 on failure). waitMs: how long to wait for the
   partner's STX (0 or less: only bytes already waiting); once a telegram has begun,
   the call lasts until it ends (each pause at most TZ). After a yielded send
   (LINK3964_PARTNER_SENDS) the call goes on with the partner's telegram already
   under way. *flag (may be NULL): 1 when the block ended with DLE ETB, else 0 (also
   on failure). Bytes that arrive after a block's end and before our answer are
   dropped: the partner may not send then.
   Returns 1 with *status 0 on success; otherwise 0 with LINK3964_NOTHING_RECEIVED,
   _BUFFER_TOO_SMALL, _CHARACTER_TIMEOUT, _BCC_ERROR, _FRAME_ERROR, _PORT_ERROR,
   _BAD_ARGUMENT or _BUSY. */
LINK3964_API uint8_t RS_RX3964R(int32_t commId, uint8_t* buffer, uint16_t* length, int32_t* status,
                                int32_t waitMs, uint8_t* flag, int32_t useBcc);

/*
 * File transfer over 3964R telegrams (always with BCC; the sender has high priority).
 * The file name is a path; '\' counts as '/', and a comma with everything after it is
 * an option suffix that this library ignores. Telegrams, integers little-endian:
 *   name record: 'N', version 1, u64 file size, then the file's name (1..255 bytes,
 *                its last path component, ISO-8859-1);
 *   data record: 'D', u64 offset of the data in the file, then 1..2048 data bytes
 *                (in file order; a repeated record, same offset again, is ignored);
 *   end record:  'E', u64 file size, u32 CRC-32 (IEEE 802.3) of the whole file.
 * The file is streamed in both directions, never held whole in memory.
 */

/* Sends one file. The receiver has 30 s to get ready for the name record. Returns 1
   with *status 0 when the partner took the end record; otherwise 0 with
   LINK3964_FILE_ERROR, _BAD_ARGUMENT, _BUSY, _PORT_ERROR, or the telegram status
   that ended the transfer (a receiver that refuses the file answers with NAK:
   _NOT_ACKNOWLEDGED). */
LINK3964_API uint8_t RS_TXFile_3964R(int32_t commId, const char* fileName, int32_t* status);

/* Receives one file, waiting up to 30 s for its name record. fileName: a directory
   (an existing one, or any name ending in '/' or '\'; empty means the current
   directory) receives the file under the sender's name, cut to its last component;
   a name that is then ".", ".." or empty, or holds a control character, is refused. Any other
   fileName is the path the file is written to. The data goes to "<target>.part" and is renamed to
   the target only when size and CRC-32 match; on any failure the partial file is removed. Returns 1
   with *status 0 on success; otherwise 0 with LINK3964_NOTHING_RECEIVED, _FILE_ERROR,
   _FILE_PROTOCOL_ERROR, _PORT_ERROR, _BAD_ARGUMENT, _BUSY or a receive status. A refused file's
   further telegrams are answered with NAK until the sender gives up. */
LINK3964_API uint8_t RS_RXFile_3964R(int32_t commId, const char* fileName, int32_t* status);

#ifdef __cplusplus
}
#endif

#endif /* LINK3964_H */

// What a channel's bytes travel over: a serial device, a TCP connection, a TCP server or
// an ISDN call. The channel (channel.h) keeps the queues, the events and the threads; a
// transport supplies the descriptors thread 0 waits on, what happens when reading or
// writing ends, and the hang-up.
#pragma once

#include "libs/serilon/os_error.h"

#include <cstdint>
#include <memory>

namespace serilon {

class Channel;
class IsdnConnection;

// Thread rules: open() runs before the channel's threads start and stopped() after they
// have stopped; the hooks of the reading loop run on thread 0, those of the writing loop
// on thread 1; the rest may be called from any thread while the channel is open.
// Transports are part of the channel's implementation and reach its state directly.
class Transport {
public:
    explicit Transport(Channel& channel) : channel_(channel) {}
    virtual ~Transport() = default;
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    // Makes the channel's device (or the transport's own descriptors) ready and the
    // channel's thread 0 wake event with it. On failure nothing is left open.
    virtual OsStatus open() = 0;
    // Every comm id but a serial device is a network comm id.
    virtual bool isNetwork() const { return true; }
    // The ISDN connection; null for every other transport.
    virtual std::shared_ptr<IsdnConnection> isdn() const { return nullptr; }

    // True: while nothing waits in the output queue a write goes to the device from the
    // caller's thread, and thread 1 starts when bytes first have to wait. Else thread 1
    // starts with thread 0.
    virtual bool sendsFromCaller() const { return false; }
    // Closing waits for queued output to move (Channel::drainOutput).
    virtual bool drainsOnClose() const { return false; }
    // SERIAL_OK, or why nothing can be written now.
    virtual OsStatus canSend() const { return OsStatus::success(); }
    // SerialCarrier: by default the device's CD where it has modem lines, else true,
    // and false once hung up.
    virtual bool carrier() const;
    // Ends the current connection (a server keeps listening). Nothing by default.
    virtual void hangUp() {}

    // Thread 0 and thread 1: the channel's own loops over the device by default.
    virtual void readerLoop();
    virtual void writerLoop();

    // ---- hooks of the channel's reading loop (thread 0)
    // Before each wait: event bits to deliver, and a further descriptor to wait on for
    // input (-1 none) with the longest wait in milliseconds (-1 no limit).
    virtual std::int32_t beforeWait(int& extraFd, int& timeoutMs);
    // The further descriptor is readable: event bits.
    virtual std::int32_t extraReadable() { return 0; }
    // Reading the device found its end or an error: event bits. By default the channel
    // hangs up.
    virtual std::int32_t deviceEnded();

    // ---- hooks of the channel's writing loop (thread 1)
    // Which connection the device carries now; read under the channel's ioMutex_.
    virtual std::uint64_t generation() const { return 0; }
    // Writing the connection of that generation failed. By default the channel hangs up
    // (false); true when thread 1 is to wait for its wake event before writing again.
    virtual bool writeFailed(std::uint64_t generation);

    // ---- the end
    // The channel has hung up (the device went away): give up what an ended connection
    // holds.
    virtual void ended() {}
    // Closing: before the threads stop, and after they stopped and the device closed.
    virtual void stopping() {}
    virtual void stopped() {}

protected:
    Channel& channel_;
};

} // namespace serilon

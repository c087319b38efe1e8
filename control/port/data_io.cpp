// Output, Input, ComOutput, ComInput: moving bytes through the open port.
#include <algorithm>
#include <vector>

#include "control/object/vort_ctrl.h"
#include "platform/component/text.h"
#include "serilon/serilon.h"
#include "transvex/transvex.h"
#include "vort/dispids.h"

namespace vort {

namespace {

// One Input read returns at most this many bytes.
constexpr uint32_t kInputCap = 65000;
// The output drain loop waits at most this long for the queue to move.
constexpr int32_t kDrainWaitMs = 50;

// The bytes an Output value stands for; false when the value's kind sends nothing.
bool outputBytes(const Variant& value, std::vector<uint8_t>& out) {
    if (const Variant* target = value.ref())
        return outputBytes(*target, out);
    if (value.isBytes()) {
        out = value.byteArray();
        return true;
    }
    if (value.isText()) {
        std::string bytes = component::toLatin1(value.text());
        out.assign(bytes.begin(), bytes.end());
        return true;
    }
    if (value.type() == component::VT_UI1 || value.type() == component::VT_I1) {
        int32_t v = 0;
        value.toI4(v);
        out.assign(1, static_cast<uint8_t>(v));
        return true;
    }
    return false;
}

// How many bytes one Input read asks for: InputLen taken as an unsigned 16-bit
// count, or, when it is 0, everything waiting; never more than kInputCap.
uint32_t wantedBytes(int16_t inputLen, int32_t waiting) {
    uint32_t want = static_cast<uint16_t>(inputLen);
    if (want == 0)
        want = static_cast<uint32_t>(std::max(waiting, 0));
    return std::min(want, kInputCap);
}

uint32_t readInto(int32_t id, uint8_t* buf, uint32_t want) {
    uint16_t got = 0;
    SerialRead(id, buf, static_cast<uint16_t>(std::min<uint32_t>(want, 0xFFFF)), &got);
    return got;
}

} // namespace

uint32_t CVortCtrl::SendAll(int32_t id, const uint8_t* data, uint32_t len) {
    // The library takes at most 65,535 bytes per call; longer data goes in slices
    // so that nothing beyond a 16-bit count is cut off unseen.
    auto write = [&](uint32_t offset) -> uint32_t {
        uint16_t taken = 0;
        uint16_t slice = static_cast<uint16_t>(std::min<uint32_t>(len - offset, 0xFFFF));
        SerialWrite(id, data + offset, slice, &taken);
        return taken;
    };
    uint32_t sent = write(0);
    while (sent < len) {
        const int32_t before = SerialQueueCount(id, SERIAL_DIR_OUTPUT);
        // A queue that already ran empty has room now: waiting for it to "move"
        // would find no change and drop the rest of the data.
        if (before > 0) {
            XferWaitQueue(id, SERIAL_DIR_OUTPUT, kDrainWaitMs);
            if (SerialQueueCount(id, SERIAL_DIR_OUTPUT) == before)
                break; // the line is stuck
        }
        const uint32_t taken = write(sent);
        if (taken == 0 && before == 0)
            break; // the port takes nothing at all (hung up)
        sent += taken;
    }
    return sent;
}

void CVortCtrl::setOutput(Variant value) {
    if (!portOpenFlag_.load())
        return;
    std::vector<uint8_t> bytes;
    if (!outputBytes(value, bytes) || bytes.empty())
        return;
    if (protocol_.load() == kProtocol3964) {
        link_->queueTelegram(bytes);
        return;
    }
    SendAll(openCommId_, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

Variant CVortCtrl::input() {
    if (!portOpenFlag_.load())
        return Variant();
    const int32_t id = openCommId_;
    if (protocol_.load() == kProtocol3964) {
        std::optional<std::vector<uint8_t>> telegram = link_->takeTelegram();
        return telegram ? Variant::bytes(std::move(*telegram)) : Variant();
    }
    const int32_t waiting = SerialQueueCount(id, SERIAL_DIR_INPUT);
    const uint32_t want = wantedBytes(inputLen_, waiting);

    if (inputMode_ == kInputModeBinary) {
        std::vector<uint8_t> bytes(want);
        bytes.resize(want ? readInto(id, bytes.data(), want) : 0);
        return Variant::bytes(std::move(bytes));
    }
    // Text mode reads only when the whole request is there, so a partial line stays
    // queued for the next read.
    if (waiting < 0 || static_cast<uint32_t>(waiting) < want || want == 0)
        return Variant::bstr(std::u16string());
    std::string bytes(want, '\0');
    bytes.resize(readInto(id, reinterpret_cast<uint8_t*>(bytes.data()), want));
    return Variant::bstr(component::fromLatin1(bytes));
}

void CVortCtrl::setInputLen(int16_t len) {
    inputLen_ = len;
    propertyWritten(kDispInputLen);
}

void CVortCtrl::setInputMode(int16_t mode) {
    if (mode != kInputModeText && mode != kInputModeBinary)
        return;
    inputMode_ = mode;
    propertyWritten(kDispInputMode);
}

int16_t CVortCtrl::ComOutput(int16_t /*hWnd*/, std::u16string data, int16_t count) {
    if (!portOpenFlag_.load() || count <= 0)
        return 0;
    // Never read past the text, whatever count the caller gives.
    std::string bytes = component::toLatin1(data);
    const uint32_t len =
        std::min<uint32_t>(static_cast<uint32_t>(count), static_cast<uint32_t>(bytes.size()));
    if (len == 0)
        return 0;
    if (protocol_.load() == kProtocol3964) {
        link_->queueTelegram(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), len));
        return static_cast<int16_t>(len);
    }
    return static_cast<int16_t>(
        SendAll(openCommId_, reinterpret_cast<const uint8_t*>(bytes.data()), len));
}

int16_t CVortCtrl::ComInput(int16_t /*hWnd*/, Variant& data, int16_t count) {
    if (!portOpenFlag_.load() || count <= 0)
        return 0;
    // The bytes travel back through the caller's variable: the dispatch table hands
    // a by-reference argument over as the variable it refers to, and a direct caller
    // may pass either that variable or a reference to it.
    Variant* target = data.isRef() ? data.ref() : &data;
    if (!target)
        return 0;
    std::vector<uint8_t> bytes(static_cast<uint32_t>(count));
    bytes.resize(readInto(openCommId_, bytes.data(), static_cast<uint32_t>(count)));
    const int16_t got = static_cast<int16_t>(bytes.size());
    *target = Variant::bytes(std::move(bytes));
    return got;
}

} // namespace vort

#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace link3964 {

// What the sender puts on the line after the receiver's DLE: the telegram with DLEs
// doubled, DLE ETB when more follows (the caller's flag) or DLE ETX, and with 3964R
// the block check character.
std::vector<std::uint8_t> buildBlock(std::span<const std::uint8_t> telegram, bool moreFollows,
                                     bool useBcc);

enum class BlockEvent {
    None,        // need more bytes
    Complete,    // a whole block, block check correct (or none used)
    BccMismatch, // a whole block whose block check character is wrong
    FrameError,  // DLE followed by something other than DLE, ETX or ETB
    TooLong,     // more than kMaxTelegram telegram bytes
};

// Takes a block byte by byte as it arrives after our DLE and undoes the DLE doubling.
// After an event other than None it takes no more bytes until reset.
class BlockReceiver {
public:
    void reset(bool useBcc);
    BlockEvent feed(std::uint8_t byte);

    const std::vector<std::uint8_t>& telegram() const { return telegram_; }
    std::vector<std::uint8_t> takeTelegram() { return std::move(telegram_); }
    bool moreFollows() const { return moreFollows_; }

private:
    enum class Phase { Data, AfterDle, AwaitBcc, Ended };

    Phase phase_ = Phase::Data;
    bool useBcc_ = true;
    bool moreFollows_ = false;
    std::uint8_t bcc_ = 0;
    std::vector<std::uint8_t> telegram_;
};

} // namespace link3964

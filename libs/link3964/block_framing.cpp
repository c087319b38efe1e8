#include "libs/link3964/block_framing.h"

#include "libs/link3964/block_check.h"
#include "libs/link3964/control_chars.h"
#include "libs/link3964/dle_escaping.h"

namespace link3964 {

std::vector<std::uint8_t> buildBlock(std::span<const std::uint8_t> telegram, bool moreFollows,
                                     bool useBcc) {
    std::vector<std::uint8_t> block;
    appendDleDoubled(telegram, block);
    block.push_back(kDle);
    block.push_back(moreFollows ? kEtb : kEtx);
    if (useBcc) {
        BlockCheck check;
        check.add(block);
        block.push_back(check.value());
    }
    return block;
}

void BlockReceiver::reset(bool useBcc) {
    phase_ = Phase::Data;
    useBcc_ = useBcc;
    moreFollows_ = false;
    bcc_ = 0;
    telegram_.clear();
}

BlockEvent BlockReceiver::feed(std::uint8_t byte) {
    switch (phase_) {
    case Phase::Ended:
        return BlockEvent::None;
    case Phase::Data:
        bcc_ ^= byte;
        if (byte == kDle) {
            phase_ = Phase::AfterDle;
            return BlockEvent::None;
        }
        if (telegram_.size() >= kMaxTelegram) {
            phase_ = Phase::Ended;
            return BlockEvent::TooLong;
        }
        telegram_.push_back(byte);
        return BlockEvent::None;
    case Phase::AfterDle:
        bcc_ ^= byte;
        if (byte == kDle) {
            if (telegram_.size() >= kMaxTelegram) {
                phase_ = Phase::Ended;
                return BlockEvent::TooLong;
            }
            telegram_.push_back(kDle);
            phase_ = Phase::Data;
            return BlockEvent::None;
        }
        if (byte == kEtx || byte == kEtb) {
            moreFollows_ = byte == kEtb;
            if (useBcc_) {
                phase_ = Phase::AwaitBcc;
                return BlockEvent::None;
            }
            phase_ = Phase::Ended;
            return BlockEvent::Complete;
        }
        phase_ = Phase::Ended;
        return BlockEvent::FrameError;
    case Phase::AwaitBcc:
        phase_ = Phase::Ended;
        return byte == bcc_ ? BlockEvent::Complete : BlockEvent::BccMismatch;
    }
    return BlockEvent::None;
}

} // namespace link3964

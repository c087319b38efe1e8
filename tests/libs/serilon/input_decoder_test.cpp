#include "libs/serilon/input_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using serilon::DecodeCounts;
using serilon::InputDecoder;

namespace {

struct Decoded {
    std::string bytes;
    DecodeCounts counts;
};

// Decodes input in two calls split at `split`, as two reads from the device would.
Decoded decodeSplit(const std::string& input, std::size_t split, bool marking, char errorChar,
                    bool discardNul) {
    InputDecoder decoder;
    decoder.configure(marking, std::uint8_t(errorChar), discardNul);
    Decoded result;
    for (auto [from, to] : {std::pair{std::size_t(0), split}, std::pair{split, input.size()}}) {
        std::vector<std::uint8_t> out(to - from + 1);
        const std::size_t n =
            decoder.decode(reinterpret_cast<const std::uint8_t*>(input.data()) + from, to - from,
                           out.data(), result.counts);
        result.bytes.append(reinterpret_cast<const char*>(out.data()), n);
    }
    return result;
}

// Checks every split position gives the same, expected result.
void expectDecodes(const std::string& input, const std::string& expected, std::size_t errors,
                   std::size_t breaks, bool marking = true, char errorChar = '?',
                   bool discardNul = false) {
    for (std::size_t split = 0; split <= input.size(); ++split) {
        const Decoded d = decodeSplit(input, split, marking, errorChar, discardNul);
        EXPECT_EQ(d.bytes, expected) << "split at " << split;
        EXPECT_EQ(d.counts.errors, errors) << "split at " << split;
        EXPECT_EQ(d.counts.breaks, breaks) << "split at " << split;
    }
}

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) {
        s += char(b);
    }
    return s;
}

} // namespace

TEST(SerilonDecoder, MarkedStreamsDecodeAtEverySplit) {
    // FF FF is a data byte 0xFF.
    expectDecodes(bytes({'A', 0xFF, 0xFF, 'B'}), bytes({'A', 0xFF, 'B'}), 0, 0);
    // FF 00 00 is a break: no data.
    expectDecodes(bytes({'A', 0xFF, 0x00, 0x00, 'B'}), "AB", 0, 1);
    // FF 00 x is a bad byte x: replaced by the error character.
    expectDecodes(bytes({'A', 0xFF, 0x00, 'x', 'B'}), "A?B", 1, 0);
    // Back to back marks, and a bad 0xFF byte.
    expectDecodes(bytes({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0xFF, 0xFF}),
                  bytes({0xFF, '?', 0xFF}), 1, 1);
    // Plain NULs pass through unless discarded.
    expectDecodes(bytes({0, 'A', 0}), bytes({0, 'A', 0}), 0, 0);
}

TEST(SerilonDecoder, NulDiscardDropsDataNulsOnly) {
    expectDecodes(bytes({0, 'A', 0, 0, 'B', 0}), "AB", 0, 0, /*marking=*/false, '?', true);
    // A NUL error character still stands for a received byte and is kept.
    expectDecodes(bytes({'A', 0xFF, 0x00, 'x', 0, 'B'}), bytes({'A', 0, 'B'}), 1, 0, true, '\0',
                  true);
    // A break is not data either way.
    expectDecodes(bytes({'A', 0xFF, 0x00, 0x00, 'B'}), "AB", 0, 1, true, '?', true);
}

TEST(SerilonDecoder, WithoutMarkingBytesAreData) {
    expectDecodes(bytes({0xFF, 0x00, 'x', 0xFF, 0xFF}), bytes({0xFF, 0x00, 'x', 0xFF, 0xFF}), 0, 0,
                  false);
}

TEST(SerilonDecoder, UnknownMarkKeepsBothBytesEvenAcrossReads) {
    // The kernel never sends FF followed by anything but FF or 00; if it did, nothing
    // may be lost, even when the FF ended the previous read (the output then has one
    // byte more than that call's input, which the buffer allows for).
    expectDecodes(bytes({'A', 0xFF, 'q', 'B'}), bytes({'A', 0xFF, 'q', 'B'}), 0, 0);
}

TEST(SerilonDecoder, StateSurvivesCallsAndSwitchingOffClearsIt) {
    InputDecoder decoder;
    decoder.configure(true, '?', false);
    DecodeCounts counts;
    std::uint8_t out[4];
    const std::uint8_t ff = 0xFF;
    EXPECT_EQ(decoder.decode(&ff, 1, out, counts), 0u);
    EXPECT_EQ(decoder.state(), InputDecoder::State::Mark);
    EXPECT_STREQ(InputDecoder::stateName(decoder.state()), "Mark");
    decoder.configure(false, '?', false);
    EXPECT_EQ(decoder.state(), InputDecoder::State::Data);
    const std::uint8_t a = 'a';
    ASSERT_EQ(decoder.decode(&a, 1, out, counts), 1u);
    EXPECT_EQ(out[0], 'a');
}

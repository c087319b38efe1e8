// Cutting the PC's byte stream into SOH ... EOT frames.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/scanner-sim/frame_parser.h"

namespace scanner_sim {
namespace {

struct Seen {
    FrameEventKind kind;
    std::string bytes;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> feedAll(FrameParser& p, const std::vector<std::string>& pieces) {
    std::vector<Seen> seen;
    for (const auto& piece : pieces)
        p.feed(piece, [&](const FrameEvent& e) { seen.push_back({e.kind, std::string(e.bytes)}); });
    return seen;
}

std::vector<Seen> framesOnly(const std::vector<Seen>& all) {
    std::vector<Seen> out;
    for (const auto& s : all)
        if (s.kind == FrameEventKind::Frame)
            out.push_back(s);
    return out;
}

TEST(FrameParser, FramesAcrossArbitraryReadBoundaries) {
    const std::string stream = "xx\x01<TXPING:>\x04\x01<SETPAR:>\x04yy";
    const std::vector<Seen> expected = {{FrameEventKind::Frame, "<TXPING:>"},
                                        {FrameEventKind::Frame, "<SETPAR:>"}};
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameParser p;
        auto seen = feedAll(p, {stream.substr(0, cut), stream.substr(cut)});
        EXPECT_EQ(framesOnly(seen), expected) << "cut at " << cut;
        EXPECT_EQ(p.state(), FrameState::Hunting);
    }
    FrameParser bytewise;
    std::vector<std::string> singles;
    for (char c : stream)
        singles.emplace_back(1, c);
    EXPECT_EQ(framesOnly(feedAll(bytewise, singles)), expected);
}

TEST(FrameParser, StrayBytesAreReportedAndNeverStartAFrame) {
    FrameParser p;
    auto seen = feedAll(p, {"AB\x06\x15\x04<X>", std::string("\x01\x04", 2)});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (Seen{FrameEventKind::Stray, "AB\x06\x15\x04<X>"}));
    EXPECT_EQ(seen[1], (Seen{FrameEventKind::Frame, ""})); // an empty frame is still a frame
}

TEST(FrameParser, ANewSohRestartsAHalfFrame) {
    FrameParser p;
    auto seen = feedAll(p, {"\x01<RSBA", "\x01<RSBAUD=9600>\x04"});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (Seen{FrameEventKind::Restarted, "<RSBA"}));
    EXPECT_EQ(seen[1], (Seen{FrameEventKind::Frame, "<RSBAUD=9600>"}));
}

TEST(FrameParser, OversizeFrameIsReportedAtItsEotAndTheNextFrameIsClean) {
    FrameParser p(8);
    auto seen = feedAll(p, {"\x01" + std::string(5000, 'A') + "\x04", "\x01<OK>\x04"});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].kind, FrameEventKind::Oversize);
    EXPECT_EQ(seen[0].bytes, std::string(8, 'A')); // only the kept part
    EXPECT_EQ(seen[1], (Seen{FrameEventKind::Frame, "<OK>"}));

    // A SOH during the overflow starts a fresh frame.
    FrameParser q(4);
    auto again = feedAll(q, {"\x01"
                             "123456789\x01<A>\x04"});
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].kind, FrameEventKind::Restarted);
    EXPECT_EQ(again[1], (Seen{FrameEventKind::Frame, "<A>"}));
}

TEST(FrameParser, ResetForgetsAPartialFrame) {
    FrameParser p;
    feedAll(p, {"\x01<RSBAUD="});
    EXPECT_EQ(p.state(), FrameState::InFrame);
    EXPECT_EQ(frameStateName(p.state()), "InFrame");
    p.reset();
    auto seen = feedAll(p, {"9600>\x04"});
    EXPECT_TRUE(framesOnly(seen).empty());
}

} // namespace
} // namespace scanner_sim

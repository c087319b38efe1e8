// The benchmark's own pieces: the image it loads must carry a header the scanner
// reads, the load token exchange must stop exactly after the answer (the transfer's
// bytes follow it) and give up cleanly, and a load counts only when the image arrived
// whole.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "bench/upgrade/firmware_image.h"
#include "bench/upgrade/load_timing.h"
#include "bench/upgrade/load_token.h"
#include "libs/transvex/crc16.h"
#include "support/pty_pair.h"
#include "tools/scanner-sim/image_header.h"
#include "tools/scanner-sim/sha256.h"

using namespace upgrade_bench;

namespace {

std::string_view asText(const std::vector<uint8_t>& v) {
    return {reinterpret_cast<const char*>(v.data()), v.size()};
}

} // namespace

TEST(FirmwareImage, TheScannerReadsItsHeaderFields) {
    const std::vector<uint8_t> image = makeImage(1 << 20, 7);
    ASSERT_EQ(image.size(), 1u << 20);
    const auto h = scanner_sim::parseImageHeader(asText(image), image.size());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->version, "9.90");
    EXPECT_EQ(h->date, "Dec 07 2026");
    EXPECT_EQ(h->codeSize, std::to_string((1 << 20) - kHeaderSize));
    const std::span<const uint8_t> code(image.data() + kHeaderSize, image.size() - kHeaderSize);
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", transvex::crc16(code));
    EXPECT_EQ(h->crc16, crc);
    // Only printable text before the code, so every field shows as it was written.
    for (size_t i = 0; i + 1 < kHeaderSize; ++i) {
        EXPECT_TRUE(image[i] >= 0x20 && image[i] < 0x7F) << "byte " << i + 1;
    }
}

TEST(FirmwareImage, LongFieldsAreCutAndTinyImagesStillCarryCode) {
    ImageFields f;
    f.version = "12.345.678";
    f.date = "Wednesday, Dec 07 2026";
    f.title = std::string(100, 'T');
    const std::vector<uint8_t> image = makeImage(10, 1, f);
    ASSERT_EQ(image.size(), kHeaderSize + 1);
    const auto h = scanner_sim::parseImageHeader(asText(image), image.size());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->version, "12.345.");
    EXPECT_EQ(h->date, "Wednesday,"); // the blank after it is cut as trailing
    EXPECT_EQ(h->codeSize, "1");
    // The cut title leaves the code size where it belongs.
    EXPECT_EQ(image[47], 'T');
    EXPECT_EQ(image[48], '1');
}

TEST(FirmwareImage, SameSeedSameImageOtherSeedOtherCode) {
    EXPECT_EQ(makeImage(5000, 3), makeImage(5000, 3));
    const auto a = makeImage(5000, 3), b = makeImage(5000, 4);
    EXPECT_NE(std::vector<uint8_t>(a.begin() + kHeaderSize, a.end()),
              std::vector<uint8_t>(b.begin() + kHeaderSize, b.end()));
}

TEST(FirmwareImage, WritingToAnUnwritablePlaceFails) {
    const std::vector<uint8_t> image = makeImage(200, 1);
    EXPECT_FALSE(writeImageFile("/nonexistent-dir/x/image.bin", image));
}

TEST(LoadToken, FirstAckOrNakDecides) {
    EXPECT_EQ(firstAnswer(""), TokenAnswer::None);
    EXPECT_EQ(firstAnswer("\r\n\x80\xff"), TokenAnswer::None);
    EXPECT_EQ(firstAnswer("\x06"), TokenAnswer::Ack);
    EXPECT_EQ(firstAnswer("\xf0\x81\x06\x15"), TokenAnswer::Ack);
    EXPECT_EQ(firstAnswer("\x15\x06"), TokenAnswer::Nak);
    EXPECT_STREQ(tokenAnswerName(TokenAnswer::Nak), "NAK");
}

class TokenExchange : public ::testing::Test {
protected:
    void SetUp() override {
        slave_ = ::open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(slave_, 0);
        // Raw, as a serial port used for binary transfers is.
        termios t{};
        ASSERT_EQ(tcgetattr(slave_, &t), 0);
        cfmakeraw(&t);
        ASSERT_EQ(tcsetattr(slave_, TCSANOW, &t), 0);
    }
    void TearDown() override {
        if (slave_ >= 0) {
            ::close(slave_);
        }
    }
    vort::test::PtyPair pty_;
    int slave_ = -1;
};

TEST_F(TokenExchange, SendsTheFrameAndLeavesWhatFollowsTheAckUnread) {
    std::thread scanner([&] {
        const std::string frame = pty_.read(kLoadTokenFrame.size(), 3000);
        EXPECT_EQ(frame, kLoadTokenFrame);
        // Noise, the ACK and at once the receiver's first bytes.
        pty_.writeAll(std::string("\x81\xfe\x06**\x18"
                                  "B01",
                                  9));
    });
    std::string error;
    EXPECT_EQ(exchangeLoadToken(slave_, 3000, error), TokenAnswer::Ack) << error;
    scanner.join();
    char rest[16] = {};
    ASSERT_EQ(::read(slave_, rest, sizeof rest), 6);
    EXPECT_EQ(std::string(rest, 6), "**\x18"
                                    "B01");
}

TEST_F(TokenExchange, NakSilenceAndHangUpEachEndIt) {
    std::thread nak([&] {
        pty_.read(kLoadTokenFrame.size(), 3000);
        pty_.writeAll("\x15");
    });
    std::string error;
    EXPECT_EQ(exchangeLoadToken(slave_, 3000, error), TokenAnswer::Nak);
    nak.join();

    // Nobody answers: the time-out holds, with a reason.
    pty_.read(64, 100);
    error.clear();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(exchangeLoadToken(slave_, 300, error), TokenAnswer::None);
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(290));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_NE(error.find("did not answer"), std::string::npos) << error;

    // The other end goes away: ends at once instead of waiting out the time.
    pty_.closeMaster();
    error.clear();
    const auto t1 = std::chrono::steady_clock::now();
    EXPECT_EQ(exchangeLoadToken(slave_, 5000, error), TokenAnswer::None);
    EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::milliseconds(2000));
    EXPECT_FALSE(error.empty());
}

TEST(JudgeReport, OnlyTheWholeImageCounts) {
    const std::string sha = scanner_sim::sha256Hex("abc", 3);
    vort::test::ScannerSimImage good;
    good.ok = true;
    good.size = 3;
    good.sha256 = sha;

    LoadTiming t;
    judgeReport(t, good, 3, sha);
    EXPECT_TRUE(t.ok);

    LoadTiming missing;
    judgeReport(missing, std::nullopt, 3, sha);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("no image"), std::string::npos);

    vort::test::ScannerSimImage changed = good;
    changed.sha256 = scanner_sim::sha256Hex("abd", 3);
    LoadTiming c;
    judgeReport(c, changed, 3, sha);
    EXPECT_FALSE(c.ok);
    vort::test::ScannerSimImage shorter = good;
    shorter.size = 2;
    LoadTiming s;
    judgeReport(s, shorter, 3, sha);
    EXPECT_FALSE(s.ok);

    vort::test::ScannerSimImage failed;
    failed.error = "timeout";
    LoadTiming f;
    judgeReport(f, failed, 3, sha);
    EXPECT_FALSE(f.ok);
    EXPECT_NE(f.error.find("timeout"), std::string::npos);

    // A sender that failed stays failed even when the image came through.
    LoadTiming senderFailed;
    senderFailed.error = "sz failed with exit code 1";
    judgeReport(senderFailed, good, 3, sha);
    EXPECT_FALSE(senderFailed.ok);
    EXPECT_EQ(senderFailed.error, "sz failed with exit code 1");
}

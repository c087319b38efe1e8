// Identity answers, the serial-number gate, image headers and version comparison.
#include <gtest/gtest.h>

#include <string>

#include "tools/scanner-sim/identity.h"
#include "tools/scanner-sim/image_header.h"

namespace scanner_sim {
namespace {

TEST(IdentityAnswers, RevisionsAndModelArePaddedSoTheLineEndStaysOutOfTheirFields) {
    Identity id;
    id.app1Revision = "3.22";
    id.hardwareRevision = "V1.05 build 7";
    id.model = "AB";
    id.webAddress = "www.example.com";
    id.registrationKey = "";
    EXPECT_EQ(identityAnswer(id, "APP1RV"), "3.22   \r\n");
    EXPECT_EQ(identityAnswer(id, "HARDRV"), "V1.05 build 7\r\n"); // longer: whole
    EXPECT_EQ(identityAnswer(id, "FINGER"), "AB      \r\n");
    EXPECT_EQ(identityAnswer(id, "WEBSIT"), "www.example.com\r\n");
    EXPECT_EQ(identityAnswer(id, "REGKEY"), "\r\n");
    EXPECT_FALSE(identityAnswer(id, "SETPAR"));
    EXPECT_FALSE(identityAnswer(id, "BOOTRV")); // no query reports the boot revision
    ASSERT_NE(identityField(id, "BOOTRV"), nullptr);
    EXPECT_EQ(identityField(id, "app1rv"), nullptr); // names are exact
}

TEST(IdentityAnswers, SerialNumberAndKeyExistFromRevision322) {
    Identity id;
    for (auto [rev, has] : std::initializer_list<std::pair<const char*, bool>>{{"3.22", true},
                                                                               {"3.30", true},
                                                                               {"3.3", true},
                                                                               {"4.00", true},
                                                                               {"3.21", false},
                                                                               {"3.2", false},
                                                                               {"2.99", false},
                                                                               {"", false},
                                                                               {"x3.5", false},
                                                                               {"3.22.01", true}}) {
        id.app1Revision = rev;
        EXPECT_EQ(hasSerialAndKey(id), has) << rev;
    }
    EXPECT_DOUBLE_EQ(revisionValue(" 3.25abc"), 3.25);
}

TEST(IdentityAnswers, RegistrationKeyChecks) {
    std::string error;
    EXPECT_TRUE(checkRegistrationKey("ABC-123 x>y", error));
    EXPECT_TRUE(checkRegistrationKey(std::string(30, 'K'), error));
    EXPECT_FALSE(checkRegistrationKey(std::string(31, 'K'), error));
    EXPECT_FALSE(checkRegistrationKey("AB\rC", error));
    EXPECT_FALSE(error.empty());
}

std::string imageWith(const std::string& version, size_t size = 200) {
    std::string image(size, 'x');
    auto put = [&](size_t pos, const std::string& text) { image.replace(pos, text.size(), text); };
    put(0, std::string(108, ' '));
    put(48, "00012345");
    put(64, "BEEF");
    put(80, version);
    put(96, "Mar 03 2026");
    return image;
}

TEST(ImageHeader, FieldsAtTheirPositions) {
    auto h = parseImageHeader(imageWith("3.30"), 200);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->codeSize, "00012345");
    EXPECT_EQ(h->crc16, "BEEF");
    EXPECT_EQ(h->version, "3.30"); // trailing blanks go
    EXPECT_EQ(h->date, "Mar 03 2026");
}

TEST(ImageHeader, OnlyImagesLongerThanTheHeaderHaveOne) {
    EXPECT_FALSE(parseImageHeader(imageWith("3.30", 108), 108));
    EXPECT_TRUE(parseImageHeader(imageWith("3.30", 109), 109));
    // The first bytes alone are enough when the size says more follow.
    EXPECT_TRUE(parseImageHeader(imageWith("3.30", 108), 5000));
    EXPECT_FALSE(parseImageHeader("short", 5000));
}

TEST(ImageHeader, ControlBytesInAFieldCannotReachAnAnswerLine) {
    std::string image = imageWith("3.3\r\n\x01");
    image[86] = '\0';
    auto h = parseImageHeader(image, image.size());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->version, "3.3???");
    EXPECT_EQ(h->version.find_first_of("\r\n\x01"), std::string::npos);
}

TEST(DottedVersions, CompareAsTheConfigurationProgramDoes) {
    EXPECT_EQ(dottedVersionNumber(" 3.22"), 322);
    EXPECT_EQ(dottedVersionNumber("3.3"), 33);
    EXPECT_EQ(dottedVersionNumber("3.22.01"), 32201);
    EXPECT_EQ(compareDottedVersions("3.22", "3.21"), 1); // older image: a warning
    EXPECT_EQ(compareDottedVersions("3.22", "3.22"), 0);
    EXPECT_EQ(compareDottedVersions("3.22", "3.30"), -1);
    EXPECT_EQ(compareDottedVersions("3.22", "3.3"), 1); // 3.3 reads as 33
    EXPECT_FALSE(compareDottedVersions("3.22", "3.2a"));
    EXPECT_FALSE(compareDottedVersions("3.22", "   "));
    EXPECT_FALSE(dottedVersionNumber(""));
}

} // namespace
} // namespace scanner_sim

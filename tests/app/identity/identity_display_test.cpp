// The texts the identity fields show, the 3.22 gate and the key write token.
#include "app/identity/identity_display.h"

#include <gtest/gtest.h>

#include "app/identity/revision_state.h"

namespace tcu {
namespace {

TEST(IdentityDisplayTest, FieldsTakeTheirFirstCharactersOrAShorterAnswerWhole) {
    EXPECT_EQ(RevisionCaption(QStringLiteral("V1.05 build 7")), QStringLiteral(" V1.05 b"));
    EXPECT_EQ(RevisionCaption(QStringLiteral("3.22   \r\n")), QStringLiteral(" 3.22   "));
    EXPECT_EQ(RevisionCaption(QStringLiteral("3.2\r\n")), QStringLiteral(" 3.2\r\n"))
        << "a short answer is taken whole, line end included";
    EXPECT_EQ(RevisionCaption(QString()), QStringLiteral(" "));
    EXPECT_EQ(ModelCaption(QStringLiteral("TC-1000XYZ\r\n")), QStringLiteral(" TC-1000X"));
    EXPECT_EQ(ModelCaption(QStringLiteral("TC1\r\n")), QStringLiteral(" TC1\r\n"));
    EXPECT_EQ(WebCaption(QStringLiteral("www.example.com/scanners\r\n")),
              QStringLiteral("www.example.com/s"))
        << "seventeen characters, no leading blank";
    EXPECT_EQ(WebCaption(QStringLiteral("a.b\r\n")), QStringLiteral("a.b\r\n"));
}

TEST(IdentityDisplayTest, SerialAndKeyExistFromRevision322On) {
    EXPECT_FALSE(IdentitySupported(App1RevFromAnswer(QStringLiteral("3.21   \r\n"))));
    EXPECT_TRUE(IdentitySupported(App1RevFromAnswer(QStringLiteral("3.22   \r\n"))));
    EXPECT_FALSE(IdentitySupported(0)) << "no scanner has answered yet";
    EXPECT_FALSE(IdentitySupported(App1RevFromAnswer(QStringLiteral("3.3    \r\n"))))
        << "3.3 reads as 33, below the gate";
    EXPECT_TRUE(IdentitySupported(App1RevFromAnswer(QStringLiteral("4.00"))));
}

TEST(IdentityDisplayTest, KeyTokenCarriesTheKeyAsTyped) {
    EXPECT_EQ(RegistrationKeyToken(QStringLiteral("ABC")), QStringLiteral("<REGKEY=ABC>"));
    EXPECT_EQ(RegistrationKeyToken(QStringLiteral(" a>b ")), QStringLiteral("<REGKEY= a>b >"));
    EXPECT_EQ(RegistrationKeyToken(QString()), QStringLiteral("<REGKEY=>"));
}

} // namespace
} // namespace tcu

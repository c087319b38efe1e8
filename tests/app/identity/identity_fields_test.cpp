// The identity fields filled by Receive, the 3.22 gate, the start-up's quiet query and
// the registration key write, against the simulator.
#include "app/identity/revision_state.h"
#include "identity_test_base.h"

namespace tcu::test {
namespace {

using IdentityFieldsTest = IdentityTest;

TEST_F(IdentityFieldsTest, ReceiveAt322ShowsEveryIdentityField) {
    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    ASSERT_TRUE(sim_->set("APP2RV", "1.7"));
    ASSERT_TRUE(sim_->set("HARDRV", "HW-B"));
    ASSERT_TRUE(sim_->set("FINGER", "TC1-PDF"));
    ASSERT_TRUE(sim_->set("WEBSIT", "www.example.com/scanners"));
    ASSERT_TRUE(sim_->set("SERIAL", "SN0042"));
    ASSERT_TRUE(sim_->set("REGKEY", "KEY-1"));
    id().labRevision[0]->setText(QStringLiteral("old boot"));
    id().Text5->setText(QStringLiteral("typed"));

    form_->cmdReceive_Click();
    EXPECT_EQ(form_->sbrStatus->panelText(2), "");
    EXPECT_EQ(core().App1RevNumber, 322);
    EXPECT_EQ(id().labRevision[0]->text(), "") << "Receive empties the hidden boot field";
    EXPECT_EQ(id().labRevision[1]->text(), " 3.22   ");
    EXPECT_EQ(id().labRevision[2]->text(), " 1.7    ");
    EXPECT_EQ(id().labRevision[3]->text(), " HW-B   ");
    EXPECT_EQ(id().labRevision[4]->text(), " TC1-PDF ");
    EXPECT_EQ(id().labWeb->text(), "www.example.com/s");
    EXPECT_EQ(id().Label4->text(), "SN0042\r\n") << "whole answer, line end kept";
    EXPECT_EQ(id().Label5->text(), "KEY-1\r\n");
    EXPECT_EQ(id().Text5->text(), "") << "emptied after the key was read";
    EXPECT_EQ(sentCount("<SERIAL:>"), 1);
    EXPECT_EQ(sentCount("<REGKEY:>"), 1);
    EXPECT_FALSE(id().labRevision[0]->isVisibleTo(form_.get()));
    EXPECT_FALSE(id().labRevision[5]->isVisibleTo(form_.get()));
}

TEST_F(IdentityFieldsTest, ReceiveAt321ShowsNotSupportedAndKeepsOlderFields) {
    ASSERT_TRUE(sim_->set("APP1RV", "3.21"));
    id().Label5->setText(QStringLiteral("kept"));
    id().Text5->setText(QStringLiteral("typed"));
    form_->cmdReceive_Click();
    EXPECT_EQ(core().App1RevNumber, 321);
    EXPECT_EQ(id().Label4->text(), "NOT SUPPORTED");
    EXPECT_EQ(id().Label5->text(), "kept") << "only overwritten by an answer";
    EXPECT_EQ(id().Text5->text(), "");
    EXPECT_EQ(sentCount("<SERIAL:>"), 0);
    EXPECT_EQ(sentCount("<REGKEY:>"), 0);

    // "3.3" reads as 33: below the gate as well.
    ASSERT_TRUE(sim_->set("APP1RV", "3.3"));
    ASSERT_TRUE(sim_->clearFrames());
    form_->cmdReceive_Click();
    EXPECT_EQ(core().App1RevNumber, 33);
    EXPECT_EQ(sentCount("<SERIAL:>"), 0);
}

TEST_F(IdentityFieldsTest, QuietQueryLearnsTheRevisionWithoutShowingIt) {
    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    id().labRevision[1]->setText(QStringLiteral(" before"));
    core().QuietRevQuery = true;
    EXPECT_EQ(form_->ExchangeCommand(QStringLiteral("<APP1RV:>")), 1);
    core().QuietRevQuery = false;
    EXPECT_EQ(core().App1RevNumber, 322);
    EXPECT_EQ(id().labRevision[1]->text(), " before");
    EXPECT_EQ(form_->ExchangeCommand(QStringLiteral("<APP1RV:>")), 1);
    EXPECT_EQ(id().labRevision[1]->text(), " 3.22   ");
}

TEST_F(IdentityFieldsTest, WriteSendsTheKeyAsTypedOnlyFrom322On) {
    // Below the gate: the entry shows "NOT SUPPORTED" and nothing goes out.
    ASSERT_TRUE(sim_->set("APP1RV", "3.21"));
    ASSERT_EQ(form_->ExchangeCommand(QStringLiteral("<APP1RV:>")), 1);
    ASSERT_TRUE(sim_->clearFrames());
    id().Text5->setText(QStringLiteral("ABC"));
    id().Command1->click();
    EXPECT_EQ(id().Text5->text(), "NOT SUPPORTED");
    EXPECT_TRUE(sentTokens().empty());

    // At 3.22: exactly the token, the key stored by the scanner, the field not re-read.
    ASSERT_TRUE(sim_->set("APP1RV", "3.22"));
    ASSERT_EQ(form_->ExchangeCommand(QStringLiteral("<APP1RV:>")), 1);
    ASSERT_TRUE(sim_->clearFrames());
    id().Label5->setText(QStringLiteral("old"));
    id().Text5->setText(QStringLiteral("ABC"));
    id().Command1->click();
    EXPECT_EQ(sentTokens(), std::vector<std::string>{"<REGKEY=ABC>"});
    EXPECT_EQ(sim_->get("REGKEY"), "ABC");
    EXPECT_EQ(id().Label5->text(), "old");
    EXPECT_EQ(id().Text5->text(), "ABC");

    // The entry holds at most 30 characters.
    id().Text5->setText(QString(40, QLatin1Char('K')));
    EXPECT_EQ(id().Text5->text().size(), 30);
}

} // namespace
} // namespace tcu::test

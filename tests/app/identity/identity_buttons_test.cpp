// "&Factory", "&GoTo Web" and the About window, against the simulator.
#include <QImage>
#include <QLabel>
#include <QTimer>

#include "app/identity/revision_state.h"
#include "identity_test_base.h"

namespace tcu::test {
namespace {

using IdentityButtonsTest = IdentityTest;

TEST_F(IdentityButtonsTest, FactoryDefaultSwitchesTheLineAndReceives) {
    // Scanner and PC at 19200: the factory setup brings the scanner to 9600, and the
    // PC follows before it asks for the setup.
    ASSERT_EQ(sim_->command("line 19200,N,8,1"), "ok 19200,N,8,1");
    form_->CommCtl1.setSettings(QStringLiteral("19200,N,8,1"));
    bool buttonsDuringFactory = true;
    form_->answerRules().add(QStringLiteral("<SETPAR:>"), [&](const QString&) {
        buttonsDuringFactory = form_->cmdFactory->isEnabled() || form_->cmdWeb->isEnabled();
    });
    form_->cmdFactory_Click();
    EXPECT_EQ(sim_->line(), "9600,N,8,1");
    EXPECT_EQ(form_->CommCtl1.settings(), "9600,N,8,1");
    EXPECT_TRUE(form_->CommCtl1.portOpen()) << "the port is not closed for the switch";
    EXPECT_EQ(form_->sbrStatus->panelText(1), "Settings: 9600,N,8,1  Com Port: 1");
    EXPECT_EQ(form_->sbrStatus->panelText(2), "");
    const auto tokens = sentTokens();
    ASSERT_GE(tokens.size(), 2u);
    EXPECT_EQ(tokens[0], "<FACDEF=1>") << "no question comes first";
    EXPECT_EQ(tokens[1], "<SETPAR:>") << "Receive follows";
    EXPECT_FALSE(buttonsDuringFactory);
    EXPECT_TRUE(buttonsEnabled());
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(IdentityButtonsTest, FactoryDefaultNotAcknowledgedKeepsThePort) {
    ASSERT_EQ(sim_->command("line 19200,N,8,1"), "ok 19200,N,8,1");
    form_->CommCtl1.setSettings(QStringLiteral("19200,N,8,1"));
    ASSERT_TRUE(sim_->fault("nak 3"));
    form_->cmdFactory_Click();
    EXPECT_EQ(form_->sbrStatus->panelText(2), "Error in Sending Defaults");
    EXPECT_EQ(form_->CommCtl1.settings(), "19200,N,8,1");
    EXPECT_EQ(sim_->line(), "19200,N,8,1") << "the scanner acted on none of the tries";
    EXPECT_EQ(sentCount("<SETPAR:>"), 0);
    EXPECT_TRUE(buttonsEnabled());
}

TEST_F(IdentityButtonsTest, WebOpensTheShownAddressOnlyWithAnOpenPort) {
    // Empty web field: nothing.
    form_->cmdWeb_Click();
    EXPECT_TRUE(dialogs_.shellOpens().empty());

    ASSERT_TRUE(sim_->set("WEBSIT", "www.example.com"));
    ASSERT_EQ(form_->ExchangeCommand(QStringLiteral("<WEBSIT:>")), 1);
    ASSERT_EQ(id().labWeb->text(), "www.example.com\r\n");
    dialogs_.answerShellOpen(false); // a failed open is not reported
    form_->cmdWeb->click();
    EXPECT_EQ(dialogs_.shellOpens(), std::vector<QString>{QStringLiteral("www.example.com")});
    EXPECT_TRUE(dialogs_.boxes().empty());
    EXPECT_TRUE(buttonsEnabled());

    // Port closed: nothing, even with an address shown.
    form_->CommCtl1.setPortOpen(false);
    form_->cmdWeb_Click();
    EXPECT_EQ(dialogs_.shellOpens().size(), 1u);
}

TEST_F(IdentityButtonsTest, WebOpensTheWholeAddressThoughTheFieldShowsSeventeenCharacters) {
    ASSERT_TRUE(sim_->set("WEBSIT", "http://scanner.example.com/support/tc1"));
    ASSERT_EQ(form_->ExchangeCommand(QStringLiteral("<WEBSIT:>")), 1);
    ASSERT_EQ(id().labWeb->text(), "http://scanner.ex");
    dialogs_.answerShellOpen(true);
    form_->cmdWeb->click();
    EXPECT_EQ(dialogs_.shellOpens(),
              std::vector<QString>{QStringLiteral("http://scanner.example.com/support/tc1")});

    // A shorter address later replaces the longer one entirely.
    ASSERT_TRUE(sim_->set("WEBSIT", "www.example.org"));
    ASSERT_EQ(form_->ExchangeCommand(QStringLiteral("<WEBSIT:>")), 1);
    dialogs_.answerShellOpen(true);
    form_->cmdWeb->click();
    ASSERT_EQ(dialogs_.shellOpens().size(), 2u);
    EXPECT_EQ(dialogs_.shellOpens()[1], "www.example.org");
}

TEST_F(IdentityButtonsTest, AboutShowsOkAndHidesTheDetectionLabels) {
    bool okShown = false, labelsHidden = false, modal = false;
    QTimer::singleShot(0, form_.get(), [&] {
        Form2& about = form_->form2();
        okShown = about.Command3->isVisible();
        labelsHidden = !about.Label2->isVisible() && !about.Label3->isVisible();
        modal = about.isModal();
        about.Command3->click();
    });
    form_->mnuabout->trigger();
    Form2& about = form_->form2();
    EXPECT_TRUE(okShown);
    EXPECT_TRUE(labelsHidden);
    EXPECT_TRUE(modal);
    EXPECT_FALSE(about.isVisible());
    EXPECT_TRUE(about.Command3->isHidden());
    EXPECT_FALSE(about.Label2->isHidden()) << "ready for the detection again";
    EXPECT_FALSE(about.Label3->isHidden());
    EXPECT_TRUE(form_->mnuabout->isEnabled());

    // The picture is drawn, at its size, and the window cannot be stretched.
    const QImage picture = about.Image1->pixmap().toImage();
    ASSERT_EQ(picture.size(), QSize(268, 289));
    EXPECT_EQ(picture.pixelColor(5, 5).alpha(), 255) << "the artwork did not load";
    EXPECT_NE(picture.pixelColor(5, 5), picture.pixelColor(134, 100));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_EQ(about.Label1->text(), " TCU - 2.11");
}

} // namespace
} // namespace tcu::test

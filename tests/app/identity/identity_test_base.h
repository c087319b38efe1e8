// A main window connected at 9600,N,8,1 to the simulator on COM1, for the identity tests.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <string>
#include <vector>

#include "app/identity/identity_fields.h"
#include "tcu_fixture.h"

namespace tcu::test {

class IdentityTest : public TcuTest {
protected:
    void SetUp() override {
        TcuTest::SetUp();
        startSim(1, 9600);
        Form1& f = openPort1(QStringLiteral("9600,N,8,1"));
        f.sbrStatus->setPanelText(1, f.openPortText());
        recordPanel2();
        ASSERT_TRUE(sim_->clearFrames());
    }
    IdentityFields& id() { return form_->identity(); }
    // The tokens of the frames the simulator received, SOH and EOT removed.
    std::vector<std::string> sentTokens() {
        std::vector<std::string> tokens;
        for (const std::string& f : sim_->frames())
            tokens.push_back(f.substr(1, f.size() - 2));
        return tokens;
    }
    long sentCount(const std::string& token) {
        const auto tokens = sentTokens();
        return std::count(tokens.begin(), tokens.end(), token);
    }
    bool buttonsEnabled() {
        return form_->cmdSend->isEnabled() && form_->cmdReceive->isEnabled() &&
               form_->cmdFactory->isEnabled() && form_->cmdRevision->isEnabled() &&
               form_->cmdWeb->isEnabled();
    }
};

} // namespace tcu::test

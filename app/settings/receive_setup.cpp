// "&Receive": the scanner's whole setup onto the window, then its identity; and the
// "<SETPAR:>" answer rule that applies the setup records.
#include "app/forms/form1.h"
#include "app/identity/revision_state.h"
#include "app/settings/apply_setup_token.h"
#include "app/settings/settings_window.h"
#include "app/settings/split_records.h"

namespace tcu {

namespace {

struct IdentityQuery {
    const char* token;
    const char* failure;
};

constexpr IdentityQuery kIdentityQueries[] = {
    {"<APP1RV:>", "Error in App1 Rev"},        {"<APP2RV:>", "Error in App2 Rev"},
    {"<HARDRV:>", "Error in Hardware Rev"},    {"<FINGER:>", "Error in Model Rev"},
    {"<WEBSIT:>", "Error in Web information"}, {"<SERIAL:>", "Error in Serial Number"},
    {"<REGKEY:>", "Error in Registration Key"}};

// The serial number and registration key exist from this revision on.
constexpr int16_t kFirstRevisionWithSerial = 322;

void call(const std::function<void()>& hook) {
    if (hook)
        hook();
}

} // namespace

void Form1::SettingsAnswer(const QString& answer) {
    sbrStatus->setPanelText(2, QStringLiteral("Current Settings"));
    const QByteArray bytes = answer.toLatin1();
    settings::SplitRecords(
        std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
        [this](std::string_view token) { settings::ApplySetupToken(*settings_, token); });
}

void Form1::cmdReceive_Click() {
    setScannerButtons(false);
    sbrStatus->setPanelText(2, QStringLiteral("Current Settings"));
    sbrStatus->setPanelText(2, QString());
    if (ExchangeCommand(QStringLiteral("<SETPAR:>")) != 1) {
        sbrStatus->setPanelText(2, QStringLiteral("Error in Receiving"));
        setScannerButtons(true);
        return;
    }
    sbrStatus->setPanelText(2, QString());
    call(receiveIdentity.clearRevisions);

    bool chainEnded = false; // "NOT SUPPORTED" shown, or the last query answered
    for (int i = 0; i < 7; ++i) {
        if (i == 5 && core().App1RevNumber < kFirstRevisionWithSerial) {
            call(receiveIdentity.serialNotSupported);
            chainEnded = true;
            break;
        }
        if (ExchangeCommand(QString::fromLatin1(kIdentityQueries[i].token)) != 1) {
            sbrStatus->setPanelText(2, QString::fromLatin1(kIdentityQueries[i].failure));
            break;
        }
        sbrStatus->setPanelText(2, QString());
        chainEnded = i == 6;
    }
    if (chainEnded)
        call(receiveIdentity.clearRegistrationEntry);
    setScannerButtons(true);
}

} // namespace tcu

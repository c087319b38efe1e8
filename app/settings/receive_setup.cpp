// Receive: the scanner's whole setup into the setup, then its identity; and the
// "<SETPAR:>" answer rule that applies the setup records.
#include "app/core/program_core.h"
#include "app/settings/apply_setup_token.h"
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

void ProgramCore::SettingsAnswer(const QString& answer) {
    setPanelText(2, QStringLiteral("Current Settings"));
    if (setup_ == nullptr)
        return;
    const QByteArray bytes = answer.toLatin1();
    settings::SplitRecords(
        std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
        [this](std::string_view token) { settings::ApplySetupToken(*setup_, token); });
}

int16_t ProgramCore::ReceiveSetup() {
    setScannerButtons(false);
    setPanelText(2, QStringLiteral("Current Settings"));
    setPanelText(2, QString());
    if (ExchangeCommand(QStringLiteral("<SETPAR:>")) != 1) {
        setPanelText(2, QStringLiteral("Error in Receiving"));
        setScannerButtons(true);
        return 0;
    }
    setPanelText(2, QString());
    const int16_t identified = ReadIdentity();
    setScannerButtons(true);
    return identified;
}

int16_t ProgramCore::ReadIdentity() {
    call(receiveIdentity.clearRevisions);
    bool chainEnded = false; // "NOT SUPPORTED" shown, or the last query answered
    for (int i = 0; i < 7; ++i) {
        if (i == 5 && App1RevNumber < kFirstRevisionWithSerial) {
            call(receiveIdentity.serialNotSupported);
            chainEnded = true;
            break;
        }
        if (ExchangeCommand(QString::fromLatin1(kIdentityQueries[i].token)) != 1) {
            setPanelText(2, QString::fromLatin1(kIdentityQueries[i].failure));
            break;
        }
        setPanelText(2, QString());
        chainEnded = i == 6;
    }
    if (chainEnded)
        call(receiveIdentity.clearRegistrationEntry);
    return chainEnded ? 1 : 0;
}

} // namespace tcu

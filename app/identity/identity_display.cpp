#include "app/identity/identity_display.h"

namespace tcu {

QString RevisionCaption(const QString& answer) {
    return QLatin1Char(' ') + answer.left(7);
}

QString ModelCaption(const QString& answer) {
    return QLatin1Char(' ') + answer.left(8);
}

QString WebCaption(const QString& answer) {
    return answer.left(17);
}

bool IdentitySupported(int16_t app1RevNumber) {
    return app1RevNumber > 321;
}

QString RegistrationKeyToken(const QString& key) {
    return QStringLiteral("<REGKEY=") + key + QLatin1Char('>');
}

} // namespace tcu

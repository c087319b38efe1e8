#include "app/upgrade/upgrade_rules.h"

#include "app/link/run_time_error.h"
#include "app/link/text_numbers.h"

namespace tcu::upgrade {

double revisionValue(const QString& revision) {
    QString digits = revision;
    digits.remove(QLatin1Char('.'));
    // A short answer may carry its CR LF inside the compared characters.
    const std::optional<double> value = toNumber(digits.trimmed());
    if (!value)
        throw typeMismatch();
    return *value;
}

bool imageIsOlder(const QString& scannerRevision, const QString& imageVersion) {
    const double scanner = revisionValue(scannerRevision);
    return scanner > revisionValue(imageVersion);
}

std::optional<QString> fastLoadSettings(const QString& settings) {
    const qsizetype comma = settings.indexOf(QLatin1Char(','));
    if (comma < 0)
        return std::nullopt;
    // Everything from the first comma on: a fixed count of trailing characters would
    // cut settings with 1.5 stop bits.
    return QStringLiteral("115200") + settings.mid(comma);
}

std::optional<QString> savedBaud(const QString& savedSettings) {
    const qsizetype comma = savedSettings.indexOf(QLatin1Char(','));
    if (comma < 0)
        return std::nullopt;
    return savedSettings.left(comma);
}

BarState barAfterFileInfo(int32_t fileSize, int32_t data) {
    BarState bar;
    bar.maximum = fileSize < 1 ? 1 : fileSize;
    bar.value = data > bar.maximum ? bar.maximum : data;
    // A negative count would be refused by the bar; nothing has been sent then.
    if (bar.value < 0)
        bar.value = 0;
    return bar;
}

BarState barAfterFileInfo(int16_t action, int32_t fileSize, int32_t data) {
    return barAfterFileInfo(fileSize, action == kFileSkippedAction ? 0 : data);
}

int16_t nextAnimationFrame(int16_t frame) {
    const int16_t next = static_cast<int16_t>(frame + 1);
    return next >= kAnimationCells || next < 0 ? int16_t{0} : next;
}

} // namespace tcu::upgrade

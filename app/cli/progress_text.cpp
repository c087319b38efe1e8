#include "app/cli/progress_text.h"

#include <algorithm>
#include <cmath>

namespace tcu::cli {

namespace {

// Under this the rate says nothing yet.
constexpr double kMinRateSeconds = 0.5;

QString rateText(double bytesPerSecond) {
    if (bytesPerSecond >= 1000.0)
        return QString::number(bytesPerSecond / 1000.0, 'f', 1) + QStringLiteral(" kB/s");
    return QString::number(static_cast<int64_t>(bytesPerSecond)) + QStringLiteral(" B/s");
}

} // namespace

int percentOf(const TransferProgress& p) {
    if (p.total <= 0)
        return 0;
    const int64_t done = std::clamp<int64_t>(p.bytes, 0, p.total);
    return static_cast<int>(done * 100 / p.total);
}

double rateOf(const TransferProgress& p) {
    if (p.seconds < kMinRateSeconds || p.bytes <= 0)
        return 0.0;
    return static_cast<double>(p.bytes) / p.seconds;
}

QString timeLeftText(const TransferProgress& p) {
    const double rate = rateOf(p);
    if (rate <= 0.0 || p.total <= 0)
        return QStringLiteral("--:--");
    const double left = std::max<double>(0.0, static_cast<double>(p.total - p.bytes) / rate);
    const auto whole = static_cast<int64_t>(std::ceil(left));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString barLine(const TransferProgress& p, int width) {
    const int percent = percentOf(p);
    const int filled = percent * width / 100;
    QString bar = QStringLiteral("[") + QString(filled, QLatin1Char('#')) +
                  QString(width - filled, QLatin1Char('-')) + QStringLiteral("]");
    return QStringLiteral("%1 %2 %  %3/%4 bytes  %5  %6 left")
        .arg(bar)
        .arg(percent, 3)
        .arg(p.bytes)
        .arg(p.total)
        .arg(rateText(rateOf(p)), timeLeftText(p));
}

QString plainLine(const TransferProgress& p) {
    return QStringLiteral("upgrade: %1 % (%2 of %3 bytes, %4, %5 left)")
        .arg(percentOf(p))
        .arg(p.bytes)
        .arg(p.total)
        .arg(rateText(rateOf(p)), timeLeftText(p));
}

} // namespace tcu::cli

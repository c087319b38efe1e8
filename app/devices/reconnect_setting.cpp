#include "app/devices/reconnect_setting.h"

#include <QFile>
#include <QStringList>

#include "platform/files/atomic_rewrite.h"
#include "platform/files/regular_file.h"

namespace tcu::devices {

namespace {

// A settings file is small; a larger one is not this program's.
constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

bool isReconnectLine(const QString& line) {
    return line.section(QLatin1Char('='), 0, 0).trimmed() == QLatin1String(kReconnectKey) &&
           line.contains(QLatin1Char('='));
}

} // namespace

QString programSettingsPath(const QString& configDir) {
    return configDir + QStringLiteral("/tcu1.conf");
}

bool readReconnectSetting(const QString& configDir) {
    const vort::files::ReadResult file = vort::files::readRegularFile(
        QFile::encodeName(programSettingsPath(configDir)).toStdString(), kMaxSettingsBytes);
    if (file.outcome != vort::files::ReadOutcome::Read)
        return true;
    const QStringList lines = QString::fromUtf8(file.text).split(QLatin1Char('\n'));
    for (const QString& line : lines)
        if (isReconnectLine(line))
            return line.section(QLatin1Char('='), 1).trimmed() != QLatin1String("0");
    return true;
}

std::optional<QString> writeReconnectSetting(const QString& configDir, bool on) {
    const std::string path = QFile::encodeName(programSettingsPath(configDir)).toStdString();
    const vort::files::ReadResult file = vort::files::readRegularFile(path, kMaxSettingsBytes);
    QStringList lines;
    if (file.outcome == vort::files::ReadOutcome::Read) {
        if (file.truncated)
            return QString::fromStdString(path) +
                   QStringLiteral(": larger than a settings file can be; left alone");
        lines = QString::fromUtf8(file.text).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
    }
    const QString entry =
        QLatin1String(kReconnectKey) + (on ? QStringLiteral("=1") : QStringLiteral("=0"));
    bool replaced = false;
    for (QString& line : lines) {
        if (isReconnectLine(line)) {
            line = entry;
            replaced = true;
        }
    }
    if (!replaced)
        lines << entry;
    const QByteArray text = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    vort::files::FileFailure failure;
    if (!vort::files::rewriteFile(path, std::string_view(text.constData(), text.size()), failure))
        return QString::fromStdString(failure.text());
    return std::nullopt;
}

} // namespace tcu::devices

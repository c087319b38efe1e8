#include "app/link/port_settings_file.h"

#include <QDir>
#include <QFile>
#include <cstdio>

#include "app/core/program_core.h"
#include "app/link/text_numbers.h"
#include "platform/files/atomic_rewrite.h"

namespace tcu {

namespace {

constexpr qsizetype kKeyLength = 8;

bool writeWhole(const QString& path, const QByteArray& bytes) {
    vort::files::FileFailure failure;
    if (vort::files::rewriteFile(QFile::encodeName(path).toStdString(),
                                 std::string_view(bytes.constData(), bytes.size()), failure))
        return true;
    // The operator is not told in the window; a program started from a terminal says
    // why its settings were not kept.
    std::fprintf(stderr, "tcu1: %s\n", failure.text().c_str());
    return false;
}

// Reads the entries of core's IniPath; false when the defaults must be written instead.
bool readEntries(ProgramCore& core) {
    // A FIFO or a device is refused without blocking, and the repair's rewrite then
    // refuses it too (and says so): it is treated as an unreadable file.
    const vort::files::ReadResult file =
        vort::files::readRegularFile(QFile::encodeName(core.IniPath).toStdString(), kMaxIniBytes);
    if (file.outcome != vort::files::ReadOutcome::Read || file.truncated)
        return false;
    const QByteArray bytes = QByteArray::fromStdString(file.text);
    const qint64 size = bytes.size();
    QString text = QString::fromLatin1(bytes);

    for (qint64 pass = 0; pass < size; ++pass) {
        const qsizetype p = text.indexOf(QLatin1Char(';')) + 1; // 1-based, 0: none
        if (p < kKeyLength + 1)
            return true; // no ";" left, or an entry too short to hold a key
        const QString key = text.left(kKeyLength);
        const QString value = text.mid(kKeyLength, p - 1 - kKeyLength);
        if (key == QLatin1String("PORTCOM=")) {
            core.IniPortCom = value;
            if (!portNumberOf(value))
                return false;
        } else if (key == QLatin1String("PORTSET=")) {
            core.IniPortSet = value;
        }
        text.remove(0, p);
    }
    return true;
}

} // namespace

QString configDirectory() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    const QString dir = QDir::cleanPath(base + QStringLiteral("/tcu"));
    QDir().mkpath(dir);
    return dir;
}

void ProgramCore::LoadPortSettings() {
    WindowsDir = configDirectory();
    IniPath = WindowsDir + QLatin1Char('/') + QLatin1String(kIniFileName);
    if (readEntries(*this))
        return;
    // The repair: the default file and the default values. A directory where the
    // file cannot be written still leaves the program with the defaults.
    writeWhole(IniPath, QByteArray(kDefaultIniText));
    IniPortCom = QStringLiteral("1");
    IniPortSet = QStringLiteral("9600,n,8,1");
}

QString ProgramCore::portSettingsLine(int16_t commPort, const QString& settings) const {
    return QStringLiteral("PORTCOM=") + QString::number(commPort) + QStringLiteral(";PORTSET=") +
           settings + QStringLiteral(";SUPPSET=") + IniSuppSet + QStringLiteral(";\r\n");
}

bool ProgramCore::RewritePortSettings(int16_t commPort, const QString& settings) {
    if (IniPath.isEmpty())
        return false;
    return writeWhole(IniPath, portSettingsLine(commPort, settings).toLatin1());
}

} // namespace tcu

#include "app/cli/setting_pairs.h"

#include <QStringList>

#include "app/settings/setup_model.h"
#include "app/settings/vocabulary.h"

namespace tcu::cli {

std::variant<SettingPair, QString> parseSettingPair(const QString& pair) {
    const qsizetype eq = pair.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return QStringLiteral("\"%1\" is not NAME=VALUE").arg(pair);
    const QString name = pair.left(eq).toUpper();
    const QString typed = pair.mid(eq + 1);
    const QByteArray nameBytes = name.toLatin1();
    const int key = settings::setupKeyIndex(
        std::string_view(nameBytes.constData(), static_cast<size_t>(nameBytes.size())));
    if (key < 0)
        return QStringLiteral("%1 is not a setting; see tcu get").arg(pair.left(eq));
    const settings::SetupKey& k = settings::setupKeys()[key];
    SettingPair result;
    result.key = key;
    switch (k.field) {
    case settings::SetupField::None: {
        QStringList allowed;
        for (int i = 0; i < k.optionCount; ++i) {
            const QString v = QString::fromLatin1(
                k.options[i].value.data(), static_cast<qsizetype>(k.options[i].value.size()));
            if (v.compare(typed, Qt::CaseInsensitive) == 0) {
                result.value = v.toStdString();
                return result;
            }
            allowed << v;
        }
        return QStringLiteral("%1=%2: %1 takes %3")
            .arg(name, typed, allowed.join(QStringLiteral(", ")));
    }
    case settings::SetupField::Delay: {
        bool digits = !typed.isEmpty() && typed.size() <= settings::kDelayMaxLength;
        for (QChar c : typed)
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!digits)
            return QStringLiteral("%1=%2: %1 takes 0 to 999 (milliseconds, up to three digits)")
                .arg(name, typed);
        result.value = settings::delayValue(typed.toStdString());
        return result;
    }
    case settings::SetupField::Prefix:
    case settings::SetupField::Suffix: {
        bool printable = typed.size() <= settings::kAffixMaxLength;
        for (QChar c : typed)
            printable =
                printable && c.unicode() >= 0x20 && c.unicode() <= 0xff && c.unicode() != 0x7f;
        if (!printable)
            return QStringLiteral("%1=%2: %1 takes at most %3 printable characters (control "
                                  "characters as bracket names such as [CR])")
                .arg(name, typed)
                .arg(settings::kAffixMaxLength);
        const QByteArray latin = typed.toLatin1();
        result.value.assign(latin.constData(), static_cast<size_t>(latin.size()));
        return result;
    }
    }
    return QStringLiteral("%1 cannot be set").arg(name);
}

} // namespace tcu::cli

#include "app/link/text_numbers.h"

#include <QLocale>
#include <cmath>

#include "app/link/run_time_error.h"

namespace tcu {

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimBlanks(const QString& text) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && isBlank(text.at(b)))
        ++b;
    while (e > b && isBlank(text.at(e - 1)))
        --e;
    return text.mid(b, e - b);
}

// Digits, an optional point with digits, an optional exponent: the longest such
// prefix of text from pos (after an optional sign); its length, 0 when none.
qsizetype numberPrefix(const QString& text, qsizetype pos) {
    const qsizetype start = pos;
    auto digit = [&](qsizetype i) {
        return i < text.size() && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9');
    };
    if (pos < text.size() && (text.at(pos) == QLatin1Char('+') || text.at(pos) == QLatin1Char('-')))
        ++pos;
    bool digits = false;
    while (digit(pos)) {
        ++pos;
        digits = true;
    }
    if (pos < text.size() && text.at(pos) == QLatin1Char('.')) {
        qsizetype frac = pos + 1;
        bool fracDigits = false;
        while (digit(frac)) {
            ++frac;
            fracDigits = true;
        }
        if (digits || fracDigits) {
            pos = frac;
            digits = true;
        }
    }
    if (!digits)
        return 0;
    if (pos < text.size() &&
        (text.at(pos) == QLatin1Char('e') || text.at(pos) == QLatin1Char('E'))) {
        qsizetype exp = pos + 1;
        if (exp < text.size() &&
            (text.at(exp) == QLatin1Char('+') || text.at(exp) == QLatin1Char('-')))
            ++exp;
        if (digit(exp)) {
            while (digit(exp))
                ++exp;
            pos = exp;
        }
    }
    return pos - start;
}

} // namespace

std::optional<double> toNumber(const QString& text) {
    const QString t = trimBlanks(text);
    if (t.isEmpty() || numberPrefix(t, 0) != t.size())
        return std::nullopt;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

double leadingNumber(const QString& text) {
    qsizetype pos = 0;
    while (pos < text.size() && isBlank(text.at(pos)))
        ++pos;
    const qsizetype len = numberPrefix(text, pos);
    if (len == 0)
        return 0;
    bool ok = false;
    const double v = QLocale::c().toDouble(text.mid(pos, len), &ok);
    return ok && std::isfinite(v) ? v : 0;
}

int16_t toInteger16(const QString& text) {
    const std::optional<double> v = toNumber(text);
    if (!v)
        throw typeMismatch();
    const double r = std::nearbyint(*v); // the default rounding mode: half to even
    if (r < -32768.0 || r > 32767.0)
        throw overflow();
    return static_cast<int16_t>(r);
}

std::optional<int16_t> portNumberOf(const QString& text) {
    const std::optional<double> v = toNumber(text);
    if (!v)
        return std::nullopt;
    for (int16_t port = 1; port <= 6; ++port)
        if (*v == port)
            return port;
    return std::nullopt;
}

} // namespace tcu

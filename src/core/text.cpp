// SPDX-License-Identifier: GPL-3.0-or-later
#include "text.h"

#include <algorithm>

namespace {

template <typename Text>
std::optional<qint64> parseDecimalInteger(Text text, qint64 minimum, qint64 maximum)
{
    qsizetype at = 0;
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        ++at;
    if (at == text.size())
        return std::nullopt;
    // The magnitude is gathered unsigned, so that the smallest qint64 fits.
    const quint64 limit =
        negative ? (minimum >= 0 ? 0 : quint64(-(minimum + 1)) + 1) : quint64(std::max<qint64>(maximum, 0));
    quint64 magnitude = 0;
    for (; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const auto digit = quint64(c - u'0');
        if (magnitude > limit / 10 || (magnitude == limit / 10 && digit > limit % 10))
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    const qint64 value = negative ? qint64(0 - magnitude) : qint64(magnitude);
    if (value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<qint64> decimalInteger(QStringView text, qint64 minimum, qint64 maximum)
{
    return parseDecimalInteger(text, minimum, maximum);
}

std::optional<qint64> decimalInteger(QLatin1StringView text, qint64 minimum, qint64 maximum)
{
    return parseDecimalInteger(text, minimum, maximum);
}

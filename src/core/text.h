// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <limits>
#include <optional>

// The text rules every part of the library follows.

// Trimming removes every leading and trailing character whose code is 32 or
// less: the blank and all control characters. Codes above 127 are never
// trimmed, whether they are bytes of the library's code page or characters.
constexpr bool isTrimmedCode(unsigned code)
{
    return code <= 32;
}

constexpr unsigned codeOf(char byte)
{
    return static_cast<unsigned char>(byte);
}
constexpr unsigned codeOf(QChar character)
{
    return character.unicode();
}

// The view without the trimmed characters at its ends.
template <typename View>
View trimmedView(View text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmedCode(codeOf(text[begin])))
        ++begin;
    while (end > begin && isTrimmedCode(codeOf(text[end - 1])))
        --end;
    return text.sliced(begin, end - begin);
}

inline QString trimText(QStringView text)
{
    return trimmedView(text).toString();
}

// A strict decimal integer: an optional sign and one or more digits, nothing
// else, from `minimum` to `maximum`. Anything else gives nothing.
std::optional<qint64> decimalInteger(QStringView text, qint64 minimum, qint64 maximum);

// A strict decimal integer within int.
inline std::optional<int> decimalInteger(QStringView text)
{
    const std::optional<qint64> value =
        decimalInteger(text, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    return value ? std::optional<int>(int(*value)) : std::nullopt;
}

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

// The view without the trimmed characters at its ends. Always inlined: every
// line of every contents file read passes through it, and called it took 14
// instructions a line more.
template <typename View>
Q_ALWAYS_INLINE View trimmedView(View text)
{
    auto begin = text.data();
    auto end = begin + text.size();
    while (begin < end && isTrimmedCode(codeOf(*begin)))
        ++begin;
    while (end > begin && isTrimmedCode(codeOf(end[-1])))
        --end;
    return View(begin, end);
}

inline QString trimText(QStringView text)
{
    return trimmedView(text).toString();
}

// A strict decimal integer: an optional sign and one or more digits, nothing
// else, from `minimum` to `maximum`. Anything else gives nothing.
std::optional<qint64> decimalInteger(QStringView text, qint64 minimum, qint64 maximum);
// The same of single-byte text, whose bytes above 0x7F are no digit or sign
// in any encoding.
std::optional<qint64> decimalInteger(QLatin1StringView text, qint64 minimum, qint64 maximum);

// A strict decimal integer within int.
inline std::optional<int> decimalInteger(QStringView text)
{
    const std::optional<qint64> value =
        decimalInteger(text, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    return value ? std::optional<int>(int(*value)) : std::nullopt;
}

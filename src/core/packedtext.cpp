// SPDX-License-Identifier: GPL-3.0-or-later
#include "packedtext.h"

#include "textfile.h"

#include <QString>
#include <QStringDecoder>
#include <array>
#include <memory>

namespace {

// The first byte of a body: how the compressed text is encoded.
constexpr char InWindows1251 = '1';
constexpr char InUtf8 = '8';
// zlib's fastest level: the index is built at the speed of parsing pages,
// and a higher level saves little on text.
constexpr int CompressionLevel = 1;

// The Windows-1251 byte of each UTF-16 code unit, 0 for none (NUL aside).
const std::array<unsigned char, 65536> &windows1251Bytes()
{
    static const auto bytes = [] {
        auto table = std::make_unique<std::array<unsigned char, 65536>>();
        table->fill(0);
        const std::array<char16_t, 256> &characters = windows1251Table();
        for (int byte = 1; byte < 256; ++byte)
            if (characters[size_t(byte)] != u'\xFFFD')
                (*table)[characters[size_t(byte)]] = static_cast<unsigned char>(byte);
        return table;
    }();
    return *bytes;
}

// The text in Windows-1251, or nothing when a character is not in it.
bool toWindows1251(const QString &text, QByteArray &single)
{
    const std::array<unsigned char, 65536> &table = windows1251Bytes();
    single.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const unsigned char byte = table[text[i].unicode()];
        if (byte == 0 && !text[i].isNull())
            return false;
        single[i] = char(byte);
    }
    return true;
}

}  // namespace

QByteArray packText(QByteArrayView utf8)
{
    // A leading byte order mark is text like any other here: the default
    // decoding would drop it, and the text would not come back unchanged.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QByteArray single;
    const bool fits = toWindows1251(decoder(utf8), single);
    const QByteArray &text = fits ? single : utf8.toByteArray();
    return (fits ? InWindows1251 : InUtf8) + qCompress(text, CompressionLevel);
}

QByteArray unpackText(QByteArrayView body)
{
    if (body.isEmpty())
        return {};
    const QByteArrayView compressed = body.sliced(1);
    const QByteArray text = qUncompress(reinterpret_cast<const uchar *>(compressed.data()), compressed.size());
    return body.front() == InWindows1251 ? fromWindows1251(text).toUtf8() : text;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "textfile.h"

#include "error.h"
#include "heap.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr char LineFeed = '\n';
constexpr char CarriageReturn = '\r';
constexpr char CtrlZ = '\x1A';
constexpr qsizetype ChunkSize = 1 << 20;
// The most room a line gets for the rest of its file at once.
constexpr qint64 MaxRoomAtOnce = qint64(1) << 30;

}  // namespace

QString openErrorMessage(int errorCode, const QString &path)
{
    switch (errorCode) {
    case ENOENT:
        return QFileInfo(QFileInfo(path).absolutePath()).isDir() ? QStringLiteral("File not found")
                                                                 : QStringLiteral("Invalid filename");
    case ENOTDIR:
    case ENAMETOOLONG: return QStringLiteral("Invalid filename");
    case EMFILE:
    case ENFILE: return QStringLiteral("Too many open files");
    case EACCES:
    case EPERM:
    case EISDIR: return QStringLiteral("File access denied");
    case ELOOP: return QStringLiteral("Too many levels of symbolic links");
    default: return QStringLiteral("I/O error %1").arg(errorCode);
    }
}

TextFileReader::TextFileReader(const QString &path) : m_file(path) {}

bool TextFileReader::fillBuffer()
{
    m_buffer.remove(0, m_position);
    m_position = 0;
    const qsizetype kept = m_buffer.size();
    // A chunk, or the rest of the file and one byte more, which sees its end
    // without room for a chunk that will not come.
    const qint64 left = m_file.size() - m_read;
    const qsizetype want = left >= 0 && left < ChunkSize ? qsizetype(left) + 1 : ChunkSize;
    // Grow geometrically, so that a line of any length costs linear time.
    // A line longer than a chunk gets room for the rest of the file at once:
    // room is only touched as it is read into, and a catalogue that is one
    // line as long as the file is not moved again and again.
    if (m_buffer.capacity() < kept + want) {
        const qsizetype rest = kept > 0 ? qsizetype(std::min(left + 1, MaxRoomAtOnce)) : 0;
        reserveRoom(std::max({2 * m_buffer.capacity(), kept + want, kept + rest}));
    }
    m_buffer.resize(kept + want);
    const qsizetype got = m_file.read(m_buffer.data() + kept, want);
    m_read += got;
    m_buffer.resize(kept + got);
    return got > 0;
}

void TextFileReader::reserveRoom(qsizetype capacity)
{
    const qsizetype kept = m_buffer.size();
    m_buffer.reserve(capacity);
    adviseLargePages(m_buffer.data() + kept, m_buffer.capacity() - kept);
}

void TextFileReader::reserveLine(qint64 bytes)
{
    reserveRoom(qsizetype(std::min(bytes + 1, MaxRoomAtOnce)));
}

QByteArray TextFileReader::releaseLine(QByteArrayView line)
{
    m_ended = true;
    if (line.data() != m_buffer.constData())
        return line.toByteArray();
    QByteArray bytes = std::move(m_buffer);
    bytes.truncate(line.size());
    return bytes;
}

bool TextFileReader::readLine(QByteArray &line)
{
    QByteArrayView view;
    if (!readLine(view))
        return false;
    line = view.toByteArray();
    return true;
}

QByteArrayView TextFileReader::takeLine(qsizetype stop)
{
    QByteArrayView line(m_buffer.constData() + m_position, stop - m_position);
    m_position = std::min(stop + 1, m_buffer.size());
    // Most lines end in the carriage return of a CR LF pair and hold no other.
    if (line.endsWith(CarriageReturn))
        line.chop(1);
    if (!line.contains(CarriageReturn))
        return line;
    m_scratch = line.toByteArray();
    m_scratch.removeIf([](char c) { return c == CarriageReturn; });
    return m_scratch;
}

bool TextFileReader::readLine(QByteArrayView &line)
{
    return readLine(line, false);
}

bool TextFileReader::readLineUpToNul(QByteArrayView &line)
{
    return readLine(line, true);
}

bool TextFileReader::readLine(QByteArrayView &line, bool stopAtNul)
{
    if (m_ended)
        return false;
    qsizetype scanned = m_position;
    for (;;) {
        const char *data = m_buffer.constData();
        const size_t unscanned = size_t(m_buffer.size() - scanned);
        const char *feed = static_cast<const char *>(std::memchr(data + scanned, LineFeed, unscanned));
        const char *end = feed ? feed : data + m_buffer.size();
        const char *ctrlZ = static_cast<const char *>(std::memchr(data + scanned, CtrlZ, size_t(end - data - scanned)));
        if (ctrlZ) {
            m_ended = true;
            if (ctrlZ - data == m_position)
                return false;
            line = takeLine(ctrlZ - data);
            return true;
        }
        if (feed) {
            line = takeLine(feed - data);
            return true;
        }
        if (stopAtNul && std::memchr(data + scanned, '\0', unscanned)) {
            m_ended = true;
            line = takeLine(m_buffer.size());
            return true;
        }
        scanned = m_buffer.size() - m_position;
        if (!fillBuffer()) {
            m_ended = true;
            if (m_position == m_buffer.size())
                return false;
            line = takeLine(m_buffer.size());
            return true;
        }
    }
}

QByteArray TextFileReader::readText()
{
    QByteArray text = m_buffer.sliced(m_position);
    m_buffer.clear();
    m_position = 0;
    if (m_ended)
        return {};
    m_ended = true;
    qsizetype scanned = 0;
    for (;;) {
        if (const void *ctrlZ = std::memchr(text.constData() + scanned, CtrlZ, size_t(text.size() - scanned))) {
            text.truncate(static_cast<const char *>(ctrlZ) - text.constData());
            break;
        }
        scanned = text.size();
        // The whole file in one read when its size holds (the extra byte sees
        // the end); a file that grew is read on in chunks.
        const qsizetype want = scanned <= size() ? qsizetype(size()) + 1 - scanned : ChunkSize;
        if (text.capacity() < scanned + want)
            text.reserve(std::max(2 * text.capacity(), scanned + want));
        text.resize(scanned + want);
        const qsizetype got = m_file.read(text.data() + scanned, want);
        text.resize(scanned + got);
        if (got == 0)
            break;
    }
    return text;
}

const std::array<char16_t, 256> &windows1251Table()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> characters{};
        QStringDecoder decoder("windows-1251", QStringConverter::Flag::Stateless);
        if (!decoder.isValid())
            throw AppError(QStringLiteral("The Windows-1251 code page is not available"));
        for (int byte = 0; byte < 256; ++byte) {
            const char single = char(byte);
            const QString decoded = decoder.decode(QByteArrayView(&single, 1));
            characters[size_t(byte)] = decoded.size() == 1 ? decoded.at(0).unicode() : char16_t(0xFFFD);
        }
        return characters;
    }();
    return table;
}

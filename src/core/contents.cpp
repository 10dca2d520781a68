// SPDX-License-Identifier: GPL-3.0-or-later
#include "contents.h"

#include "error.h"
#include "text.h"
#include "textfile.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

namespace {

constexpr QByteArrayView StopMarker("-------------------------------");
constexpr QByteArrayView ItemsLine("ITEMS{");
constexpr QByteArrayView ItemLine("ITEM{");
constexpr QByteArrayView EpigraphsLine("EPIGRAFS{");
constexpr QByteArrayView CloseLine("}");
constexpr char CarriageReturn = '\r';

static_assert(StopMarker.size() == 31);

[[noreturn]] void indexError(qint64 position)
{
    throw AppError(QStringLiteral("List index out of bounds (%1)").arg(position));
}

[[noreturn]] void nestingError()
{
    throw AppError(QStringLiteral("The contents file nests more than %1 levels").arg(MaxContentsDepth));
}

// The bytes trimmed. Contents files indent their lines with blanks, deeper
// with each level: the leading blanks are counted eight bytes at a time (the
// first byte that is not a blank is the lowest nonzero byte of the bytes
// XORed with blanks) before the trim looks at single bytes. The trim of
// every line took a tenth of a Find's instructions.
QByteArrayView trimmed(QByteArrayView line)
{
    constexpr quint64 EightBlanks = 0x2020202020202020ULL;
    const char *begin = line.data();
    const char *end = begin + line.size();
    while (end - begin >= 8) {
        const quint64 differences = qFromLittleEndian<quint64>(begin) ^ EightBlanks;
        if (differences != 0) {
            begin += std::countr_zero(differences) / 8;
            break;
        }
        begin += 8;
    }
    while (begin < end && isTrimmedCode(codeOf(*begin)))
        ++begin;
    while (end > begin && isTrimmedCode(codeOf(end[-1])))
        --end;
    return QByteArrayView(begin, end);
}

// The value of an entry line: the text after the first occurrence of `key`,
// or, without the key, the line without its first `skipWithoutKey`
// characters; trimmed either way.
QByteArrayView entryValue(QByteArrayView line, QByteArrayView key, qsizetype skipWithoutKey)
{
    // Nearly every line starts with its key.
    const bool startsWithKey =
        line.size() >= key.size() && std::memcmp(line.data(), key.data(), size_t(key.size())) == 0;
    const qsizetype at = startsWithKey ? 0 : line.indexOf(key);
    if (at >= 0)
        return trimmed(line.sliced(at + key.size()));
    if (line.size() <= skipWithoutKey)
        return {};
    return trimmed(line.sliced(skipWithoutKey));
}

}  // namespace

void ContentsLines::indexError(qint64 position)
{
    ::indexError(position);
}

void ContentsLines::addLineEndPastLimits(qsizetype endOffset)
{
    if (size() >= m_maxCount)
        throw AppError(QStringLiteral("The contents file has more than %1 lines").arg(m_maxCount));
    while (m_wraps.size() < (quint64(endOffset) >> 32))
        m_wraps.push_back(size());
    m_ends.push_back(std::uint32_t(quint64(endOffset) & 0xFFFFFFFFu));
}

bool ContentsLines::addFileLine(QByteArrayView line)
{
    if (line.contains(StopMarker))
        return false;
    const QByteArrayView text = trimmed(line);
    if (text.isEmpty())
        return true;
    addLineEnd(m_text.size() + text.size());
    m_text.append(text);
    return true;
}

// One pass over the file's bytes: the stop marker is searched for once in
// the whole text, and each kept line is trimmed and moved down in place, so
// that a line costs neither a copy of its own nor a search of its own. A
// carriage return at a line's end goes with the trim; only a line with one
// inside is rewritten, and it is searched for a stop marker that the carriage
// return hid.
void ContentsLines::takeFileText(QByteArray text)
{
    const auto marker = std::search(text.cbegin(), text.cend(),
                                    std::boyer_moore_horspool_searcher(StopMarker.begin(), StopMarker.end()));
    if (marker != text.cend())
        text.truncate(text.lastIndexOf('\n', marker - text.cbegin()) + 1);
    char *const data = text.data();
    const qsizetype size = text.size();
    // Contents lines are rarely shorter than this; the list grows if they are.
    constexpr qsizetype TypicalLineBytes = 16;
    m_ends.reserve(size_t(size / TypicalLineBytes));
    qsizetype kept = 0;
    for (qsizetype start = 0; start < size;) {
        const auto *feed = static_cast<const char *>(std::memchr(data + start, '\n', size_t(size - start)));
        const qsizetype lineEnd = feed ? feed - data : size;
        QByteArrayView line = trimmed(QByteArrayView(data + start, lineEnd - start));
        start = lineEnd + 1;
        if (std::memchr(line.data(), CarriageReturn, size_t(line.size()))) {
            char *const lineStart = data + (line.data() - data);
            line = QByteArrayView(lineStart, std::remove(lineStart, lineStart + line.size(), CarriageReturn));
            if (line.contains(StopMarker))
                break;
        }
        if (!line.isEmpty()) {
            addLineEnd(kept + line.size());
            std::memmove(data + kept, line.data(), size_t(line.size()));
            kept += line.size();
        }
    }
    text.truncate(kept);
    m_text = std::move(text);
}

qsizetype ContentsLines::wrappedEnd(int position) const
{
    const auto wraps = std::upper_bound(m_wraps.begin(), m_wraps.end(), position) - m_wraps.begin();
    return qsizetype((quint64(wraps) << 32) | m_ends[size_t(position)]);
}

ContentsLines readContentsLines(TextFileReader &file)
{
    ContentsLines lines;
    lines.takeFileText(file.readText());
    return lines;
}

// Reads a level by these steps, p being the position and N the line count:
//   1. p := start.
//   2. Lines p+1, p+2, p+3 are NAME, LOCAL and ID (p ends on ID); the entry
//      is added under the level's parent.
//   3. p := p+1; if p >= N-1 the level returns p.
//   4. If line p is "ITEMS{", p := the result of reading a sub-level that
//      starts at p+1, under the entry just added.
//   5. If line p is "EPIGRAFS{": p := p+4 until line p+1 is not "ITEM{";
//      then p := p+2.
//   6. p := p+1; if p >= N-1 the level returns p.
//   7. If line p+1 is "}", the level returns p+1.
//   8. Back to step 2.
// Instead of calling itself for a sub-level, the reader pushes the parent
// of the level it leaves and reads on; a level's return pops it and resumes
// that level at step 5 with the returned position; the stack holds one
// parent per open level, at most MaxContentsDepth.
int ParseContents(const ContentsLines &lines, int start, LibraryTree::Node parent, const AddContentsEntry &addEntry)
{
    const int n = lines.size();
    // The first line read is past the end; from a start within the list no
    // position gets further than a few lines past the end.
    if (start >= n)
        indexError(qint64(start) + 1);

    std::vector<LibraryTree::Node> pendingParents;  // parents of the levels waiting for a sub-level
    int p = start;
    for (;;) {
        // Step 2.
        const QByteArrayView nameLine = lines.at(++p);
        const QByteArrayView localLine = lines.at(++p);
        lines.at(++p);  // the ID line must be there; its value is not used
        const LibraryTree::Node node =
            addEntry(parent, entryValue(nameLine, "NAME=", 4), entryValue(localLine, "LOCAL=", 5));

        // Step 3.
        bool returning = ++p >= n - 1;
        // Step 4: the sub-level is read next, from step 2, under `node`.
        if (!returning && lines.at(p) == ItemsLine) {
            if (pendingParents.size() + 1 >= size_t(MaxContentsDepth))
                nestingError();
            pendingParents.push_back(parent);
            parent = node;
            ++p;
            continue;
        }
        for (;;) {
            if (returning) {
                if (pendingParents.empty())
                    return p;
                parent = pendingParents.back();
                pendingParents.pop_back();
            }
            // Step 5.
            if (lines.at(p) == EpigraphsLine) {
                do
                    p += 4;
                while (lines.at(qint64(p) + 1) == ItemLine);
                p += 2;
            }
            // Steps 6 and 7.
            returning = true;
            if (++p >= n - 1)
                continue;
            if (lines.at(qint64(p) + 1) == CloseLine) {
                ++p;
                continue;
            }
            break;  // step 8
        }
    }
}

AddContentsEntry addingTo(LibraryTree &tree)
{
    return [&tree](LibraryTree::Node parent, QByteArrayView text, QByteArrayView local) {
        return tree.addEntry(parent, text, local);
    };
}

QString contentsFilePath(const TExtInfoLib &bookInfo)
{
    return bookDirectory(bookInfo.FPath) + QStringLiteral("sod.btf");
}

void LoadContents(const QString &path, const AddContentsEntry &addEntry, LibraryTree::Node book)
{
    // The file is closed before the entries are added.
    const ContentsLines lines = [&] {
        TextFileReader file(path);
        return readContentsLines(file);
    }();
    ParseContents(lines, 1, book, addEntry);
}

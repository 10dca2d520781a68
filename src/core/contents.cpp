// SPDX-License-Identifier: GPL-3.0-or-later
#include "contents.h"

#include "error.h"
#include "text.h"
#include "textfile.h"

#include <algorithm>

namespace {

constexpr QByteArrayView StopMarker("-------------------------------");
constexpr QByteArrayView ItemsLine("ITEMS{");
constexpr QByteArrayView ItemLine("ITEM{");
constexpr QByteArrayView EpigraphsLine("EPIGRAFS{");
constexpr QByteArrayView CloseLine("}");

static_assert(StopMarker.size() == 31);

// The index error of the line list.
[[noreturn]] void indexError(qint64 position)
{
    throw AppError(QStringLiteral("List index out of bounds (%1)").arg(position));
}

[[noreturn]] void nestingError()
{
    throw AppError(QStringLiteral("The contents file nests more than %1 levels").arg(MaxContentsDepth));
}

// The value of an entry line: the text after the first occurrence of `key`,
// or, without the key, the line without its first `skipWithoutKey`
// characters; trimmed either way.
QByteArrayView entryValue(QByteArrayView line, QByteArrayView key, qsizetype skipWithoutKey)
{
    const qsizetype at = line.indexOf(key);
    if (at >= 0)
        return trimmedView(line.sliced(at + key.size()));
    if (line.size() <= skipWithoutKey)
        return {};
    return trimmedView(line.sliced(skipWithoutKey));
}

}  // namespace

bool ContentsLines::addFileLine(QByteArrayView line)
{
    if (line.contains(StopMarker))
        return false;
    const QByteArrayView text = trimmedView(line);
    if (text.isEmpty())
        return true;
    if (size() >= m_maxCount)
        throw AppError(QStringLiteral("The contents file has more than %1 lines").arg(m_maxCount));
    m_text.append(text);
    const auto endOffset = quint64(m_text.size());
    while (m_wraps.size() < (endOffset >> 32))
        m_wraps.push_back(size());
    m_ends.push_back(std::uint32_t(endOffset & 0xFFFFFFFFu));
    return true;
}

qsizetype ContentsLines::end(int position) const
{
    const auto wraps = std::upper_bound(m_wraps.begin(), m_wraps.end(), position) - m_wraps.begin();
    return qsizetype((quint64(wraps) << 32) | m_ends[size_t(position)]);
}

QByteArrayView ContentsLines::at(qint64 position) const
{
    if (position < 0 || position >= size())
        indexError(position);
    const int index = int(position);
    const qsizetype begin = index == 0 ? 0 : end(index - 1);
    return QByteArrayView(m_text.constData() + begin, end(index) - begin);
}

ContentsLines readContentsLines(TextFileReader &file)
{
    ContentsLines lines;
    QByteArrayView line;
    while (file.readLine(line) && lines.addFileLine(line)) {
    }
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
        const QString name = fromWindows1251(entryValue(nameLine, "NAME=", 4));
        const QString local = fromWindows1251(entryValue(localLine, "LOCAL=", 5));
        const LibraryTree::Node node = addEntry(parent, name, local);

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
    return [&tree](LibraryTree::Node parent, const QString &text, const QString &local) {
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

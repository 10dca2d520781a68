// SPDX-License-Identifier: GPL-3.0-or-later
#include "contents.h"

#include "error.h"
#include "text.h"
#include "textfile.h"

#include <QStringBuilder>
#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The value of an entry line: the text after the first occurrence of `key`,
// or, without the key, the line without its first `skipWithoutKey`
// characters; trimmed either way.
Q_ALWAYS_INLINE QByteArrayView entryValue(QByteArrayView line, QByteArrayView key, qsizetype skipWithoutKey)
{
    // Nearly every line starts with its key: inlined, the key's compare is
    // one of constant bytes.
    const bool startsWithKey =
        line.size() >= key.size() && std::memcmp(line.data(), key.data(), size_t(key.size())) == 0;
    const qsizetype at = startsWithKey ? 0 : line.indexOf(key);
    if (at >= 0)
        return trimmedView(line.sliced(at + key.size()));
    if (line.size() <= skipWithoutKey)
        return {};
    return trimmedView(line.sliced(skipWithoutKey));
}

// The first byte in [from, end) that is `a` or `b` (with `Is` true) or that
// is neither (with `Is` false), or `end`. It finds a line's end and a
// carriage return inside it in one search, and skips a line's indent. A
// contents line is short, so two calls of the C library's memchr a line
// took about 40 instructions, most of them the calls' own setup; this takes
// about 20, sixteen bytes at a time where the processor has SSE2. The
// indent, skipped a byte at a time, cost as much again.
template <bool Is>
const char *findByte(const char *from, const char *end, char a, char b)
{
#if defined(__SSE2__)
    const __m128i as = _mm_set1_epi8(a);
    const __m128i bs = _mm_set1_epi8(b);
    for (; end - from >= 16; from += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        const auto equal =
            unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, as), _mm_cmpeq_epi8(bytes, bs))));
        const unsigned found = Is ? equal : ~equal & 0xFFFFu;
        if (found != 0)
            return from + std::countr_zero(found);
    }
#endif
    while (from < end && (*from == a || *from == b) != Is)
        ++from;
    return from;
}

[[noreturn]] void tooManyLines(int maxCount)
{
    throw AppError(QStringLiteral("The contents file has more than %1 lines").arg(maxCount));
}

// `line` without its carriage returns, written to `rewritten`.
QByteArrayView withoutCarriageReturns(QByteArrayView line, QByteArray &rewritten)
{
    rewritten = line.toByteArray();
    rewritten.removeIf([](char byte) { return byte == CarriageReturn; });
    return rewritten;
}

}  // namespace

void ContentsLines::indexError(qint64 position)
{
    ::indexError(position);
}

// The stop marker is searched for once in the whole text, not in every line.
ContentsLines::ContentsLines(QByteArray text, int maxCount) : m_text(std::move(text)), m_maxCount(maxCount)
{
    const char *const begin = m_text.constData();
    const char *const end = begin + m_text.size();
    const char *const marker =
        std::search(begin, end, std::boyer_moore_horspool_searcher(StopMarker.begin(), StopMarker.end()));
    m_end = marker == end ? end : begin + m_text.lastIndexOf('\n', marker - begin) + 1;
    m_next = begin;
}

void ContentsLines::restart()
{
    m_next = m_text.constData();
    m_count = 0;
}

// A carriage return at a line's end goes with the trim; only a line with one
// inside is rewritten, and it is searched for a stop marker that the carriage
// return hid.
bool ContentsLines::findMoreLines()
{
    const int before = m_count;
    const int wanted = m_count + (Kept - KeptBack);
    const char *next = m_next;
    while (m_count < wanted && next < m_end) {
        const char *const start = findByte<false>(next, m_end, ' ', ' ');
        const char *const lineBreak = findByte<true>(start, m_end, '\n', CarriageReturn);
        QByteArrayView line;
        const auto slot = size_t(unsigned(m_count) % Kept);
        if (lineBreak == m_end || *lineBreak == '\n') {
            line = trimmedView(QByteArrayView(start, lineBreak));
            next = lineBreak == m_end ? m_end : lineBreak + 1;
        } else if (lineBreak + 1 == m_end || lineBreak[1] == '\n') {
            line = trimmedView(QByteArrayView(start, lineBreak));
            next = lineBreak + 2 - (lineBreak + 1 == m_end);
        } else {
            const auto *feed = static_cast<const char *>(std::memchr(lineBreak, '\n', size_t(m_end - lineBreak)));
            line = trimmedView(QByteArrayView(start, feed ? feed : m_end));
            next = feed ? feed + 1 : m_end;
            if (std::memchr(line.data(), CarriageReturn, size_t(line.size()))) {
                line = withoutCarriageReturns(line, m_rewritten[slot]);
                if (line.contains(StopMarker)) {
                    m_end = next;
                    break;
                }
            }
        }
        if (line.isEmpty())
            continue;
        if (m_count == m_maxCount) {
            if (m_count == before)
                tooManyLines(m_maxCount);
            next = start;  // found again when a line past the list is asked for
            break;
        }
        m_kept[slot] = line;
        ++m_count;
    }
    m_next = next;
    return m_count > before;
}

ContentsLines readContentsLines(TextFileReader &file)
{
    return ContentsLines(file.readText());
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
int ParseContents(ContentsLines &lines, int start, LibraryTree::Node parent, const AddContentsEntry &addEntry)
{
    // The first line read is past the end; from a start within the list no
    // position gets further than a few lines past the end.
    if (start >= 0 && !lines.has(start))
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
        bool returning = !lines.has(qint64(++p) + 1);
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
            if (!lines.has(qint64(++p) + 1))
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
    return bookDirectory(bookInfo.FPath) % QStringLiteral("sod.btf");
}

void LoadContents(const QString &path, const AddContentsEntry &addEntry, LibraryTree::Node book)
{
    // The file is closed before the entries are added.
    ContentsLines lines = [&] {
        TextFileReader file(path);
        return readContentsLines(file);
    }();
    ParseContents(lines, 1, book, addEntry);
}

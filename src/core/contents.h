// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "librarytree.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

class TextFileReader;

// The line list of a contents file ("sod.btf"): its lines, trimmed, without
// blank lines, up to the first line that holds the stop marker. Positions
// count from 0.
//
// The lines are kept end to end in one byte array with the low 32 bits of
// each line's end offset beside it, so a line costs its own bytes and four
// more; text is decoded only for the values the reader takes.
class ContentsLines
{
public:
    // The most lines a list takes: every position the reader computes (at
    // most a few past the end) must stay within an int.
    static constexpr int MaxCount = std::numeric_limits<int>::max() - 16;

    explicit ContentsLines(int maxCount = MaxCount) : m_maxCount(maxCount) {}

    // Takes the next line of the file: a line holding the stop marker (31
    // hyphens in a row) ends the reading and returns false; any other line is
    // trimmed of bytes 0x20 and below at both ends and, unless that leaves it
    // empty, appended. Throws AppError when the list is full.
    bool addFileLine(QByteArrayView line);
    // Takes the lines of a whole file's text (lines separated by line feeds,
    // carriage returns still in) into an empty list, as addFileLine would take
    // them one by one with their carriage returns dropped; the text's own
    // buffer keeps them.
    void takeFileText(QByteArray text);

    int size() const { return int(m_ends.size()); }

    // The line at `position`. Throws AppError "List index out of bounds (%d)"
    // for a position outside the list.
    QByteArrayView at(qint64 position) const
    {
        if (position < 0 || position >= size())
            indexError(position);
        const int index = int(position);
        const qsizetype begin = index == 0 ? 0 : end(index - 1);
        return QByteArrayView(m_text.constData() + begin, end(index) - begin);
    }

private:
    [[noreturn]] static void indexError(qint64 position);
    qsizetype end(int position) const
    {
        return m_wraps.empty() ? qsizetype(m_ends[size_t(position)]) : wrappedEnd(position);
    }
    qsizetype wrappedEnd(int position) const;
    // Counts a line ending at `endOffset` of the text; throws when the list is full.
    void addLineEnd(qsizetype endOffset)
    {
        if (size() < m_maxCount && quint64(endOffset) >> 32 == m_wraps.size()) [[likely]]
            m_ends.push_back(std::uint32_t(quint64(endOffset) & 0xFFFFFFFFu));
        else
            addLineEndPastLimits(endOffset);
    }
    // The same for a full list, or a text past the next multiple of 2^32 bytes.
    void addLineEndPastLimits(qsizetype endOffset);

    QByteArray m_text;
    std::vector<std::uint32_t> m_ends;  // low 32 bits of each line's end offset
    std::vector<int> m_wraps;           // the k-th entry: the first line ending at or past (k + 1) * 2^32
    int m_maxCount;
};

// Reads `file` to its end, or to the stop marker, into a line list.
ContentsLines readContentsLines(TextFileReader &file);

// Adds an entry that ParseContents has read as the last child of `parent`,
// with its NAME and LOCAL values as the file holds them, in the library's
// code page; returns the new node.
using AddContentsEntry =
    std::function<LibraryTree::Node(LibraryTree::Node parent, QByteArrayView name, QByteArrayView local)>;

// The most levels a contents file may nest, its top level included: far
// beyond any book, and shallow enough for the tree view, which lays out
// expanded levels by recursion (a hundred thousand open levels overflow its
// stack).
constexpr int MaxContentsDepth = 1000;

// Reads one level of the contents from the line after `start` on and hands
// each entry to `addEntry` as soon as its ID line is read, sub-levels under
// their entry's node. Returns the position at which the caller goes on.
// Throws AppError "List index out of bounds (%d)" when it needs a line past
// the end, and "The contents file nests more than %d levels" before a level
// below MaxContentsDepth; entries handed over before stay handed over either
// way. Sub-levels are read with a stack of their own, not by recursion.
int ParseContents(const ContentsLines &lines, int start, LibraryTree::Node parent, const AddContentsEntry &addEntry);

// An AddContentsEntry that adds the entry to `tree`, its page named by
// LOCAL within the book directory.
AddContentsEntry addingTo(LibraryTree &tree);

// The contents file of a book, as built relative to the library folder:
// "Library", the book's FPath and "sod.btf", joined by backslashes.
QString contentsFilePath(const TExtInfoLib &bookInfo);

// Reads the contents file at `path` (a path of this platform) and hands its
// entries to `addEntry`, the top level under `book`. Throws AppError: the
// file's open errors and the index error.
void LoadContents(const QString &path, const AddContentsEntry &addEntry, LibraryTree::Node book);

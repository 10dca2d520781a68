// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "librarytree.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <functional>
#include <limits>

class TextFileReader;

// The line list of a contents file ("sod.btf"): its lines, trimmed, without
// blank lines, up to the first line that holds the stop marker. Positions
// count from 0.
//
// Lines are found as they are asked for, a dozen at a time, as views into
// the file's text: the parse asks for them in order and never more than a
// line back, so the list keeps only the last few it found and nothing of a
// line is copied or stored. Building a list of every line first took 821 M
// instructions of a Find through 20,000 books (5.2 million lines); finding
// them as asked for takes 410 M. A line asked for from further back is found
// by reading from the start again.
class ContentsLines
{
public:
    // The most lines a list takes: every position the reader computes (at
    // most a few past the end) must stay within an int.
    static constexpr int MaxCount = std::numeric_limits<int>::max() - 16;

    // The list of a whole file's text (lines separated by line feeds): each
    // line with its carriage returns dropped and trimmed of bytes 0x20 and
    // below at both ends; a line holding the stop marker (31 hyphens in a
    // row) ends the list.
    explicit ContentsLines(QByteArray text, int maxCount = MaxCount);

    // Whether the list has a line at `position`. Throws AppError when the
    // text holds more lines than the list takes and the position is past them.
    bool has(qint64 position)
    {
        if (position < 0)
            return false;
        while (m_count <= position)
            if (!findMoreLines())
                return false;
        return true;
    }

    // The line at `position`, valid while no line more than four past it is
    // asked for. Throws AppError "List index out of bounds (%d)" for a
    // position outside the list.
    QByteArrayView at(qint64 position)
    {
        if (position < m_count - Kept)
            restart();
        if (!has(position))
            indexError(position);
        return m_kept[size_t(position % Kept)];
    }

private:
    static constexpr int Kept = 16;     // the lines last found
    static constexpr int KeptBack = 4;  // of them, those kept when more are found

    [[noreturn]] static void indexError(qint64 position);
    // Finds and keeps the next lines of the text; false at the list's end.
    bool findMoreLines();
    void restart();

    QByteArray m_text;
    const char *m_next;  // where the next line starts
    const char *m_end;   // where the list's text ends: its end, or the stop marker's line
    int m_count = 0;     // lines found so far
    int m_maxCount;
    std::array<QByteArrayView, Kept> m_kept;   // the line at position p in m_kept[p % Kept]
    std::array<QByteArray, Kept> m_rewritten;  // a kept line that held carriage returns, without them
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
int ParseContents(ContentsLines &lines, int start, LibraryTree::Node parent, const AddContentsEntry &addEntry);

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

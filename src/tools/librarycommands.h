// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

class Library;
class QTextStream;

// The commands of brimvel-library. Each works on a library whose catalogue
// has been read, as the viewer works on it, writes its report to `out` and
// returns the exit code. A failed load during find's walk escapes as AppError.

enum ExitCode : int {
    ExitSuccess = 0,    // every book loaded, no problems, or something matched
    ExitShortfall = 1,  // a book failed to load, a problem was found, or nothing matched
    ExitFailure = 2,    // a usage error, an unreadable catalogue or a failed search
};

// `text` with every control character written out visibly, so that names
// from a library can neither break the output's lines and columns nor send
// escape sequences to a terminal: "\t", "\n", "\r", and "\x" with two hex
// digits for the others (C0, DEL and C1).
QString visibleText(QStringView text);

// Every node in tree order with every book's contents loaded, indented by
// two blanks per level; a contents node with a tab and its page path
// relative to the library folder. A failed load adds "! " and its message after the
// nodes the load added.
int listTree(Library &library, QTextStream &out);

// Loads what listTree loads and checks that the start page and every
// contents node's page file exist. One line per problem, the node's caption
// and the message, then the counts of books, entries and problems.
int checkLibrary(Library &library, QTextStream &out);

// The captions of the nodes the viewer's Find and then Find next, again and
// again, select for `searchText` (trimmed already), in that order.
int findInLibrary(Library &library, const QString &searchText, QTextStream &out);

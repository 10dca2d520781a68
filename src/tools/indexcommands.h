// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class Library;
class QTextStream;

// The full-text commands of brimvel-library, on a library whose catalogue
// has been read. The index lives in the user's cache (FullTextIndex::fileFor).

// Builds or updates the index: progress on `err` when it is a terminal, then
// one summary line on `out`. Returns the exit code.
int indexLibrary(const Library &library, QTextStream &out, QTextStream &err);

// One line per page found, best first: its caption, a tab and the snippet
// with the matched words between "[" and "]". Exit code 0 when something
// matched, 1 when nothing did, 2 for a malformed query (its message on `err`).
int searchLibrary(const Library &library, const QString &query, QTextStream &out, QTextStream &err);

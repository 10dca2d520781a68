// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Russian-looking prose for generated libraries: sentences of common words
// in many forms and of made-up rare words whose frequencies fall off with
// their rank, as a language's do, so that the full-text index meets the
// spread of words and forms that real books have.

// Writes the pages that generateContents names for `entries` entries
// ("text\pN.htm" below `bookDirectory`), each about `pageBytes` bytes of
// HTML in Windows-1251; `book` varies the text. Returns the bytes written.
qint64 generatePages(const QString &bookDirectory, int entries, int book, int pageBytes = 10000);

// Word forms for queries: common ones that occur on most pages, and the
// made-up word of a rank (rank 0 is the most frequent; high ranks are rare).
QStringList commonWordForms();
QString madeUpWord(int rank);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Writes a generated library into `directory`, in Windows-1251 as real
// libraries are: a catalogue of `books` books spread over `authors` authors,
// in shuffled record order, and a start page. Returns the catalogue's size
// in bytes.
qint64 generateLibrary(const QString &directory, int books, int authors);

// Writes `path` as a contents file in Windows-1251 with chapters of ten
// entries each (a chapter and nine sections), at least `entries` entries in
// all; returns the number of lines written.
qint64 generateContents(const QString &path, int entries);

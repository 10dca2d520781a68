#pragma once

#include <QString>

// Writes a generated library into `directory`, in Windows-1251 as real
// libraries are: a catalogue of `books` books spread over `authors` authors,
// in shuffled record order, and a start page. Returns the catalogue's size
// in bytes.
qint64 generateLibrary(const QString &directory, int books, int authors);

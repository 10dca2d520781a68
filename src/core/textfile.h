#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

// Reads a single-byte text file line by line, by the rules every text file of
// a library follows: a line ends at a line feed (a carriage return before it
// is not part of the line), a carriage return anywhere else is dropped, and a
// Ctrl-Z byte ends the file (the text before it on its line still counts as
// a line). The file is opened read-only, other readers allowed.
class TextFileReader
{
public:
    // Opens the file at `path` (a path of this platform). Throws AppError
    // with "File not found", "Invalid filename", "Too many open files",
    // "File access denied" or "I/O error %d".
    explicit TextFileReader(const QString &path);
    ~TextFileReader();
    TextFileReader(const TextFileReader &) = delete;
    TextFileReader &operator=(const TextFileReader &) = delete;

    // Reads the next line's bytes into `line`; false at the end of the file.
    bool readLine(QByteArray &line);

private:
    bool fillBuffer();

    std::FILE *m_file = nullptr;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    bool m_ended = false;
};

// The message for a failure to open `path` with the C library's error code.
QString openErrorMessage(int errorCode, const QString &path);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "regularfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>

// Reads a single-byte text file line by line, by the rules every text file of
// a library follows: a line ends at a line feed (a carriage return before it
// is not part of the line), a carriage return anywhere else is dropped, and a
// Ctrl-Z byte ends the file (the text before it on its line still counts as
// a line). The file is opened read-only, other readers allowed; only a
// regular file is read (see RegularFile).
class TextFileReader
{
public:
    // Opens the file at `path` (a path of this platform). Throws AppError
    // with "File not found", "Invalid filename", "Too many open files",
    // "File access denied", "Too many levels of symbolic links", "Not a
    // regular file" or "I/O error %d".
    explicit TextFileReader(const QString &path);

    // The file's size when it was opened.
    qint64 size() const { return m_file.size(); }

    // Makes room for a line of up to `bytes` before anything is read, in a
    // block of its own backed by large pages where the system has them.
    void reserveLine(qint64 bytes);

    // Reads the next line's bytes into `line`; false at the end of the file.
    bool readLine(QByteArray &line);
    // The same without a copy: `line` stays valid until the next read.
    bool readLine(QByteArrayView &line);
    // Like readLine, except that a line found to hold a NUL byte when more
    // of it is still to be read ends where the reading stands: a text that
    // must not hold one is refused without reading gigabytes of zero bytes.
    bool readLineUpToNul(QByteArrayView &line);
    // The rest of the file's bytes at once, up to its first Ctrl-Z, where
    // reading stops. Its carriage returns are left in, for the caller to drop.
    QByteArray readText();
    // The bytes of `line`, the line just read, as an array of their own:
    // the reader's buffer itself when the line starts it, as the first line
    // of a file read at once does, so that a large line is not copied.
    // Nothing more is read after it.
    QByteArray releaseLine(QByteArrayView line);

private:
    bool readLine(QByteArrayView &line, bool stopAtNul);
    bool fillBuffer();
    // Room for `capacity` bytes; what lies past the bytes held is backed by
    // large pages where the system has them.
    void reserveRoom(qsizetype capacity);
    // The line ending before `stop`, with its carriage returns removed.
    QByteArrayView takeLine(qsizetype stop);

    RegularFile m_file;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    qint64 m_read = 0;  // bytes read from the file into the buffer
    bool m_ended = false;
    QByteArray m_scratch;  // a line that held carriage returns inside it
};

// The table of the library's code page, Windows-1251: the character of each
// byte. Throws AppError when the platform cannot convert that code page.
const std::array<char16_t, 256> &windows1251Table();

// Decodes `bytes` of the library's code page into `out`, which has room for
// as many characters. Inline and unrolled: every catalogue value and contents
// entry passes through it, most of them a few bytes long.
inline void decodeWindows1251(QByteArrayView bytes, char16_t *out)
{
    // Held here too: the check of a local static is inlined, a call of the
    // table's function is not.
    static const std::array<char16_t, 256> &table = windows1251Table();
#pragma GCC unroll 4
    for (const char byte : bytes)
        *out++ = table[uchar(byte)];
}

// The message for a failure to open `path` with the C library's error code.
QString openErrorMessage(int errorCode, const QString &path);

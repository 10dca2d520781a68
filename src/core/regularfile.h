// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// A regular file opened for reading, the one place where the program meets
// the operating system's file calls. The file is opened without blocking and
// checked on the opened descriptor, so that a FIFO, a device or a socket put
// in place of a library file is refused at once instead of blocking the
// program or feeding it bytes without end.
class RegularFile
{
public:
    // Opens `path` (a path of this platform) read-only, other readers
    // allowed. Throws AppError with the message of openErrorMessage, or
    // "Not a regular file" for anything but a regular file or a directory.
    explicit RegularFile(const QString &path);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    // The size when the file was opened.
    qint64 size() const { return m_size; }

    // Reads up to `length` bytes into `buffer`; 0 at the end of the file.
    // Throws "I/O error %d".
    qsizetype read(char *buffer, qsizetype length);

private:
#ifdef Q_OS_UNIX
    int m_descriptor = -1;
#else
    void *m_stream = nullptr;  // a std::FILE
#endif
    qint64 m_size = 0;
};

// What tells a file's version apart: its size and modification time.
struct FileStamp
{
    qint64 size = 0;
    qint64 modified = 0;  // nanoseconds since the epoch where the platform keeps them, else seconds
    bool operator==(const FileStamp &) const = default;
};

// The stamp of the file at `path` (a path of this platform) in one look at
// the file system; nothing when there is no file there.
std::optional<FileStamp> fileStamp(const QString &path);

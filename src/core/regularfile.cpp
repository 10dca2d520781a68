// SPDX-License-Identifier: GPL-3.0-or-later
#include "regularfile.h"

#include "error.h"
#include "textfile.h"

#include <QFile>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QDateTime>
#include <QFileInfo>
#include <cstdio>
#endif

namespace {

[[noreturn]] void failToOpen(int errorCode, const QString &path)
{
    throw AppError(openErrorMessage(errorCode, path));
}

[[noreturn]] void failToRead(int errorCode)
{
    throw AppError(QStringLiteral("I/O error %1").arg(errorCode ? errorCode : EIO));
}

}  // namespace

#ifdef Q_OS_UNIX

// O_NONBLOCK keeps open() from waiting for a FIFO's writer; on a regular
// file it changes nothing. The type is taken from the opened descriptor, so
// the file checked is the file read.
RegularFile::RegularFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    m_descriptor = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (m_descriptor < 0)
        failToOpen(errno, path);
    struct stat status
    {};
    if (::fstat(m_descriptor, &status) != 0) {
        const int error = errno;
        ::close(m_descriptor);
        failToRead(error);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(m_descriptor);
        if (S_ISDIR(status.st_mode))
            failToOpen(EISDIR, path);
        throw AppError(QStringLiteral("Not a regular file"));
    }
    m_size = qint64(status.st_size);
}

RegularFile::~RegularFile()
{
    ::close(m_descriptor);
}

qsizetype RegularFile::read(char *buffer, qsizetype length)
{
    for (;;) {
        const ssize_t got = ::read(m_descriptor, buffer, size_t(length));
        if (got >= 0)
            return qsizetype(got);
        if (errno != EINTR)
            failToRead(errno);
    }
}

#else

// Elsewhere the type is checked by name before the file is opened.
RegularFile::RegularFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        failToOpen(EISDIR, path);
    if (info.exists() && !info.isFile())
        throw AppError(QStringLiteral("Not a regular file"));
    errno = 0;
    std::FILE *stream = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!stream)
        failToOpen(errno, path);
    m_stream = stream;
    m_size = info.size();
}

RegularFile::~RegularFile()
{
    std::fclose(static_cast<std::FILE *>(m_stream));
}

qsizetype RegularFile::read(char *buffer, qsizetype length)
{
    auto *stream = static_cast<std::FILE *>(m_stream);
    errno = 0;
    const size_t got = std::fread(buffer, 1, size_t(length), stream);
    if (got == 0 && std::ferror(stream))
        failToRead(errno);
    return qsizetype(got);
}

#endif

std::optional<FileStamp> fileStamp(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat status
    {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
#ifdef Q_OS_LINUX
    const qint64 modified = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
#else
    const qint64 modified = qint64(status.st_mtime);
#endif
    return FileStamp{qint64(status.st_size), modified};
#else
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    return FileStamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
#endif
}

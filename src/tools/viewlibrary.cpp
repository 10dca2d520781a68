// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewlibrary.h"

#include "directories.h"
#include "librarycommands.h"

#include "core/library.h"
#include "core/paths.h"
#include "core/session.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>
#include <optional>

#ifdef Q_OS_WIN
#include <QProcess>
#else
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

namespace {

const QString ViewerName = QStringLiteral("brimvel");

// The viewer beside this program, or else the one on PATH; empty when
// there is neither.
QString viewerProgram()
{
    const QString beside = QStandardPaths::findExecutable(ViewerName, {QCoreApplication::applicationDirPath()});
    return beside.isEmpty() ? QStandardPaths::findExecutable(ViewerName) : beside;
}

// Runs `program` without arguments in the working directory. POSIX
// systems replace this process by it, so that the viewer takes over the
// process a file manager or a shell started; elsewhere the program is
// started on its own and this process goes on. Returns why the program
// could not be started, or nothing when it was.
std::optional<QString> startInPlace(const QString &program)
{
#ifdef Q_OS_WIN
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(QDir::currentPath());
    if (process.startDetached())
        return std::nullopt;
    return process.errorString();
#else
    const QByteArray path = QFile::encodeName(program);
    char *const arguments[] = {const_cast<char *>(path.constData()), nullptr};
    ::execv(path.constData(), arguments);
    return QString::fromLocal8Bit(std::strerror(errno));
#endif
}

// The library to open when no directory is named: the working directory
// when it holds a catalogue, or else the library the viewer opened last (as
// from the desktop entry, which starts in the home directory), or else the
// working directory all the same.
QString libraryToView(const QString &directory)
{
    if (!directory.isEmpty())
        return directory;
    const Library here(workingDirectory());
    if (QFileInfo::exists(here.filePath(QStringLiteral("books.xml"))))
        return QStringLiteral(".");
    const QString recent = mostRecentLibrary();
    return recent.isEmpty() ? QStringLiteral(".") : recent;
}

int failure(QTextStream &err, const QString &message)
{
    err << "brimvel-library: " << message << '\n';
    return ExitFailure;
}

}  // namespace

int viewLibrary(const QString &directory, QTextStream &err)
{
    const QString library = libraryToView(directory);
    if (const std::optional<QString> problem = notADirectory(library))
        return failure(err, *problem);
    // Looked up before the change of directory, which would move a relative
    // directory on PATH.
    const QString program = viewerProgram();
    if (program.isEmpty())
        return failure(err,
                       QStringLiteral("the viewer '%1' is neither beside this program nor on PATH").arg(ViewerName));
    if (!changeDirectory(library))
        return failure(err, QStringLiteral("cannot change to directory '%1'").arg(library));
    err.flush();
    if (const std::optional<QString> reason = startInPlace(program))
        return failure(err, QStringLiteral("cannot start '%1': %2").arg(program, *reason));
    return ExitSuccess;
}

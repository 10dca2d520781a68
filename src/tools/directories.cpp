// SPDX-License-Identifier: GPL-3.0-or-later
#include "directories.h"

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <filesystem>
#include <system_error>

namespace {

QByteArrayList g_arguments;

// The name of `directory` for the file system: the bytes of the argument
// that decodes to it, or else its encoded form.
std::filesystem::path systemPath(const QString &directory)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(directory.toStdWString());
#else
    for (const QByteArray &argument : std::as_const(g_arguments)) {
        if (QString::fromLocal8Bit(argument) == directory)
            return std::filesystem::path(argument.toStdString());
    }
    return std::filesystem::path(QFile::encodeName(directory).toStdString());
#endif
}

}  // namespace

void rememberArguments(int argc, char *argv[])
{
    for (int i = 0; i < argc; ++i)
        g_arguments.append(QByteArray(argv[i]));
}

std::optional<QString> notADirectory(const QString &directory)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(systemPath(directory), error);
    if (!std::filesystem::exists(status))
        return QStringLiteral("no such directory '%1'").arg(directory);
    if (!std::filesystem::is_directory(status))
        return QStringLiteral("'%1' is not a directory").arg(directory);
    return std::nullopt;
}

bool changeDirectory(const QString &directory)
{
    std::error_code error;
    std::filesystem::current_path(systemPath(directory), error);
    return !error;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringBuilder>

namespace {

// The entry of `directory` whose name equals `name` ignoring letter case,
// or an empty string when there is none.
QString findIgnoringCase(const QString &directory, const QString &name)
{
    QDirIterator it(directory, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        QString candidate = it.fileName();
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return {};
}

QString joined(const QString &directory, const QString &name)
{
    if (directory.isEmpty())
        return name;
    // One allocation each: a Find joins the path of every book it opens.
    return directory.endsWith(QLatin1Char('/')) ? directory + name : directory % QLatin1Char('/') % name;
}

// Resolves `relative` below `resolved`, a directory that exists as written.
QString resolveIgnoringCase(QString resolved, const QString &relative)
{
    const QStringList parts = relative.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        QString next = joined(resolved, part);
        const bool special = part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..");
        if (!special && !QFileInfo::exists(next)) {
            const QString match = findIgnoringCase(resolved, part);
            if (match.isEmpty())
                return joined(resolved, parts.sliced(i).join(QLatin1Char('/')));
            next = joined(resolved, match);
        }
        resolved = next;
    }
    return resolved;
}

bool separatorIsBackslash()
{
    return QDir::separator() == QLatin1Char('\\');
}

QString withSlashes(const QString &builtPath)
{
    return QString(builtPath).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

}  // namespace

QString workingDirectory()
{
    QString current = QDir::currentPath();
    if (QFileInfo::exists(current))
        return current;
    const QString link = QStringLiteral("/proc/%1/cwd").arg(QCoreApplication::applicationPid());
    return QFileInfo::exists(link) ? link : current;
}

QString platformPath(const QString &folder, const QString &builtPath)
{
    if (separatorIsBackslash())
        return joined(folder, builtPath);
    const QString relative = withSlashes(builtPath);
    QString path = joined(folder, relative);
    if (relative.isEmpty() || QFileInfo::exists(path))
        return path;
    return resolveIgnoringCase(folder, relative);
}

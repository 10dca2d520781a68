#include "paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace {

// The entry of `directory` whose name equals `name` ignoring letter case,
// or an empty string when there is none.
QString findIgnoringCase(const QString &directory, const QString &name)
{
    QDirIterator it(directory.isEmpty() ? QStringLiteral(".") : directory,
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
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
    return directory.endsWith(QLatin1Char('/')) ? directory + name : directory + QLatin1Char('/') + name;
}

QString resolveIgnoringCase(const QString &path)
{
    QString resolved = path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString();
    const QStringList parts = path.split(QLatin1Char('/'));
    for (qsizetype i = resolved.isEmpty() ? 0 : 1; i < parts.size(); ++i) {
        const QString &part = parts.at(i);
        QString next = joined(resolved, part);
        const bool special = part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..");
        if (!special && !QFileInfo::exists(next)) {
            const QString match = findIgnoringCase(resolved, part);
            if (match.isEmpty())
                return path;
            next = joined(resolved, match);
        }
        resolved = next;
    }
    return resolved;
}

}  // namespace

QString platformPath(const QString &builtPath)
{
    if (QDir::separator() == QLatin1Char('\\'))
        return builtPath;
    QString path = builtPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;
    return resolveIgnoringCase(path);
}

#include "global.h"

#include <QDir>

QString AppDir;

void setAppDirFromCurrentDirectory()
{
    AppDir = QDir::toNativeSeparators(QDir::currentPath());
    if (!AppDir.endsWith(QDir::separator()))
        AppDir += QDir::separator();
}

QString trimText(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

void AddToHistory(const QString &text, QStringList &history)
{
    const QString trimmed = trimText(text);
    if (trimmed.isEmpty())
        return;
    for (qsizetype i = 0; i < history.size(); ++i) {
        if (history.at(i).compare(trimmed, Qt::CaseInsensitive) == 0) {
            history.move(i, 0);
            return;
        }
    }
    history.prepend(trimmed);
    if (history.size() > MaxHistoryCount)
        history.removeLast();
}

namespace {

// One axis of fitIntoWorkArea; 64-bit sums keep far-off stored positions from overflowing.
int fitAxis(int start, int length, int areaStart, int areaLength)
{
    const qint64 areaEnd = qint64(areaStart) + areaLength;
    if (start < areaStart)
        return areaStart;
    if (qint64(start) + length > areaEnd)
        return int(areaEnd - length);
    return start;
}

}  // namespace

QPoint fitIntoWorkArea(const QRect &window, const QRect &workArea)
{
    return {fitAxis(window.x(), window.width(), workArea.x(), workArea.width()),
            fitAxis(window.y(), window.height(), workArea.y(), workArea.height())};
}

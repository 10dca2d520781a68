#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

// The library directory: the working directory at start-up with the
// platform's separator appended. Every data path starts with it.
extern QString AppDir;

// Sets AppDir from the process's current working directory.
void setAppDirFromCurrentDirectory();

// Removes every leading and trailing character whose code is 32 or less.
// Characters above 127 are never trimmed.
QString trimText(const QString &text);

// The library's start page, a file in AppDir.
inline const QString StartPage = QStringLiteral("brimvel_library.htm");

// The shortest search text, in characters after trimming.
constexpr int ShortestSearchText = 4;

// The search history keeps at most this many texts when a new one arrives.
constexpr int MaxHistoryCount = 18;

// Puts a search text at the head of the history (entry 0 is the most recent).
// The text is trimmed first; a blank text leaves the history alone. An entry
// equal to it ignoring letter case moves to the head in its stored form;
// otherwise the text is inserted there and, past MaxHistoryCount entries,
// only the last entry is dropped, so a longer history read from the store
// keeps its length.
void AddToHistory(const QString &text, QStringList &history);

// The top-left corner that brings a window into the work area: on each axis
// a window starting before the area starts at its edge, otherwise one
// reaching past the far edge ends at it; the near edge takes precedence when
// the window is larger than the area. Rectangles are frame rectangles in
// screen pixels.
QPoint fitIntoWorkArea(const QRect &window, const QRect &workArea);

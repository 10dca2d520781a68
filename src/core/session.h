// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "entryaddress.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

class SettingsStore;

// What the viewer keeps between runs beyond the window's placement, in
// sections of the settings store of its own so that no other value changes:
// "reading" holds the restore switch and the zoom, "reading.Libraries" the
// recent libraries (a string list), and one section per library
// "session.<key>" the pages that were open in it.

// The recent libraries, most recent first, and how many the menu offers.
constexpr int MaxRecentLibraries = 5;

// The reader's choices that hold for every library.
struct ReadingPreferences
{
    bool restorePages = true;
    int zoomPercent = 100;
    QStringList recentLibraries;  // folders, absolute, most recent first
};

// Reads the preferences; missing and unreadable values keep their defaults.
ReadingPreferences readPreferences(const SettingsStore &store);
// Writes the preferences. The recent list written is `preferences`' own
// followed by what another instance stored meanwhile, less `dropped`.
void writePreferences(SettingsStore &store, const ReadingPreferences &preferences, const QStringList &dropped);

// Puts `folder` at the head of the recent list, once, keeping at most
// MaxRecentLibraries folders.
void addRecentLibrary(QStringList &recent, const QString &folder);

// The most recent library that is still a directory, from the store of the
// current user; empty when there is none or the store cannot be read. The
// store is not created when missing.
QString mostRecentLibrary();

// A page that was open: the tree entry it shows (or was made from, for a
// bookmark tab), the page file relative to the library folder (a link may
// have led away from the entry's page), and how far it was scrolled.
struct SessionPage
{
    EntryAddress entry;
    QString page;
    QPoint scroll;
};

// The pages open in a library: the start tab's first, then the bookmark
// tabs in order; which tab was in front, and the zoom.
struct LibrarySession
{
    QList<SessionPage> pages;
    int front = 0;
    int zoomPercent = 100;
};

// The session kept for the library in `folder`, when there is one that can
// be read.
std::optional<LibrarySession> readLibrarySession(const SettingsStore &store, const QString &folder);
void writeLibrarySession(SettingsStore &store, const QString &folder, const LibrarySession &session);

// The zoom levels the page view steps through, in percent.
constexpr int MinimumZoom = 25;
constexpr int MaximumZoom = 500;
// The next level up (direction > 0) or down from `percent`, within the range.
int zoomStep(int percent, int direction);

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/librarytree.h"
#include "core/session.h"

#include <QString>
#include <QStringList>

class QWidget;
class TfrmMain;

// What the main window keeps between runs for the reader: the recent
// libraries, the restore switch, the zoom, and per library its open pages
// (the selected entry, the bookmark tabs, the tab in front, how far each
// page was scrolled). The pages are saved when the window closes and before
// another library is opened, and restored when a library has been opened.
class ReadingSession
{
public:
    // Reads the reader's choices from the store at `keyPath`; a store that
    // cannot be read leaves the defaults.
    ReadingSession(TfrmMain &window, QString keyPath);

    bool restorePages() const { return m_preferences.restorePages; }
    void setRestorePages(bool restore) { m_preferences.restorePages = restore; }
    int zoomPercent() const { return m_preferences.zoomPercent; }
    void setZoomPercent(int percent) { m_preferences.zoomPercent = percent; }
    const QStringList &recentLibraries() const { return m_preferences.recentLibraries; }
    // Removes a library that has gone from the recent list.
    void dropLibrary(const QString &folder);

    // The window's library has been opened and its catalogue read: it
    // becomes the most recent, and its pages come back when the switch is
    // on. What no longer exists is skipped without a message.
    void libraryOpened();
    // Saves the open library's pages and the reader's choices; a store that
    // cannot be written is left to the window's storage to report. Nothing
    // is saved while the window's own settings could not be read, so that a
    // store that could not be read is not written over.
    void save();

private:
    QString folder() const;
    LibrarySession capture() const;
    void restore(const LibrarySession &session);
    // Opens the page kept for a tab when it differs from its entry's, and
    // scrolls it once loaded.
    void restorePage(QWidget *tab, LibraryTree::Node node, const SessionPage &page);
    QString relativePage(const QString &file) const;

    TfrmMain &m_window;
    QString m_keyPath;
    ReadingPreferences m_preferences;
    QStringList m_dropped;
};

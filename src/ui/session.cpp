// SPDX-License-Identifier: GPL-3.0-or-later
#include "session.h"

#include "fMain.h"
#include "formstorage.h"
#include "viewer.h"

#include "core/error.h"
#include "core/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QTabWidget>

ReadingSession::ReadingSession(TfrmMain &window, QString keyPath) : m_window(window), m_keyPath(std::move(keyPath))
{
    try {
        m_preferences = readPreferences(SettingsStore(m_keyPath));
    } catch (const std::exception &) {
        // The defaults hold; the window's own storage reports the store.
    }
}

void ReadingSession::dropLibrary(const QString &folder)
{
    m_preferences.recentLibraries.removeAll(folder);
    m_dropped.append(folder);
}

// The library folder without the separator at its end, as the recent list
// shows it and as the session is keyed.
QString ReadingSession::folder() const
{
    return QDir::toNativeSeparators(QDir(m_window.library().AppDir()).absolutePath());
}

void ReadingSession::libraryOpened()
{
    addRecentLibrary(m_preferences.recentLibraries, folder());
    m_dropped.removeAll(folder());
    if (!m_preferences.restorePages)
        return;
    try {
        if (const std::optional<LibrarySession> session = readLibrarySession(SettingsStore(m_keyPath), folder()))
            restore(*session);
    } catch (const std::exception &) {
        // A session that cannot be read is not restored.
    }
}

void ReadingSession::save()
{
    if (!m_window.fsMain->restored())
        return;
    try {
        SettingsStore store(m_keyPath, SettingsStore::Access::Update);
        writePreferences(store, m_preferences, m_dropped);
        // A folder whose catalogue gave no tree has nothing to come back to.
        if (m_window.tree().size() > 0)
            writeLibrarySession(store, folder(), capture());
        store.commit();
    } catch (const AppError &) {
        // The window's own storage saves right after and reports a store
        // that cannot be written; the pages are no reason for a second box.
    }
}

QString ReadingSession::relativePage(const QString &file) const
{
    const QString relative = QDir(m_window.library().AppDir()).relativeFilePath(file);
    return file.isEmpty() || relative.startsWith(QLatin1String("..")) ? QString() : relative;
}

LibrarySession ReadingSession::capture() const
{
    const Library &library = m_window.library();
    const auto pageOf = [&](LibraryTree::Node node, const TWebBrowser *viewer) {
        return SessionPage{node == LibraryTree::NoNode ? EntryAddress() : library.entryAddress(node),
                           relativePage(viewer->localFile()), viewer->scrollPosition()};
    };
    LibrarySession session;
    session.pages.append(pageOf(m_window.selectedNode(), m_window.BookView));
    for (const TfrmMain::Bookmark &bookmark : m_window.bookmarks())
        session.pages.append(pageOf(bookmark.node, m_window.viewerOf(bookmark.tab)));
    session.front = m_window.pageBrowsers->currentIndex();
    session.zoomPercent = m_preferences.zoomPercent;
    return session;
}

void ReadingSession::restore(const LibrarySession &session)
{
    m_preferences.zoomPercent = session.zoomPercent;
    m_window.applyZoom();
    QWidget *front = m_window.tbsView;
    for (int index = 0; index < session.pages.size(); ++index) {
        const SessionPage &page = session.pages.at(index);
        try {
            const LibraryTree::Node node = m_window.expandTo(page.entry);
            if (node == LibraryTree::NoNode)
                continue;
            QWidget *tab = m_window.tbsView;
            if (index == 0) {
                m_window.showMatch(node);
            } else {
                if (m_window.tree().level(node) < 2)
                    continue;
                const int tabs = m_window.pageBrowsers->count();
                tab = m_window.openBookmark(node);
                if (m_window.pageBrowsers->count() == tabs)
                    continue;  // a tab of that caption is open already
            }
            restorePage(tab, node, page);
            if (index == session.front)
                front = tab;
        } catch (const AppError &) {
            // A book that has gone, or cannot be read, is skipped.
        }
    }
    m_window.bringToFront(front);
}

void ReadingSession::restorePage(QWidget *tab, LibraryTree::Node node, const SessionPage &page)
{
    const Library &library = m_window.library();
    TWebBrowser *viewer = m_window.viewerOf(tab);
    const QString entryPage = library.filePath(m_window.tree().level(node) < 2 ? StartPage : library.pagePath(node));
    const QString keptPage = page.page.isEmpty() ? QString() : library.filePath(page.page);
    if (!keptPage.isEmpty() && keptPage != entryPage && QFileInfo(keptPage).isFile())
        viewer->Navigate2(keptPage);
    viewer->scrollWhenLoaded(page.scroll);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <memory>

class QWebEngineView;
class LibraryPage;

// The page viewer: an embedded web view that fills its tab. It is told to
// open a local file and reports where it is. Pages are untrusted: they load
// only files of the library folder (see PageGuard), their script dialogs are
// bounded, and a page whose renderer stops answering is closed.
class TWebBrowser : public QWidget
{
    Q_OBJECT

public:
    explicit TWebBrowser(QWidget *parent = nullptr);

    // The library folder, whose files the pages of every viewer may load.
    static void setLibraryFolder(const QString &folder);

    // Opens the local file `path`, a path of this platform (the library
    // gives its files' paths so, see Library::filePath). Returns at once; the
    // page loads on its own.
    // A path that is no readable file of the library shows a notice instead.
    void Navigate2(const QString &path);

    // Marks every occurrence of `words` (whole words, letter case ignored) in
    // the page that Navigate2 opened last, once it has loaded, and scrolls to
    // the first. Another Navigate2 first forgets them.
    void markWordsWhenLoaded(const QStringList &words);

    // The page shown now, including pages reached through links; empty
    // before anything has been opened.
    QString LocationURL() const;

signals:
    // A text for the status bar, such as the notice that a page was closed.
    void statusMessage(const QString &text);

private:
    void renderProcessDied();
    void markWords();
    void checkRenderer();

    QWebEngineView *m_view;
    LibraryPage *m_page;
    // The page Navigate2 opened last, and the words to mark in it.
    QUrl m_opened;
    QStringList m_wordsToMark;
    // The page has been loaded anew once since the last Navigate2 because
    // its render process died.
    bool m_reloadedAfterDeath = false;
    // The viewer ended the render process because it stopped answering.
    bool m_endedUnanswered = false;
    // Asks the render process at intervals whether it still answers; the
    // question outstanding, if any, and since when (shared with its answer,
    // which may come after the viewer is gone).
    QTimer m_heartbeat;
    std::shared_ptr<QElapsedTimer> m_question = std::make_shared<QElapsedTimer>();
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>

class QPrinter;
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
    ~TWebBrowser() override;

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
    // The local file shown now; empty when the page is no local file.
    QString localFile() const;

    // How far the page is scrolled, and a scroll to apply once the page
    // opened next has loaded.
    QPoint scrollPosition() const;
    void scrollWhenLoaded(const QPoint &position);

    // Shows nothing and forgets the history, as a viewer just made.
    void clear();

    void setZoomPercent(int percent);

    // Back and forward within this viewer's own history, which links
    // followed and pages opened add to. The mouse's back and forward
    // buttons over the page do the same.
    void back();
    void forward();

    // Prints the page on `printer`, which the viewer keeps until the page
    // is printed.
    void print(std::unique_ptr<QPrinter> printer);
    // True from print() until the page is printed or the print has failed.
    bool printing() const { return m_printer != nullptr; }

signals:
    // A text for the status bar, such as the notice that a page was closed.
    void statusMessage(const QString &text);
    // The wheel turned with Ctrl held over the page: +1 to zoom in, -1 out.
    void zoomRequested(int direction);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void renderProcessDied();
    void applyPendingScroll(bool loaded);
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
    std::unique_ptr<QPrinter> m_printer;
    std::optional<QPoint> m_pendingScroll;
    bool m_scrollWhenShown = false;  // the page has loaded while the viewer was hidden
};

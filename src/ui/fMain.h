// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/library.h"
#include "librarytreeview.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class FullTextPane;
class LibraryIndex;
class LibraryModel;
class ReadingSession;
struct PageHit;
class TFormStorage;
class QAction;
class QMenu;
class QSplitter;
class QStatusBar;
class QTabWidget;

class TWebBrowser;

// The main window: the library tree on the left, the page viewer tabs on the
// right, the menus "Библиотека", "Поиск" and "Закладки", and a status bar
// for hints.
class TfrmMain : public QMainWindow
{
    Q_OBJECT

public:
    // Builds the window and runs its creation handler; an error there is
    // reported before the window is shown, which then opens as far as the
    // handler got.
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // The designed geometry of the window.
    static constexpr QPoint DesignedPosition{111, 164};
    static constexpr QSize DesignedClientSize{814, 592};
    static constexpr int DesignedTreeWidth = 273;
    static constexpr int MinimumTreeWidth = 150;

    TLibraryTreeView *LibBooks = nullptr;
    QSplitter *Splitter1 = nullptr;
    QTabWidget *pageBrowsers = nullptr;
    QWidget *tbsView = nullptr;
    TWebBrowser *BookView = nullptr;
    QStatusBar *stbarMain = nullptr;
    QMenu *dxBarPopupMenuLib = nullptr;
    TFormStorage *fsMain = nullptr;

    QAction *actNewBookmark = nullptr;
    QAction *actDelBookmark = nullptr;
    QAction *actFind = nullptr;
    QAction *actFindNext = nullptr;
    QAction *actFullCollapse = nullptr;

    // The commands of reading: another library, print, zoom and history.
    QAction *actionOpenLibrary = nullptr;
    QAction *actionPrint = nullptr;
    QAction *actionRestorePages = nullptr;
    QAction *actionExit = nullptr;
    QAction *actionZoomIn = nullptr;
    QAction *actionZoomOut = nullptr;
    QAction *actionZoomReset = nullptr;
    QAction *actionBack = nullptr;
    QAction *actionForward = nullptr;

    // Searches the tree for `searchText` (trimmed) from its first node, as
    // Find does once the find dialog is confirmed.
    void SearchFirst(const QString &searchText);

    // The open library and its tree.
    const Library &library() const;
    const LibraryTree &tree() const;
    int bookmarkCount() const { return int(ListItemBookmarks.size()); }
    // The caption of a tab of pageBrowsers, as it was given (the tab bar
    // shows it with its ampersands doubled).
    QString tabCaption(int index) const;
    LibraryModel *libraryModel() const { return m_model; }
    // "Поиск по тексту...", its pane below the tree, and the open library's
    // full-text index.
    QAction *fullTextSearchAction() const { return m_fullTextSearchAction; }
    FullTextPane *fullTextPane() const { return m_fullTextPane; }
    LibraryIndex *libraryIndex() const { return m_libraryIndex; }

    // Opens the library in `folder` in place of the open one, as a start in
    // that folder would: the bookmark tabs of the old one are closed first,
    // its pages kept for its next opening. Failures are reported as at start.
    void openAnotherLibrary(const QString &folder);

    // An entry of the bookmark list: a bookmark tab, its caption and the
    // entry it was made from.
    struct Bookmark
    {
        QString caption;
        QWidget *tab;
        LibraryTree::Node node;
    };
    const QList<Bookmark> &bookmarks() const { return ListItemBookmarks; }
    // The viewer of a tab of pageBrowsers.
    TWebBrowser *viewerOf(QWidget *tab) const;
    LibraryTree::Node selectedNode() const;
    // The node at `address`, with the tree expanded down to it; NoNode when
    // it is gone. Errors of loading a book on the way go on to the caller.
    LibraryTree::Node expandTo(const EntryAddress &address);
    // Selects `node` and scrolls the tree to show it at the top, which
    // shows its page.
    void showMatch(LibraryTree::Node node);
    // Opens a bookmark tab on a contents node, or brings the one with its
    // caption to the front, as "Новая закладка" does; returns the tab.
    QWidget *openBookmark(LibraryTree::Node node);
    // Brings a tab to the front and recomputes the action states.
    void bringToFront(QWidget *tab);
    // Applies the zoom of the reading session to every viewer.
    void applyZoom();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createActions();
    void createMenus();
    void createLibraryMenu();
    void createReadingActions();
    // Rebuilds the recent libraries' entries of the "Библиотека" menu.
    void fillRecentLibraries();
    void openRecentLibrary(const QString &folder);
    void chooseLibrary();
    void printFrontPage();
    void zoomBy(int direction);
    void setZoom(int percent);
    TWebBrowser *frontViewer() const;
    TWebBrowser *createViewer();
    void closeBookmarks();
    void closeBookmarkTab(QWidget *tab);
    void createLayout();
    QAction *createAction(const QString &caption, const QString &hint, const QKeySequence &key);
    // Runs `handler` through the top-level error handler when `action` fires.
    void connectHandler(QAction *action, void (TfrmMain::*handler)());

    void FormCreate();
    // Replaces the open library by the one in `folder` (see LibraryModel::openLibrary).
    void openLibrary(const QString &folder);
    void fsMainRestorePlacement();
    void actFindExecute();
    void LibBooksChange(LibraryTree::Node node);
    void LibBooksExpanding(LibraryTree::Node node);
    void userExpanded(const QModelIndex &index);
    void pageBrowsersChange();
    QString GetNodeCaption(LibraryTree::Node node) const;
    // Brings a tab to the front from code, which the user's tab-switch
    // handler does not hear about.
    void activateTab(QWidget *tab);
    void setTabCaption(QWidget *tab, const QString &caption);
    void LibBooksMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint &position);
    void actFullCollapseExecute();
    void actFindNextExecute();
    void SearchNext();
    // Runs a walk of the library's search with the busy cursor and the
    // tree's update lock held, and shows the match, or else `notFound`.
    void walkTree(const std::function<LibraryTree::Node(const Library::Expander &)> &walk, const QString &notFound);
    // Expands a node one level for the tree search and the restore of a
    // selection, raising the expanding event even for a node that is
    // expanded already.
    void expandForSearch(LibraryTree::Node node);
    void actNewBookmarkExecute();
    void actDelBookmarkExecute();
    void ListItemBookmarksClick(int index);
    // Rebuilds the bookmark entries of the "Закладки" menu from the list.
    void fillBookmarkMenu();
    // Adds a bookmark tab with its viewer showing `path`; a tab whose viewer
    // fails is removed again before the error goes on.
    QWidget *addBookmarkTab(const QString &caption, const QString &path);
    void UpdateActionStates();
    // Selects the entry of a page the full-text search found, opens the page
    // in the start tab and marks `words` in it.
    void openPageHit(const PageHit &hit, const QStringList &words);

    LibraryModel *m_model = nullptr;
    std::unique_ptr<ReadingSession> m_session;
    QMenu *m_libraryMenu = nullptr;
    QList<QAction *> m_recentEntries;  // the recent libraries' entries in the menu
    QAction *m_recentEnd = nullptr;    // the separator after them
    LibraryIndex *m_libraryIndex = nullptr;
    QAction *m_fullTextSearchAction = nullptr;
    FullTextPane *m_fullTextPane = nullptr;
    QMenu *m_bookmarksMenu = nullptr;
    QList<QAction *> m_bookmarkEntries;  // the separator and the list's entries in the menu
    QList<Bookmark> ListItemBookmarks;
    bool m_activatingTab = false;
};

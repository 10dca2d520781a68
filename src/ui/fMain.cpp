// SPDX-License-Identifier: GPL-3.0-or-later
#include "fMain.h"

#include "fFind.h"
#include "formstorage.h"
#include "fulltextpane.h"
#include "indexingstatus.h"
#include "libraryindex.h"
#include "librarymodel.h"
#include "librarytreeview.h"
#include "platform.h"
#include "session.h"
#include "viewer.h"

#include "core/paths.h"
#include "core/settings.h"
#include "core/text.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <memory>

namespace {

const QColor TreeBackground(255, 249, 213);
const QString StartTabCaption = QStringLiteral("BRIMVEL");
constexpr int TreeIndent = 19;
constexpr int SplitterWidth = 4;

// Shows a node's whole text in a tooltip when the tree cuts it off, as
// plain text whatever it looks like.
class CutTextToolTipDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QRect visible = view->viewport()->rect();
        const int textRight = option.rect.left() + sizeHint(option, index).width();
        if (textRight > visible.right())
            QToolTip::showText(event->globalPos(),
                               Qt::convertFromPlainText(index.data().toString(), Qt::WhiteSpaceNoWrap),
                               view->viewport(), option.rect);
        else
            QToolTip::hideText();
        return true;
    }
};

}  // namespace

TfrmMain::TfrmMain(QWidget *parent)
    : QMainWindow(parent),
      m_model(new LibraryModel(this)),
      m_libraryIndex(new LibraryIndex(this))
{
    setWindowTitle(ApplicationTitle);
    move(DesignedPosition);
    resize(DesignedClientSize);
    createActions();
    createMenus();
    createLayout();
    fsMain = new TFormStorage(this, QStringLiteral("main"), {fpState, fpPosition},
                              {{QStringLiteral("LibBooks.Width"), splitterPaneSize(Splitter1, 0)}});
    fsMain->onRestorePlacement = [this] { fsMainRestorePlacement(); };
    runHandler([this] { FormCreate(); });
    LibBooks->setFocus();
}

TfrmMain::~TfrmMain()
{
    fsMain->windowDestroying();
}

const Library &TfrmMain::library() const
{
    return m_model->library();
}

const LibraryTree &TfrmMain::tree() const
{
    return m_model->tree();
}

QAction *TfrmMain::createAction(const QString &caption, const QString &hint, const QKeySequence &key)
{
    auto *action = new QAction(caption, this);
    action->setStatusTip(hint);
    action->setToolTip(hint);
    action->setShortcut(key);
    return action;
}

void TfrmMain::createActions()
{
    actNewBookmark =
        createAction(QStringLiteral("Новая закладка"), QStringLiteral("Создать новую закладку"), Qt::Key_F2);
    actDelBookmark = createAction(QStringLiteral("Удалить закладку"), QStringLiteral("Удалить закладку"), Qt::Key_F8);
    actFind = createAction(QStringLiteral("Найти..."), QStringLiteral("Поиск книги в библиотеке"),
                           QKeySequence(Qt::CTRL | Qt::Key_F));
    actFindNext = createAction(QStringLiteral("Найти далее"), QStringLiteral("Найти далее"), Qt::Key_F3);
    actFullCollapse = createAction(QStringLiteral("Свернуть всё"), QStringLiteral("Свернуть всё дерево"), {});
    m_fullTextSearchAction =
        createAction(QStringLiteral("Поиск по тексту..."), QStringLiteral("Поиск слов в тексте всех книг"),
                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    connectHandler(actFullCollapse, &TfrmMain::actFullCollapseExecute);
    connectHandler(actNewBookmark, &TfrmMain::actNewBookmarkExecute);
    connectHandler(actDelBookmark, &TfrmMain::actDelBookmarkExecute);
    connectHandler(actFind, &TfrmMain::actFindExecute);
    connectHandler(actFindNext, &TfrmMain::actFindNextExecute);
    createReadingActions();
}

void TfrmMain::createReadingActions()
{
    actionOpenLibrary = createAction(QStringLiteral("Открыть библиотеку..."),
                                     QStringLiteral("Открыть библиотеку из другой папки"), QKeySequence::Open);
    actionPrint = createAction(QStringLiteral("Печать..."), QStringLiteral("Напечатать страницу"), QKeySequence::Print);
    actionRestorePages =
        createAction(QStringLiteral("Восстанавливать открытые страницы"),
                     QStringLiteral("Открывать при запуске страницы и закладки, открытые в прошлый раз"), {});
    actionRestorePages->setCheckable(true);
    actionRestorePages->setChecked(true);
    actionExit =
        createAction(QStringLiteral("Выход"), QStringLiteral("Закрыть программу"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    actionZoomIn = createAction(QStringLiteral("Увеличить"), QStringLiteral("Увеличить страницу"), {});
    actionZoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
    actionZoomOut = createAction(QStringLiteral("Уменьшить"), QStringLiteral("Уменьшить страницу"),
                                 QKeySequence(Qt::CTRL | Qt::Key_Minus));
    actionZoomReset = createAction(QStringLiteral("Обычный размер"), QStringLiteral("Показать страницу без увеличения"),
                                   QKeySequence(Qt::CTRL | Qt::Key_0));
    actionBack = createAction(QStringLiteral("Назад"), QStringLiteral("Вернуться на предыдущую страницу"),
                              QKeySequence(Qt::ALT | Qt::Key_Left));
    actionForward = createAction(QStringLiteral("Вперёд"), QStringLiteral("Перейти на следующую страницу"),
                                 QKeySequence(Qt::ALT | Qt::Key_Right));
    // The commands without a menu entry act through their keys anywhere in the window.
    addActions({actionZoomIn, actionZoomOut, actionZoomReset, actionBack, actionForward});
    connectHandler(actionOpenLibrary, &TfrmMain::chooseLibrary);
    connectHandler(actionPrint, &TfrmMain::printFrontPage);
    connect(actionRestorePages, &QAction::toggled, this, [this](bool on) { m_session->setRestorePages(on); });
    connect(actionExit, &QAction::triggered, this, &QWidget::close);
    connect(actionZoomIn, &QAction::triggered, this, [this] { zoomBy(1); });
    connect(actionZoomOut, &QAction::triggered, this, [this] { zoomBy(-1); });
    connect(actionZoomReset, &QAction::triggered, this, [this] { setZoom(100); });
    connect(actionBack, &QAction::triggered, this, [this] { frontViewer()->back(); });
    connect(actionForward, &QAction::triggered, this, [this] { frontViewer()->forward(); });
}

void TfrmMain::connectHandler(QAction *action, void (TfrmMain::*handler)())
{
    connect(action, &QAction::triggered, this,
            [this, handler] { runHandler([this, handler] { (this->*handler)(); }); });
}

void TfrmMain::createMenus()
{
    createLibraryMenu();
    QMenu *search = menuBar()->addMenu(QStringLiteral("Поиск"));
    search->addAction(actFind);
    search->addAction(actFindNext);
    search->addSeparator();
    search->addAction(m_fullTextSearchAction);
    m_bookmarksMenu = menuBar()->addMenu(QStringLiteral("Закладки"));
    m_bookmarksMenu->addAction(actNewBookmark);
    m_bookmarksMenu->addAction(actDelBookmark);
    connect(m_bookmarksMenu, &QMenu::aboutToShow, this, &TfrmMain::fillBookmarkMenu);

    dxBarPopupMenuLib = new QMenu(this);
    dxBarPopupMenuLib->addAction(actNewBookmark);
    dxBarPopupMenuLib->addSeparator();
    dxBarPopupMenuLib->addAction(actFullCollapse);
}

// "Библиотека", the first menu: another library, the recent ones, printing,
// the restore switch and the end of the program.
void TfrmMain::createLibraryMenu()
{
    m_libraryMenu = menuBar()->addMenu(QStringLiteral("Библиотека"));
    m_libraryMenu->setToolTipsVisible(true);
    m_libraryMenu->addAction(actionOpenLibrary);
    m_recentEnd = m_libraryMenu->addSeparator();
    m_libraryMenu->addAction(actionPrint);
    m_libraryMenu->addAction(actionRestorePages);
    m_libraryMenu->addSeparator();
    m_libraryMenu->addAction(actionExit);
    connect(m_libraryMenu, &QMenu::aboutToShow, this, &TfrmMain::fillRecentLibraries);
}

void TfrmMain::createLayout()
{
    LibBooks = new TLibraryTreeView;
    LibBooks->setModel(m_model);
    LibBooks->setHeaderHidden(true);
    LibBooks->setFrameShape(QFrame::NoFrame);
    LibBooks->setRootIsDecorated(true);
    LibBooks->setIndentation(TreeIndent);
    LibBooks->setUniformRowHeights(true);
    LibBooks->setMouseTracking(true);
    LibBooks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LibBooks->setSelectionMode(QAbstractItemView::SingleSelection);
    LibBooks->setContextMenuPolicy(Qt::PreventContextMenu);
    LibBooks->setTextElideMode(Qt::ElideNone);
    LibBooks->setItemDelegate(new CutTextToolTipDelegate(LibBooks));
    LibBooks->setMinimumWidth(MinimumTreeWidth);
    LibBooks->viewport()->installEventFilter(this);
    connect(LibBooks, &QTreeView::expanded, this, &TfrmMain::userExpanded);
    connect(LibBooks->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const LibraryTree::Node node = selectedNode();
        if (node != LibraryTree::NoNode)
            runHandler([this, node] { LibBooksChange(node); });
        else
            UpdateActionStates();
    });
    // The selection stays highlighted when the tree loses the focus.
    QPalette palette = LibBooks->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    LibBooks->setPalette(palette);

    BookView = createViewer();
    tbsView = new QWidget;
    auto *startTabLayout = new QVBoxLayout(tbsView);
    startTabLayout->setContentsMargins(0, 0, 0, 0);
    startTabLayout->addWidget(BookView);
    pageBrowsers = new QTabWidget;
    pageBrowsers->addTab(tbsView, QString());
    setTabCaption(tbsView, StartTabCaption);
    pageBrowsers->tabBar()->setMouseTracking(true);
    connect(pageBrowsers, &QTabWidget::currentChanged, this, [this] {
        if (!m_activatingTab)
            runHandler([this] { pageBrowsersChange(); });
    });

    // The full-text search pane shares the tree's side, below it.
    m_fullTextPane = new FullTextPane(m_libraryIndex);
    m_fullTextPane->hide();
    connect(m_fullTextSearchAction, &QAction::triggered, m_fullTextPane, &FullTextPane::open);
    connect(m_fullTextPane, &FullTextPane::hitChosen, this,
            [this](const PageHit &hit, const QStringList &words) { runHandler([&] { openPageHit(hit, words); }); });
    auto *treeSide = new QSplitter(Qt::Vertical);
    treeSide->setHandleWidth(SplitterWidth);
    treeSide->setChildrenCollapsible(false);
    treeSide->addWidget(LibBooks);
    treeSide->addWidget(m_fullTextPane);

    Splitter1 = new QSplitter(Qt::Horizontal);
    Splitter1->setHandleWidth(SplitterWidth);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(treeSide);
    Splitter1->addWidget(pageBrowsers);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({DesignedTreeWidth, DesignedClientSize.width() - DesignedTreeWidth - SplitterWidth});
    setCentralWidget(Splitter1);

    stbarMain = statusBar();
    stbarMain->setSizeGripEnabled(false);
    stbarMain->addPermanentWidget(new IndexingStatus(m_libraryIndex));
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LibBooks->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        runHandler([&] { LibBooksMouseDown(mouse->button(), mouse->modifiers(), mouse->position().toPoint()); });
        // A right click leaves the selection alone.
        return mouse->button() == Qt::RightButton;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::FormCreate()
{
    fsMain->setIniFileName(LibraryKeyPath);
    m_session = std::make_unique<ReadingSession>(*this, fsMain->iniFileName());
    actionRestorePages->setChecked(m_session->restorePages());
    QPalette palette = LibBooks->palette();
    palette.setColor(QPalette::Base, TreeBackground);
    LibBooks->setPalette(palette);
    const auto updateStates = qScopeGuard([this] { UpdateActionStates(); });
    applyZoom();
    openLibrary(workingDirectory());
    m_session->libraryOpened();
}

void TfrmMain::openAnotherLibrary(const QString &folder)
{
    const auto updateStates = qScopeGuard([this] { UpdateActionStates(); });
    m_session->save();
    closeBookmarks();
    setTabCaption(tbsView, StartTabCaption);
    BookView->clear();
    openLibrary(folder);
    m_session->libraryOpened();
}

void TfrmMain::chooseLibrary()
{
    QFileDialog dialog(this, QStringLiteral("Открыть библиотеку"), library().AppDir());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (execDialog(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        openAnotherLibrary(dialog.selectedFiles().constFirst());
}

void TfrmMain::fillRecentLibraries()
{
    qDeleteAll(m_recentEntries);
    m_recentEntries.clear();
    for (const QString &folder : m_session->recentLibraries()) {
        QString name = QFileInfo(folder).fileName();
        if (name.isEmpty())
            name = folder;  // a library at the root of a file system
        auto *entry = new QAction(name.replace(u'&', QStringLiteral("&&")), m_libraryMenu);
        entry->setStatusTip(folder);
        entry->setToolTip(folder);
        m_libraryMenu->insertAction(m_recentEnd, entry);
        connect(entry, &QAction::triggered, this,
                [this, folder] { runHandler([this, folder] { openRecentLibrary(folder); }); });
        m_recentEntries.append(entry);
    }
}

void TfrmMain::openRecentLibrary(const QString &folder)
{
    if (QFileInfo(folder).isDir()) {
        openAnotherLibrary(folder);
        return;
    }
    m_session->dropLibrary(folder);
    showMessageBox(QMessageBox::Warning, ApplicationTitle,
                   QStringLiteral("Папка библиотеки не найдена и убрана из списка: %1").arg(folder));
}

void TfrmMain::printFrontPage()
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(printer.get(), this);
    if (execDialog(dialog) == QDialog::Accepted)
        frontViewer()->print(std::move(printer));
}

void TfrmMain::zoomBy(int direction)
{
    setZoom(zoomStep(m_session->zoomPercent(), direction));
}

void TfrmMain::setZoom(int percent)
{
    m_session->setZoomPercent(percent);
    applyZoom();
}

void TfrmMain::applyZoom()
{
    for (TWebBrowser *viewer : pageBrowsers->findChildren<TWebBrowser *>())
        viewer->setZoomPercent(m_session->zoomPercent());
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    m_session->save();
    QMainWindow::closeEvent(event);
}

TWebBrowser *TfrmMain::createViewer()
{
    auto *viewer = new TWebBrowser;
    connect(viewer, &TWebBrowser::statusMessage, this, [this](const QString &text) { statusBar()->showMessage(text); });
    connect(viewer, &TWebBrowser::zoomRequested, this, &TfrmMain::zoomBy);
    if (m_session)
        viewer->setZoomPercent(m_session->zoomPercent());
    return viewer;
}

TWebBrowser *TfrmMain::viewerOf(QWidget *tab) const
{
    return tab == tbsView ? BookView : tab->findChild<TWebBrowser *>();
}

TWebBrowser *TfrmMain::frontViewer() const
{
    return viewerOf(pageBrowsers->currentWidget());
}

void TfrmMain::openLibrary(const QString &folder)
{
    // Pages may read the new library's folder and no other, also when its
    // catalogue cannot be read.
    const auto confinePages = qScopeGuard([this] { TWebBrowser::setLibraryFolder(library().AppDir()); });
    // A library whose catalogue cannot be read gets no index, so that its
    // books are not taken for removed.
    m_libraryIndex->close();
    m_model->openLibrary(folder);
    // The index is opened and its update started once the window has shown
    // the tree, so that neither delays the start.
    QTimer::singleShot(0, m_libraryIndex, [this, opened = &library()] {
        if (opened == &library())
            m_libraryIndex->open(library());
    });
}

void TfrmMain::fsMainRestorePlacement()
{
    if (!isMaximized())
        FitFormToWorkArea(this);
}

void TfrmMain::actFindExecute()
{
    TfrmFind dialog(this);
    const auto updateStates = qScopeGuard([this] { UpdateActionStates(); });
    if (dialog.exec() == QDialog::Accepted) {
        // The walk suspends the tree's redrawing for its whole length: the
        // window is redrawn where the dialog was before it starts.
        repaint();
        SearchFirst(trimText(dialog.cmbMask->currentText()));
    }
}

QString TfrmMain::tabCaption(int index) const
{
    return pageBrowsers->tabBar()->tabData(index).toString();
}

void TfrmMain::setTabCaption(QWidget *tab, const QString &caption)
{
    const int index = pageBrowsers->indexOf(tab);
    pageBrowsers->setTabText(index, QString(caption).replace(u'&', QStringLiteral("&&")));
    pageBrowsers->tabBar()->setTabData(index, caption);
}

void TfrmMain::activateTab(QWidget *tab)
{
    const QScopedValueRollback activating(m_activatingTab, true);
    pageBrowsers->setCurrentWidget(tab);
}

QString TfrmMain::GetNodeCaption(LibraryTree::Node node) const
{
    return tree().caption(node);
}

void TfrmMain::LibBooksChange(LibraryTree::Node node)
{
    const auto updateStates = qScopeGuard([this] { UpdateActionStates(); });
    if (tree().level(selectedNode()) < 2) {
        // The start page is looked for under the name it was opened with,
        // which is its spelling on disk when that differs in letter case.
        const QString startPage = library().filePath(StartPage);
        if (!BookView->LocationURL().contains(QFileInfo(startPage).fileName())) {
            setTabCaption(tbsView, StartTabCaption);
            BookView->Navigate2(startPage);
        }
        activateTab(tbsView);
    } else {
        const QString path = library().filePath(library().pagePath(node));
        setTabCaption(tbsView, GetNodeCaption(node));
        activateTab(tbsView);
        BookView->Navigate2(path);
    }
}

void TfrmMain::LibBooksExpanding(LibraryTree::Node node)
{
    if (!library().contentsPending(node))
        return;
    BeginBusyCursor();
    const auto endBusy = qScopeGuard([] { EndBusyCursor(); });
    m_model->addChildrenAtOnce(node, [this, node] { m_model->library().expand(node); });
}

void TfrmMain::userExpanded(const QModelIndex &index)
{
    const LibraryTree::Node node = m_model->node(index);
    runHandler([&] {
        try {
            LibBooksExpanding(node);
        } catch (...) {
            // A book whose load added nothing stays closed, so that the
            // next expansion tries again.
            if (tree().childCount(node) == 0)
                LibBooks->collapse(index);
            throw;
        }
    });
}

void TfrmMain::pageBrowsersChange()
{
    UpdateActionStates();
}

void TfrmMain::actNewBookmarkExecute()
{
    const LibraryTree::Node node = selectedNode();
    if (node == LibraryTree::NoNode || tree().level(node) < 2)
        return;
    const auto updateStates = qScopeGuard([this] { UpdateActionStates(); });
    openBookmark(node);
}

QWidget *TfrmMain::openBookmark(LibraryTree::Node node)
{
    const QString caption = GetNodeCaption(node);
    for (int index = 0; index < pageBrowsers->count(); ++index) {
        if (pageBrowsers->widget(index) != tbsView && tabCaption(index) == caption) {
            activateTab(pageBrowsers->widget(index));
            return pageBrowsers->widget(index);
        }
    }
    QWidget *tab = addBookmarkTab(caption, library().filePath(library().pagePath(node)));
    activateTab(tab);
    ListItemBookmarks.append({caption, tab, node});
    return tab;
}

void TfrmMain::bringToFront(QWidget *tab)
{
    activateTab(tab);
    UpdateActionStates();
}

QWidget *TfrmMain::addBookmarkTab(const QString &caption, const QString &path)
{
    auto tab = std::make_unique<QWidget>();
    pageBrowsers->addTab(tab.get(), QString());
    setTabCaption(tab.get(), caption);
    auto *layout = new QVBoxLayout(tab.get());
    layout->setContentsMargins(0, 0, 0, 0);
    TWebBrowser *viewer = createViewer();
    layout->addWidget(viewer);
    viewer->Navigate2(path);
    return tab.release();
}

void TfrmMain::ListItemBookmarksClick(int index)
{
    activateTab(ListItemBookmarks.at(index).tab);
    UpdateActionStates();
}

void TfrmMain::actDelBookmarkExecute()
{
    QWidget *front = pageBrowsers->currentWidget();
    if (pageBrowsers->count() < 2 || front == tbsView)
        return;
    const auto updateStates = qScopeGuard([this] { UpdateActionStates(); });
    const auto entry = std::find_if(ListItemBookmarks.begin(), ListItemBookmarks.end(),
                                    [front](const Bookmark &bookmark) { return bookmark.tab == front; });
    if (entry == ListItemBookmarks.end())
        return;
    ListItemBookmarks.erase(entry);
    const int index = pageBrowsers->indexOf(front);
    activateTab(tbsView);
    closeBookmarkTab(front);
    // The tab that followed the closed one comes to the front, or the start
    // tab when the closed one was the rightmost.
    activateTab(index < pageBrowsers->count() ? pageBrowsers->widget(index) : tbsView);
}

// A closed bookmark's viewer is destroyed just before its tab, so that its
// page is closed while the tab still holds it, rather than as one of the
// tab's children.
void TfrmMain::closeBookmarkTab(QWidget *tab)
{
    delete tab->findChild<TWebBrowser *>();
    delete tab;
}

void TfrmMain::closeBookmarks()
{
    activateTab(tbsView);
    for (const Bookmark &bookmark : std::exchange(ListItemBookmarks, {}))
        closeBookmarkTab(bookmark.tab);
}

void TfrmMain::fillBookmarkMenu()
{
    qDeleteAll(m_bookmarkEntries);
    m_bookmarkEntries.clear();
    if (ListItemBookmarks.isEmpty())
        return;
    m_bookmarkEntries.append(m_bookmarksMenu->addSeparator());
    for (int index = 0; index < ListItemBookmarks.size(); ++index) {
        // Marks "1" to "9", then "A", "B", ... as the entries' accelerators:
        // from the tenth entry on, the character 56 places past the index.
        const QChar mark = index < 9 ? QChar(u'1' + index) : QChar(char16_t(56 + index));
        const QString caption = QString(ListItemBookmarks.at(index).caption).replace(u'&', QStringLiteral("&&"));
        QAction *entry = m_bookmarksMenu->addAction(QStringLiteral("&%1 %2").arg(mark, caption));
        connect(entry, &QAction::triggered, this,
                [this, index] { runHandler([this, index] { ListItemBookmarksClick(index); }); });
        m_bookmarkEntries.append(entry);
    }
}

void TfrmMain::actFindNextExecute()
{
    SearchNext();
}

void TfrmMain::SearchFirst(const QString &searchText)
{
    walkTree([&](const Library::Expander &expand) { return m_model->library().findFirst(searchText, expand); },
             QStringLiteral("По запросу \"%1\" ничего не найдено").arg(searchText));
}

void TfrmMain::SearchNext()
{
    const auto updateStates = qScopeGuard([this] { UpdateActionStates(); });
    walkTree([this](const Library::Expander &expand) { return m_model->library().findNext(expand); },
             QStringLiteral("По запросу \"%1\" далее ничего не найдено").arg(library().searchText()));
}

void TfrmMain::walkTree(const std::function<LibraryTree::Node(const Library::Expander &)> &walk,
                        const QString &notFound)
{
    BeginBusyCursor();
    LibBooks->setUpdatesEnabled(false);
    LibBooks->deferLayout();
    const auto release = qScopeGuard([this] {
        LibBooks->setUpdatesEnabled(true);
        EndBusyCursor();
    });
    const LibraryTree::Node found = walk([this](LibraryTree::Node node) { expandForSearch(node); });
    if (found == LibraryTree::NoNode)
        showMessageBox(QMessageBox::Information, QStringLiteral("Поиск"), notFound);
    else
        showMatch(found);
}

void TfrmMain::expandForSearch(LibraryTree::Node node)
{
    LibBooksExpanding(node);
    LibBooks->expand(m_model->indexOf(node));
}

void TfrmMain::showMatch(LibraryTree::Node node)
{
    const QModelIndex index = m_model->indexOf(node);
    LibBooks->setCurrentIndex(index);
    LibBooks->scrollTo(index, QAbstractItemView::PositionAtTop);
}

LibraryTree::Node TfrmMain::expandTo(const EntryAddress &address)
{
    return m_model->library().nodeAt(address, [this](LibraryTree::Node node) { expandForSearch(node); });
}

void TfrmMain::LibBooksMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint &)
{
    if (button == Qt::RightButton)
        dxBarPopupMenuLib->popup(QCursor::pos());
}

void TfrmMain::actFullCollapseExecute()
{
    LibBooks->collapseAll();
}

LibraryTree::Node TfrmMain::selectedNode() const
{
    const QModelIndexList selected = LibBooks->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? LibraryTree::NoNode : m_model->node(selected.first());
}

void TfrmMain::openPageHit(const PageHit &hit, const QStringList &words)
{
    const auto updateStates = qScopeGuard([this] { UpdateActionStates(); });
    const LibraryTree::Node node =
        library().entryOfPage(hit.bookPath, hit.entry, hit.page, [this](LibraryTree::Node on) { expandForSearch(on); });
    if (node == LibraryTree::NoNode) {
        m_fullTextPane->showMessage(QStringLiteral("Страницы больше нет в библиотеке: %1").arg(hit.caption), true);
        return;
    }
    // Selecting the entry opens its page; an entry selected already opens it again.
    const bool selectedAlready = node == selectedNode();
    showMatch(node);
    if (selectedAlready)
        LibBooksChange(node);
    BookView->markWordsWhenLoaded(words);
}

void TfrmMain::UpdateActionStates()
{
    const LibraryTree::Node selected = selectedNode();
    actNewBookmark->setEnabled(selected != LibraryTree::NoNode && tree().level(selected) >= 2);
    actDelBookmark->setEnabled(pageBrowsers->currentWidget() != tbsView);
    actFindNext->setEnabled(library().foundNode() != LibraryTree::NoNode);
}

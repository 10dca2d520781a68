// SPDX-License-Identifier: GPL-3.0-or-later
#define BRIMVEL_GUI_TESTS
#include "testsupport.h"

#include "core/paths.h"
#include "ui/fMain.h"
#include "ui/librarymodel.h"
#include "ui/viewer.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QWebEngineView>

namespace {

const QString ExampleContents = QStringLiteral(
    "ITEMS{\r\n ITEM{\r\n  NAME=Глава 1\r\n  LOCAL=ch1.htm\r\n  ID=1\r\n  ITEMS{\r\n   ITEM{\r\n    NAME=Раздел 1.1\r\n"
    "    LOCAL=text\\ch1_1.htm\r\n    ID=2\r\n   }\r\n  }\r\n }\r\n ITEM{\r\n  NAME=Глава 2\r\n  LOCAL=ch2.htm\r\n  "
    "ID=3\r\n"
    "  EPIGRAFS{\r\n   ITEM{\r\n    Эпиграф\r\n    Автор\r\n   }\r\n  }\r\n }\r\n}\r\n");

// A library with one author and the books named by `paths`, each with
// `contents` as its contents file unless that is null.
class TestLibrary
{
public:
    explicit TestLibrary(const QStringList &paths, const QString &contents = ExampleContents)
    {
        QList<BookRecord> books;
        for (const QString &path : paths) {
            books.append({QStringLiteral("Гоголь"), QStringLiteral("Николай"), QString(),
                          QStringLiteral("Книга ") + path, path});
            if (!contents.isNull())
                writeFile(directory.filePath("Library/" + path + "/sod.btf"), cp1251(contents));
        }
        writeFile(directory.filePath(QStringLiteral("books.xml")), cp1251(cataloguePacket(books)));
        writeFile(directory.filePath(QStringLiteral("brimvel_library.htm")), cp1251(QStringLiteral("<p>Старт</p>")));
    }

    TemporaryWorkingDirectory directory;
};

QStringList childTexts(const LibraryTree &tree, LibraryTree::Node parent)
{
    QStringList texts;
    for (int row = 0; row < tree.childCount(parent); ++row)
        texts << tree.text(tree.child(parent, row));
    return texts;
}

}  // namespace

class TestNavigation : public QObject
{
    Q_OBJECT

private:
    QModelIndex author(TfrmMain &window) { return window.LibBooks->model()->index(0, 0); }
    QModelIndex book(TfrmMain &window, int row = 0) { return window.LibBooks->model()->index(row, 0, author(window)); }
    LibraryTree::Node node(TfrmMain &window, const QModelIndex &index) { return window.libraryModel()->node(index); }
    static QWebEngineView *webView(TWebBrowser *viewer) { return viewer->findChild<QWebEngineView *>(); }

    static void verifyCursorReleased()
    {
        QCOMPARE(busyCursorDepth(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

private slots:
    void firstExpansionLoadsTheContentsOnce()
    {
        TestLibrary library({QStringLiteral("B"), QStringLiteral("C")});
        MessageBoxRecorder boxes;
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const LibraryTree &tree = window.tree();

        window.LibBooks->expand(author(window));
        QCOMPARE(tree.childCount(node(window, book(window))), 0);

        // The user expands the book with the keyboard.
        window.LibBooks->setCurrentIndex(book(window));
        QTest::keyClick(window.LibBooks, Qt::Key_Plus);
        QVERIFY(window.LibBooks->isExpanded(book(window)));
        const LibraryTree::Node bookNode = node(window, book(window));
        QCOMPARE(childTexts(tree, bookNode), (QStringList{"Глава 1", "Глава 2"}));
        const LibraryTree::Node chapter = tree.child(bookNode, 0);
        QCOMPARE(childTexts(tree, chapter), QStringList{"Раздел 1.1"});
        QCOMPARE(tree.info(chapter)->FPath, QStringLiteral("Library\\B\\ch1.htm"));
        QCOMPARE(tree.info(tree.child(chapter, 0))->FPath, QStringLiteral("Library\\B\\text\\ch1_1.htm"));
        QCOMPARE(window.LibBooks->model()->rowCount(book(window)), 2);
        QVERIFY(!window.LibBooks->isExpanded(window.LibBooks->model()->index(0, 0, book(window))));
        verifyCursorReleased();

        // The same LOCAL values in another book lie in that book's directory.
        window.LibBooks->expand(book(window, 1));
        const LibraryTree::Node otherChapter = tree.child(node(window, book(window, 1)), 0);
        QCOMPARE(tree.info(otherChapter)->FPath, QStringLiteral("Library\\C\\ch1.htm"));

        // Later expansions read nothing: the file is gone and nothing is reported.
        QVERIFY(QFile::remove(library.directory.filePath(QStringLiteral("Library/B/sod.btf"))));
        const qsizetype nodes = tree.size();
        window.actFullCollapse->trigger();
        window.LibBooks->expand(author(window));
        window.LibBooks->expand(book(window));
        QCOMPARE(tree.size(), nodes);
        QCOMPARE(window.LibBooks->model()->rowCount(book(window)), 2);
        QCOMPARE(boxes.boxes.size(), 0);
    }

    void failedLoadsAreReportedAndRetried_data()
    {
        QTest::addColumn<QString>("contents");
        QTest::addColumn<bool>("bookDirectory");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("no contents file") << QString() << true << "File not found." << QStringList();
        QTest::newRow("no book directory") << QString() << false << "Invalid filename." << QStringList();
        QTest::newRow("a directory in its place") << QString() << true << "File access denied." << QStringList();
        QTest::newRow("broken off after the third NAME line")
            << "ITEMS{\nITEM{\nNAME=Один\nLOCAL=1.htm\nID=1\n}\nITEM{\nNAME=Два\nLOCAL=2.htm\nID=2\n}\nITEM{\nNAME="
               "Три\n"
            << true << "List index out of bounds (13)" << QStringList{"Один", "Два"};
    }

    void failedLoadsAreReportedAndRetried()
    {
        QFETCH(QString, contents);
        QFETCH(bool, bookDirectory);
        QFETCH(QString, message);
        QFETCH(QStringList, entries);
        TestLibrary library({QStringLiteral("B")}, contents);
        if (bookDirectory)
            QDir().mkpath(library.directory.filePath(QStringLiteral("Library/B")));
        if (message.startsWith(QStringLiteral("File access denied")))
            QDir().mkpath(library.directory.filePath(QStringLiteral("Library/B/sod.btf")));
        MessageBoxRecorder boxes;
        TfrmMain window;
        window.LibBooks->expand(author(window));
        const LibraryTree::Node bookNode = node(window, book(window));

        window.LibBooks->expand(book(window));
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).text, message);
        QCOMPARE(childTexts(window.tree(), bookNode), entries);
        QCOMPARE(window.LibBooks->isExpanded(book(window)), !entries.isEmpty());
        QVERIFY(window.libraryModel()->hasChildren(book(window)));
        verifyCursorReleased();

        // A book that got no entries tries again; one that got some keeps them.
        window.LibBooks->collapse(book(window));
        window.LibBooks->expand(book(window));
        QCOMPARE(boxes.boxes.size(), entries.isEmpty() ? 2 : 1);
        QCOMPARE(boxes.boxes.last().text, message);
        QCOMPARE(childTexts(window.tree(), bookNode), entries);
        verifyCursorReleased();
    }

    void everySampleBookOpensWithItsPages()
    {
        const QString previous = QDir::currentPath();
        QDir::setCurrent(QStringLiteral(SAMPLE_LIBRARY_DIR));
        const auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
        MessageBoxRecorder boxes;
        TfrmMain window;
        const LibraryTree &tree = window.tree();
        int books = 0;
        for (int row = 0; row < tree.childCount(LibraryTree::NoNode); ++row) {
            const QModelIndex authorIndex = window.LibBooks->model()->index(row, 0);
            window.LibBooks->expand(authorIndex);
            for (int bookRow = 0; bookRow < tree.childCount(node(window, authorIndex)); ++bookRow, ++books)
                window.LibBooks->expand(window.LibBooks->model()->index(bookRow, 0, authorIndex));
        }
        QCOMPARE(boxes.boxes.size(), 0);
        QVERIFY(books >= 7);
        int pages = 0;
        for (LibraryTree::Node n = tree.firstRoot(); n != LibraryTree::NoNode; n = tree.nextInPreorder(n)) {
            if (tree.level(n) < 2)
                continue;
            QVERIFY2(QFileInfo(window.library().filePath(tree.info(n)->FPath)).isFile(),
                     qPrintable(tree.info(n)->FPath));
            ++pages;
        }
        QVERIFY(pages > books);
    }

    void selectionShowsTheStartPageOrTheEntry()
    {
        TestLibrary library({QStringLiteral("B"), QStringLiteral("C")});
        MessageBoxRecorder boxes;
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTreeView *tree = window.LibBooks;
        QSignalSpy pagesOpened(webView(window.BookView), &QWebEngineView::loadStarted);
        tree->expand(author(window));
        tree->expand(book(window));
        QVERIFY(!window.actNewBookmark->isEnabled());

        tree->setCurrentIndex(author(window));
        QTRY_VERIFY(window.BookView->LocationURL().endsWith(QStringLiteral("/brimvel_library.htm")));
        QTRY_COMPARE(pagesOpened.size(), 1);
        QCOMPARE(window.tabCaption(0), QStringLiteral("BRIMVEL"));
        QVERIFY(!window.actNewBookmark->isEnabled());

        // Another book while the start page shows: nothing is reopened.
        tree->setCurrentIndex(book(window, 1));
        QTest::qWait(300);
        QCOMPARE(pagesOpened.size(), 1);
        QCOMPARE(window.pageBrowsers->currentWidget(), window.tbsView);

        const QModelIndex chapter = tree->model()->index(0, 0, book(window));
        tree->setCurrentIndex(tree->model()->index(0, 0, chapter));
        QCOMPARE(window.tabCaption(0), QStringLiteral("Гоголь Николай  | Книга B | Глава 1 | Раздел 1.1"));
        QVERIFY(window.BookView->LocationURL().endsWith(QStringLiteral("/Library/B/text/ch1_1.htm")));
        QVERIFY(window.actNewBookmark->isEnabled());

        // Back to a book: the start page again, under its own caption.
        tree->setCurrentIndex(book(window));
        QVERIFY(window.BookView->LocationURL().endsWith(QStringLiteral("/brimvel_library.htm")));
        QCOMPARE(window.tabCaption(0), QStringLiteral("BRIMVEL"));
        QVERIFY(!window.actNewBookmark->isEnabled());

        // The start page named in another letter case counts as another page.
        writeFile(library.directory.filePath(QStringLiteral("BRIMVEL_LIBRARY.HTM")), "<p>x</p>");
        window.BookView->Navigate2(window.library().filePath(QStringLiteral("BRIMVEL_LIBRARY.HTM")));
        const qsizetype opened = pagesOpened.size();
        tree->setCurrentIndex(author(window));
        QVERIFY(window.BookView->LocationURL().endsWith(QStringLiteral("/brimvel_library.htm")));
        QTRY_VERIFY(pagesOpened.size() > opened);

        // A start page spelled otherwise on disk is opened under that
        // spelling and, once shown, stays for every author and book.
        QVERIFY(QFile::remove(library.directory.filePath(QStringLiteral("BRIMVEL_LIBRARY.HTM"))));
        QVERIFY(QFile::rename(library.directory.filePath(QStringLiteral("brimvel_library.htm")),
                              library.directory.filePath(QStringLiteral("Brimvel_Library.HTM"))));
        tree->setCurrentIndex(tree->model()->index(0, 0, chapter));
        tree->setCurrentIndex(author(window));
        QVERIFY(window.BookView->LocationURL().endsWith(QStringLiteral("/Brimvel_Library.HTM")));
        QTest::qWait(300);
        const qsizetype startPageShown = pagesOpened.size();
        tree->setCurrentIndex(book(window, 1));
        QTest::qWait(300);
        QCOMPARE(pagesOpened.size(), startPageShown);
        QCOMPARE(boxes.boxes.size(), 0);
    }

    // Once a node is selected one always is, and the actions follow it.
    void selectionCannotBeCleared()
    {
        TestLibrary library({QStringLiteral("B")});
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTreeView *tree = window.LibBooks;
        tree->expand(author(window));
        tree->expand(book(window));
        const QModelIndex chapter = tree->model()->index(0, 0, book(window));
        tree->setCurrentIndex(chapter);
        QVERIFY(window.actNewBookmark->isEnabled());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, tree->visualRect(chapter).center());
        QCOMPARE(tree->selectionModel()->selectedIndexes(), QModelIndexList{chapter});
        QTest::keyClick(tree, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(tree->selectionModel()->selectedIndexes(), QModelIndexList{chapter});
        QVERIFY(window.actNewBookmark->isEnabled());
        tree->selectionModel()->clearSelection();
        QVERIFY(!window.actNewBookmark->isEnabled());
    }

    void userTabSwitchesRecomputeTheActions()
    {
        TestLibrary library({QStringLiteral("B")});
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *other = new QWidget;
        window.pageBrowsers->addTab(other, QStringLiteral("другая"));
        QVERIFY(!window.actDelBookmark->isEnabled());

        QTabBar *tabs = window.pageBrowsers->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(window.pageBrowsers->currentWidget(), other);
        QVERIFY(window.actDelBookmark->isEnabled());

        // Selecting a node brings the start tab back to the front.
        window.LibBooks->setCurrentIndex(author(window));
        QCOMPARE(window.pageBrowsers->currentWidget(), window.tbsView);
        QVERIFY(!window.actDelBookmark->isEnabled());

        window.pageBrowsers->setFocus();
        QTest::keyClick(window.pageBrowsers, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(window.pageBrowsers->currentWidget(), other);
        QVERIFY(window.actDelBookmark->isEnabled());
    }

    void backAndForwardRetraceTheLinksFollowed()
    {
        TestLibrary library({QStringLiteral("B")});
        writeFile(library.directory.filePath(QStringLiteral("Library/B/ch1.htm")),
                  cp1251(QStringLiteral("<a href=ch2.htm>Глава 2</a>")));
        writeFile(library.directory.filePath(QStringLiteral("Library/B/ch2.htm")), cp1251(QStringLiteral("<p>2</p>")));
        TfrmMain window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.LibBooks->expand(book(window));
        window.LibBooks->setCurrentIndex(window.LibBooks->model()->index(0, 0, book(window)));
        const auto shows = [&window](const char *page) {
            return QTest::qWaitFor([&] { return window.BookView->LocationURL().endsWith(QLatin1String(page)); });
        };
        QVERIFY(shows("/B/ch1.htm"));
        // A click of the user's: the engine skips pages left without one.
        QWebEngineView *view = webView(window.BookView);
        QTRY_VERIFY((QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, QPoint(20, 16)),
                     window.BookView->LocationURL().endsWith(QStringLiteral("/B/ch2.htm"))));

        QTest::keyClick(window.LibBooks, Qt::Key_Left, Qt::AltModifier);
        QVERIFY(shows("/B/ch1.htm"));
        QTest::keyClick(window.LibBooks, Qt::Key_Right, Qt::AltModifier);
        QVERIFY(shows("/B/ch2.htm"));
        QTest::mouseClick(view->focusProxy(), Qt::BackButton);
        QVERIFY(shows("/B/ch1.htm"));
        QTest::mouseClick(view->focusProxy(), Qt::ForwardButton);
        QVERIFY(shows("/B/ch2.htm"));

        // "Печать..." prints the page in front, here into a PDF file.
        QTemporaryDir out;
        const QString pdf = out.filePath(QStringLiteral("page.pdf"));
        setDialogObserver([pdf](QDialog &dialog) {
            static_cast<QPrintDialog &>(dialog).printer()->setOutputFileName(pdf);
            QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(QDialog::Accepted); });
        });
        const auto resetObserver = qScopeGuard([] { setDialogObserver({}); });
        window.actionPrint->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(pdf).size() > 0 && !window.BookView->printing(), 10000);
    }
};

BRIMVEL_GUI_TEST_MAIN(TestNavigation)
#include "tst_navigation.moc"

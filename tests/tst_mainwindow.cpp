// SPDX-License-Identifier: GPL-3.0-or-later
#define BRIMVEL_GUI_TESTS
#include "testsupport.h"

#include "storesupport.h"

#include "core/error.h"
#include "ui/fMain.h"
#include "ui/librarymodel.h"
#include "ui/viewer.h"

#include <QAbstractItemModelTester>
#include <QFileDialog>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeView>
#include <QWebEngineView>
#include <QWheelEvent>

namespace {

const QString FolkTales = QStringLiteral("Народные сказки, мифы, легенды");

QStringList texts(const LibraryTree &tree, LibraryTree::Node parent)
{
    QStringList result;
    for (int row = 0; row < tree.childCount(parent); ++row)
        result << tree.text(tree.child(parent, row));
    return result;
}

QStringList actionTexts(const QList<QAction *> &actions)
{
    QStringList result;
    for (const QAction *action : actions)
        result << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return result;
}

// A library of one author with the books `paths`, each with a chapter of
// one section and a second chapter, on pages long enough to scroll.
void writeReadingLibrary(const QDir &root, const QStringList &paths)
{
    QList<BookRecord> books;
    const QString page = QStringLiteral("<p>Страница</p>").repeated(300);
    for (const QString &path : paths) {
        books.append({QStringLiteral("Гоголь"), QString(), QString(), path, path});
        writeFile(
            root.filePath("Library/" + path + "/sod.btf"),
            cp1251(QStringLiteral("ITEMS{\r\nITEM{\r\nNAME=Глава 1\r\nLOCAL=ch1.htm\r\nID=1\r\nITEMS{\r\nITEM{\r\n"
                                  "NAME=Раздел\r\nLOCAL=text\\s.htm\r\nID=2\r\n}\r\n}\r\n}\r\nITEM{\r\n"
                                  "NAME=Глава 2\r\nLOCAL=ch2.htm\r\nID=3\r\n}\r\n}\r\n")));
        for (const QString &file : {QStringLiteral("ch1.htm"), QStringLiteral("text/s.htm"), QStringLiteral("ch2.htm")})
            writeFile(root.filePath("Library/" + path + "/" + file), cp1251(page));
    }
    writeFile(root.filePath(QStringLiteral("books.xml")), cp1251(cataloguePacket(books)));
}

// The node at `rows` from the root, expanded down to it as the user would.
QModelIndex expandedIndex(TfrmMain &window, const QList<int> &rows)
{
    QModelIndex index;
    for (const int row : rows) {
        window.LibBooks->expand(index);
        index = window.LibBooks->model()->index(row, 0, index);
    }
    return index;
}

QStringList tabCaptions(const TfrmMain &window)
{
    QStringList captions;
    for (int index = 0; index < window.pageBrowsers->count(); ++index)
        captions << window.tabCaption(index);
    return captions;
}

qreal zoomOf(TWebBrowser *viewer)
{
    return viewer->findChild<QWebEngineView *>()->zoomFactor();
}

QMenu *libraryMenu(const TfrmMain &window)
{
    return window.menuBar()->actions().at(0)->menu();
}

// Answers the folder chooser with `folder`.
void chooseFolder(const QString &folder)
{
    setDialogObserver([folder](QDialog &dialog) {
        auto &chooser = static_cast<QFileDialog &>(dialog);
        chooser.setOption(QFileDialog::DontUseNativeDialog);
        chooser.setDirectory(folder);
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.accept(); });
    });
}

void rightClick(QTreeView *tree, const QPoint &position)
{
    QTest::mousePress(tree->viewport(), Qt::RightButton, {}, position);
    QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, position);
}

}  // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    // Each window starts from an empty settings store, as on a first start.
    void init() { removeStore(); }

    void startupBuildsAuthorsAndBooks()
    {
        TemporaryWorkingDirectory library;
        writeFile(library.filePath(QStringLiteral("books.xml")),
                  cp1251(cataloguePacket({
                      {QStringLiteral("ИВАНОВ"), QStringLiteral("Иван"), QString(), QStringLiteral("Поздняя"),
                       QStringLiteral("I2")},
                      {QStringLiteral("Толстой"), QStringLiteral("Лев"), QString(), QStringLiteral("Война и мир"),
                       QStringLiteral("T1")},
                      {QStringLiteral("Иванов"), QStringLiteral("Иван"), QString(), QStringLiteral("Ранняя"),
                       QStringLiteral("I1")},
                      {QStringLiteral("Толстой Лев"), QString(), QString(), QStringLiteral("Хаджи-Мурат"),
                       QStringLiteral("T2")},
                      {QStringLiteral(" "), QString(), QString(), QStringLiteral("Колобок"), QStringLiteral("F1")},
                      {QStringLiteral("Иванов"), QStringLiteral("Иван"), QStringLiteral("Ильич"),
                       QStringLiteral("Отдельная"), QStringLiteral("I3")},
                  })) + "\r\nthe rest of the file is never read\r\n");
        MessageBoxRecorder boxes;
        TfrmMain window;
        QCOMPARE(boxes.boxes.size(), 0);

        const LibraryTree &tree = window.tree();
        QCOMPARE(texts(tree, LibraryTree::NoNode),
                 (QStringList{FolkTales, "Иванов Иван ", "Иванов Иван Ильич", "Толстой Лев ", "Толстой Лев  "}));
        QCOMPARE(texts(tree, tree.child(LibraryTree::NoNode, 0)), QStringList{"Колобок"});
        // ИВАНОВ sorts after Иванов Иван Ильич but joins the author of Иванов.
        QCOMPARE(texts(tree, tree.child(LibraryTree::NoNode, 1)), (QStringList{"Ранняя", "Поздняя"}));
        QCOMPARE(texts(tree, tree.child(LibraryTree::NoNode, 3)), QStringList{"Война и мир"});
        QCOMPARE(texts(tree, tree.child(LibraryTree::NoNode, 4)), QStringList{"Хаджи-Мурат"});

        const LibraryTree::Node book = tree.child(tree.child(LibraryTree::NoNode, 1), 1);
        QCOMPARE(tree.info(book)->FPath, QStringLiteral("I2"));
        QCOMPARE(tree.level(book), 1);
        QVERIFY(window.libraryModel()->hasChildren(window.libraryModel()->indexOf(book)));
        QCOMPARE(tree.childCount(book), 0);
        QVERIFY(!tree.info(tree.child(LibraryTree::NoNode, 1)));

        QCOMPARE(window.LibBooks->palette().color(QPalette::Base), QColor(255, 249, 213));
        QCOMPARE(window.library().AppDir(), QDir::toNativeSeparators(QDir::currentPath()) + QDir::separator());
        QVERIFY(!window.actNewBookmark->isEnabled());
        QVERIFY(!window.actDelBookmark->isEnabled());
        QVERIFY(!window.actFindNext->isEnabled());
        QVERIFY(window.actFind->isEnabled());
        QVERIFY(window.actFullCollapse->isEnabled());
    }

    void sampleLibraryOpensAndGivesWayToAnother()
    {
        const QString previous = QDir::currentPath();
        QDir::setCurrent(QStringLiteral(SAMPLE_LIBRARY_DIR));
        MessageBoxRecorder boxes;
        TfrmMain window;
        QDir::setCurrent(previous);
        QCOMPARE(boxes.boxes.size(), 0);
        const LibraryTree &tree = window.tree();
        QCOMPARE(texts(tree, LibraryTree::NoNode),
                 (QStringList{FolkTales, "Крылов Иван Андреевич", "Лермонтов Михаил Юрьевич",
                              "Пушкин Александр Сергеевич", "Толстой Лев Николаевич", "Чехов Антон Павлович"}));
        // ПУШКИН sorts after Пушкин, so its book comes last under the one author.
        QCOMPARE(texts(tree, tree.child(LibraryTree::NoNode, 3)),
                 (QStringList{"Капитанская дочка", "Повести Белкина", "Евгений Онегин"}));

        // The model keeps Qt's rules through a load, a Find walk, a full
        // collapse and the switch to another library, after which nothing of
        // the first is left.
        QAbstractItemModelTester tester(window.libraryModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTreeView *view = window.LibBooks;
        view->expand(view->model()->index(3, 0));
        view->expand(view->model()->index(0, 0, view->model()->index(3, 0)));
        window.SearchFirst(QStringLiteral("Глава"));
        QVERIFY(window.library().foundNode() != LibraryTree::NoNode);
        window.actFullCollapse->trigger();

        TemporaryWorkingDirectory other;
        writeFile(other.filePath(QStringLiteral("books.xml")),
                  cp1251(cataloguePacket(
                      {{QStringLiteral("Гоголь"), QString(), QString(), QStringLiteral("Нос"), QStringLiteral("n")}})));
        writeFile(other.filePath(QStringLiteral("Library/n/sod.btf")),
                  "ITEMS{\r\nITEM{\r\nNAME=1\r\nLOCAL=1.htm\r\nID=1\r\n}\r\n}\r\n");
        window.libraryModel()->openLibrary(other.path());
        const LibraryTree &otherTree = window.tree();
        QCOMPARE(texts(otherTree, LibraryTree::NoNode), QStringList{"Гоголь  "});
        QCOMPARE(otherTree.size(), 2);
        QCOMPARE(window.library().foundNode(), LibraryTree::NoNode);
        QCOMPARE(window.library().AppDir(), QDir::toNativeSeparators(other.path()) + QDir::separator());
        view->expand(view->model()->index(0, 0));
        view->expand(view->model()->index(0, 0, view->model()->index(0, 0)));
        QCOMPARE(texts(otherTree, 1), QStringList{"1"});
        QCOMPARE(boxes.boxes.size(), 0);
    }

    void windowLayoutAndMenus()
    {
        TemporaryWorkingDirectory library;
        writeFile(library.filePath(QStringLiteral("books.xml")), cp1251(cataloguePacket({})));
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.windowTitle(), QStringLiteral("Библиотека BRIMVEL"));
        QCOMPARE(window.size(), QSize(814, 592));
        QCOMPARE(window.LibBooks->width(), 273);
        QCOMPARE(window.LibBooks->minimumWidth(), 150);
        QCOMPARE(window.Splitter1->handleWidth(), 4);
        QCOMPARE(window.pageBrowsers->count(), 1);
        QCOMPARE(window.pageBrowsers->tabText(0), QStringLiteral("BRIMVEL"));
        QCOMPARE(window.BookView->parentWidget(), window.tbsView);
        QCOMPARE(window.BookView->LocationURL(), QString());
        QVERIFY(!window.windowIcon().isNull());
        QTRY_COMPARE(QApplication::focusWidget(), window.LibBooks);

        QCOMPARE(actionTexts(window.menuBar()->actions()), (QStringList{"Библиотека", "Поиск", "Закладки"}));
        QCOMPARE(actionTexts(window.menuBar()->actions().at(1)->menu()->actions()),
                 (QStringList{"Найти...", "Найти далее", "-", "Поиск по тексту..."}));
        QCOMPARE(actionTexts(window.menuBar()->actions().at(2)->menu()->actions()),
                 (QStringList{"Новая закладка", "Удалить закладку"}));
        QCOMPARE(actionTexts(window.dxBarPopupMenuLib->actions()),
                 (QStringList{"Новая закладка", "-", "Свернуть всё"}));

        QCOMPARE(window.actNewBookmark->statusTip(), QStringLiteral("Создать новую закладку"));
        QCOMPARE(window.actNewBookmark->shortcut(), QKeySequence(Qt::Key_F2));
        QCOMPARE(window.actDelBookmark->shortcut(), QKeySequence(Qt::Key_F8));
        QCOMPARE(window.actFind->statusTip(), QStringLiteral("Поиск книги в библиотеке"));
        QCOMPARE(window.actFind->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
        QCOMPARE(window.actFindNext->shortcut(), QKeySequence(Qt::Key_F3));
        QCOMPARE(window.fullTextSearchAction()->statusTip(), QStringLiteral("Поиск слов в тексте всех книг"));
        QCOMPARE(window.fullTextSearchAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+F")));
        QCOMPARE(window.actFullCollapse->statusTip(), QStringLiteral("Свернуть всё дерево"));
        QVERIFY(window.actFullCollapse->shortcut().isEmpty());

        // The pointer resting on a menu entry shows its action's hint in the status bar.
        QMenu *search = window.menuBar()->actions().at(1)->menu();
        search->popup(window.mapToGlobal(QPoint(10, 30)));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        QTest::mouseMove(search, search->actionGeometry(window.actFind).center());
        QTRY_COMPARE(window.stbarMain->currentMessage(), QStringLiteral("Поиск книги в библиотеке"));
        search->close();
    }

    void catalogueFailuresLeaveAnEmptyTree_data()
    {
        QTest::addColumn<bool>("writeCatalogue");
        QTest::addColumn<QByteArray>("catalogue");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << false << QByteArray() << "File not found.";
        QTest::newRow("empty") << true << QByteArray()
                               << "cdsBooks: Cannot perform this operation on a closed dataset.";
        QTest::newRow("begins with a line break") << true << cp1251(cataloguePacket({})).prepend("\r\n")
                                                  << "cdsBooks: Cannot perform this operation on a closed dataset.";
        QTest::newRow("short") << true << QByteArray("<DATAPACKET/>") << "Invalid data packet.";
        QString withoutName = cataloguePacket({});
        withoutName.remove(QRegularExpression(QStringLiteral("<FIELD attrname=\"NAME\"[^>]*>")));
        QTest::newRow("field missing") << true << cp1251(withoutName) << "cdsBooks: Field 'NAME' not found.";
        QString wide = cataloguePacket({});
        wide.replace(QStringLiteral("\"LABEL\" fieldtype=\"string\""),
                     QStringLiteral("\"LABEL\" fieldtype=\"string.uni\""));
        QTest::newRow("wide label")
            << true << cp1251(wide)
            << "cdsBooks: Type mismatch for field 'LABEL', expecting: String actual: WideString.";
    }

    void catalogueFailuresLeaveAnEmptyTree()
    {
        QFETCH(bool, writeCatalogue);
        QFETCH(QByteArray, catalogue);
        QFETCH(QString, message);
        TemporaryWorkingDirectory library;
        if (writeCatalogue)
            writeFile(library.filePath(QStringLiteral("books.xml")), catalogue);
        MessageBoxRecorder boxes;
        TfrmMain window;
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).text, message);
        QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("Библиотека BRIMVEL"));
        QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::Critical);
        QCOMPARE(window.tree().size(), 0);
        QCOMPARE(window.LibBooks->palette().color(QPalette::Base), QColor(255, 249, 213));
        QVERIFY(!window.actNewBookmark->isEnabled());
        QVERIFY(!window.actFindNext->isEnabled());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    void catalogueOverSeveralLinesIsRefused()
    {
        TemporaryWorkingDirectory library;
        QString packet =
            cataloguePacket({{QStringLiteral("А"), QString(), QString(), QStringLiteral("Б"), QStringLiteral("p")}});
        packet.replace(QStringLiteral("<ROWDATA>"), QStringLiteral("<ROWDATA>\r\n"));
        writeFile(library.filePath(QStringLiteral("books.xml")), cp1251(packet));
        MessageBoxRecorder boxes;
        TfrmMain window;
        QCOMPARE(boxes.boxes.size(), 1);
        QVERIFY(boxes.boxes.at(0).text.startsWith(QStringLiteral("Invalid data packet")));
        QCOMPARE(window.tree().size(), 0);
    }

    void rightClickOpensThePopupAndKeepsTheSelection()
    {
        TemporaryWorkingDirectory library;
        writeFile(library.filePath(QStringLiteral("books.xml")),
                  cp1251(cataloguePacket(
                      {{QStringLiteral("Гоголь"), QString(), QString(), QStringLiteral("Нос"), QStringLiteral("n")},
                       {QStringLiteral("Пушкин"), QString(), QString(), QStringLiteral("Пиковая дама"),
                        QStringLiteral("p")}})));
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTreeView *tree = window.LibBooks;
        tree->setCurrentIndex(tree->model()->index(0, 0));

        rightClick(tree, tree->visualRect(tree->model()->index(1, 0)).center());
        QTRY_VERIFY(window.dxBarPopupMenuLib->isVisible());
        window.dxBarPopupMenuLib->close();
        QCOMPARE(tree->currentIndex(), tree->model()->index(0, 0));
        QCOMPARE(tree->selectionModel()->selectedIndexes(), QModelIndexList{tree->model()->index(0, 0)});

        rightClick(tree, QPoint(tree->viewport()->width() / 2, tree->viewport()->height() - 5));
        QTRY_VERIFY(window.dxBarPopupMenuLib->isVisible());
        window.dxBarPopupMenuLib->close();

        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(10, tree->viewport()->height() - 5));
        QVERIFY(!window.dxBarPopupMenuLib->isVisible());
    }

    void fullCollapseHidesAllButTheAuthors()
    {
        TemporaryWorkingDirectory library;
        writeFile(library.filePath(QStringLiteral("books.xml")),
                  cp1251(cataloguePacket(
                      {{QStringLiteral("Гоголь"), QString(), QString(), QStringLiteral("Нос"), QStringLiteral("n")},
                       {QStringLiteral("Пушкин"), QString(), QString(), QStringLiteral("Пиковая дама"),
                        QStringLiteral("p")}})));
        writeFile(library.filePath(QStringLiteral("Library/p/sod.btf")),
                  "ITEMS{\r\nITEM{\r\nNAME=1\r\nLOCAL=1.htm\r\nID=1\r\n}\r\n}\r\n");
        MessageBoxRecorder boxes;
        TfrmMain window;
        QTreeView *tree = window.LibBooks;
        const QModelIndex author = tree->model()->index(1, 0);
        const QModelIndex book = tree->model()->index(0, 0, author);
        tree->expand(author);
        tree->expand(book);
        tree->setCurrentIndex(tree->model()->index(0, 0, book));
        const qsizetype nodes = window.tree().size();

        window.actFullCollapse->trigger();
        QVERIFY(!tree->isExpanded(author));
        QVERIFY(!tree->isExpanded(book));
        QVERIFY(!tree->isExpanded(tree->model()->index(0, 0)));
        QCOMPARE(window.tree().size(), nodes);
        QCOMPARE(boxes.boxes.size(), 0);
    }

    void placementAndTreeWidthSurviveARestart()
    {
        TemporaryWorkingDirectory library;
        writeFile(library.filePath(QStringLiteral("books.xml")), cp1251(cataloguePacket({})));
        {
            TfrmMain window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
            // First start: the designed place, pulled into the work area; the
            // offscreen screen is narrower than the window, which moves left
            // until its right edge meets the work area's (give or take the
            // frame, unknown before the window is shown).
            QVERIFY(window.x() < TfrmMain::DesignedPosition.x());
            QVERIFY(qAbs(window.frameGeometry().right() - workArea.right()) <= 4);
            QCOMPARE(window.y(), TfrmMain::DesignedPosition.y());
            QCOMPARE(window.LibBooks->width(), 273);
            window.setGeometry(50, 60, 600, 500);
            window.Splitter1->setSizes({320, 276});
            QVERIFY(window.close());
        }
        QCOMPARE(storedValue(QStringLiteral("main/LibBooks_Width")).toString(), QStringLiteral("320"));
        QCOMPARE(storedValue(QStringLiteral("main/NormPos")).toString(), QStringLiteral("50,60,650,560"));
        int wideTree = 0;
        {
            TfrmMain window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.geometry(), QRect(50, 60, 600, 500));
            QCOMPARE(window.LibBooks->width(), 320);
            window.showMaximized();
            QTRY_VERIFY(window.Splitter1->width() > 700);
            window.Splitter1->setSizes({680, window.Splitter1->width() - 684});
            wideTree = window.LibBooks->width();
            QVERIFY(wideTree > 600);
            QVERIFY(window.close());
        }
        // A tree wider than the normal window comes back whole once the
        // window is maximised again.
        TfrmMain window;
        window.show();
        QTRY_VERIFY(window.isMaximized());
        QTRY_COMPARE(window.LibBooks->width(), wideTree);
    }

    void topLevelErrorHandler_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "File not found"
                                << "File not found.";
        QTest::newRow("cyrillic letter") << "Ошибка"
                                         << "Ошибка.";
        QTest::newRow("digit") << "I/O error 5"
                               << "I/O error 5.";
        QTest::newRow("bracket") << "List index out of bounds (3)"
                                 << "List index out of bounds (3)";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("exclamation") << "Stop!"
                                     << "Stop!";
        QTest::newRow("empty") << ""
                               << "";
    }

    void topLevelErrorHandler()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        MessageBoxRecorder boxes;
        runHandler([&] { throw AppError(message); });
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).text, shown);
        QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::Critical);
        QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("Библиотека BRIMVEL"));
    }

    void viewerOpensLocalFiles()
    {
        TemporaryWorkingDirectory library;
        writeFile(library.filePath(QStringLiteral("brimvel_library.htm")),
                  cp1251(QStringLiteral("<html><body>Старт</body></html>")));
        TWebBrowser viewer;
        viewer.resize(300, 200);
        viewer.show();
        QCOMPARE(viewer.LocationURL(), QString());
        viewer.Navigate2(QDir::toNativeSeparators(library.path()) + QDir::separator()
                         + QStringLiteral("brimvel_library.htm"));
        QTRY_VERIFY(viewer.LocationURL().contains(QStringLiteral("brimvel_library.htm")));
    }

    void anotherLibraryOpensFromTheMenuAndIsRemembered()
    {
        QTemporaryDir first, second, empty;
        writeReadingLibrary(first.path(), {QStringLiteral("Нос")});
        writeReadingLibrary(second.path(), {QStringLiteral("Шинель")});
        const auto resetObserver = qScopeGuard([] { setDialogObserver({}); });
        MessageBoxRecorder boxes;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(first.path());
        TfrmMain window;
        QDir::setCurrent(previous);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.LibBooks->setCurrentIndex(expandedIndex(window, {0, 0, 1}));
        window.actNewBookmark->trigger();
        window.SearchFirst(QStringLiteral("Глава"));
        QVERIFY(window.actFindNext->isEnabled());

        // The bookmark tabs close and the search position goes.
        chooseFolder(second.path());
        window.actionOpenLibrary->trigger();
        QCOMPARE(window.library().AppDir(), QDir::toNativeSeparators(second.path()) + QDir::separator());
        QCOMPARE(window.tree().text(window.tree().child(window.tree().firstRoot(), 0)), QStringLiteral("Шинель"));
        QCOMPARE(tabCaptions(window), QStringList{"BRIMVEL"});
        QCOMPARE(window.bookmarkCount(), 0);
        QVERIFY(!window.actFindNext->isEnabled());
        QVERIFY(!window.actDelBookmark->isEnabled());
        // A folder without a catalogue fails as at start and is not remembered.
        chooseFolder(empty.path());
        window.actionOpenLibrary->trigger();
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("File not found."));
        QCOMPARE(window.tree().size(), 0);

        QMenu *menu = libraryMenu(window);
        emit menu->aboutToShow();
        const QList<QAction *> entries = menu->actions();
        QCOMPARE(actionTexts(entries), (QStringList{"Открыть библиотеку...", QFileInfo(second.path()).fileName(),
                                                    QFileInfo(first.path()).fileName(), "-", "Печать...",
                                                    "Восстанавливать открытые страницы", "-", "Выход"}));
        QCOMPARE(entries.at(1)->statusTip(), QDir::toNativeSeparators(second.path()));
        // A recent library that has gone is dropped with a message.
        const QString gone = QDir::toNativeSeparators(first.path());
        QVERIFY(first.remove());
        entries.at(2)->trigger();
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(boxes.boxes.at(1).text, QStringLiteral("Папка библиотеки не найдена и убрана из списка: ") + gone);
        entries.at(1)->trigger();
        QCOMPARE(window.tree().size(), 2);
        QVERIFY(window.close());
        QCOMPARE(storedValue(QStringLiteral("reading.Libraries/Count")).toString(), QStringLiteral("1"));
        QCOMPARE(storedValue(QStringLiteral("reading.Libraries/Item0")).toString(),
                 QDir::toNativeSeparators(second.path()));
    }

    void restartRestoresPagesTabsAndZoom()
    {
        TemporaryWorkingDirectory library;
        writeReadingLibrary(library.path(), {QStringLiteral("Нос"), QStringLiteral("Шинель")});
        MessageBoxRecorder boxes;
        const QStringList tabs{"Гоголь   | Нос | Глава 1 | Раздел", "Гоголь   | Нос | Глава 2",
                               "Гоголь   | Нос | Глава 1"};
        QPoint scrolled;
        {
            TfrmMain window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            for (const QList<int> &rows : {QList<int>{0, 0, 1}, QList<int>{0, 0, 0}}) {
                window.LibBooks->setCurrentIndex(expandedIndex(window, rows));
                window.actNewBookmark->trigger();
            }
            window.LibBooks->setCurrentIndex(expandedIndex(window, {0, 0, 0, 0}));
            QCOMPARE(tabCaptions(window), tabs);
            // Zoomed in by a key and by the wheel, each a step.
            QTest::keyClick(window.LibBooks, Qt::Key_Equal, Qt::ControlModifier);
            QTRY_VERIFY(window.BookView->LocationURL().endsWith(QStringLiteral("/text/s.htm")));
            QWebEngineView *view = window.BookView->findChild<QWebEngineView *>();
            QWheelEvent wheel(QPointF(50, 50), view->mapToGlobal(QPointF(50, 50)), {}, {0, 120}, Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QTRY_VERIFY(view->focusProxy());
            QApplication::sendEvent(view->focusProxy(), &wheel);
            QWebEnginePage *page = view->page();
            QTRY_VERIFY_WITH_TIMEOUT((page->runJavaScript(QStringLiteral("window.scrollTo(0, 700)")),
                                      window.BookView->scrollPosition().y() > 0),
                                     10000);
            scrolled = window.BookView->scrollPosition();
            window.pageBrowsers->setCurrentIndex(1);
            QVERIFY(window.close());
        }
        {
            TfrmMain window;
            QCOMPARE(window.tree().caption(window.selectedNode()), tabs.at(0));
            QCOMPARE(tabCaptions(window), tabs);
            QCOMPARE(window.pageBrowsers->currentIndex(), 1);
            QVERIFY(window.actDelBookmark->isEnabled());
            // Only the path to the entry was expanded.
            QCOMPARE(window.tree().childCount(window.tree().child(window.tree().firstRoot(), 1)), 0);
            for (const TfrmMain::Bookmark &bookmark : window.bookmarks())
                QCOMPARE(zoomOf(window.viewerOf(bookmark.tab)), 1.25);
            window.show();
            QTRY_COMPARE(zoomOf(window.BookView), 1.25);
            // The start tab's page scrolls once it is shown.
            window.pageBrowsers->setCurrentIndex(0);
            QTRY_COMPARE_WITH_TIMEOUT(window.BookView->scrollPosition(), scrolled, 10000);
            QVERIFY(window.close());
        }
        // A book that has gone is skipped without a word; the zoom stays, and
        // the switch, once off, keeps the next start clean.
        QVERIFY(QFile::remove(library.filePath(QStringLiteral("Library/Нос/sod.btf"))));
        {
            TfrmMain window;
            QCOMPARE(tabCaptions(window), QStringList{"BRIMVEL"});
            QCOMPARE(window.selectedNode(), LibraryTree::NoNode);
            QCOMPARE(zoomOf(window.BookView), 1.25);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.actionRestorePages->setChecked(false);
            QVERIFY(window.close());
        }
        QCOMPARE(boxes.boxes.size(), 0);
        TfrmMain window;
        QVERIFY(!window.actionRestorePages->isChecked());
    }

    void applicationIsNamedAsItsDesktopEntryAndStore()
    {
        // Window managers match the windows to the installed desktop entry
        // by its name.
        const QString entry = QStringLiteral(SAMPLE_LIBRARY_DIR "/../packaging/") + QGuiApplication::desktopFileName()
                              + QStringLiteral(".desktop");
        QVERIFY2(QFileInfo::exists(entry), qPrintable(entry));
        // Settings made with the application's names are those of the store.
        QCOMPARE(QSettings().fileName(), storePath());
        QVERIFY(storePath().endsWith(QStringLiteral("/Brimvel/Library.conf")));
    }
};

BRIMVEL_GUI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

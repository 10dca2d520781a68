// SPDX-License-Identifier: GPL-3.0-or-later
#define BRIMVEL_GUI_TESTS
#include "testsupport.h"

#include "storesupport.h"
#include "ui/fFind.h"
#include "ui/fMain.h"
#include "ui/librarymodel.h"

#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

namespace {

QString contents(const QStringList &names)
{
    QString text = QStringLiteral("ITEMS{\r\n");
    for (const QString &name : names)
        text += QStringLiteral("ITEM{\r\nNAME=%1\r\nLOCAL=%1.htm\r\nID=1\r\n}\r\n").arg(name);
    return text + QStringLiteral("}\r\n");
}

}  // namespace

class TestTreeSearch : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TemporaryWorkingDirectory> m_library;

    // A library of two authors: Пушкин with books "Повести" (p1, not loaded
    // until something expands it) and "Сказки" (p2), and Гоголь with "Нос" (g1).
    void writeLibrary(bool withGogolContents = true)
    {
        m_library.reset();  // back in the original working directory first
        m_library = std::make_unique<TemporaryWorkingDirectory>();
        writeFile(
            m_library->filePath(QStringLiteral("books.xml")),
            cp1251(cataloguePacket(
                {{QStringLiteral("Пушкин"), QString(), QString(), QStringLiteral("Повести"), QStringLiteral("p1")},
                 {QStringLiteral("Пушкин"), QString(), QString(), QStringLiteral("Сказки"), QStringLiteral("p2")},
                 {QStringLiteral("Гоголь"), QString(), QString(), QStringLiteral("Нос"), QStringLiteral("g1")}})));
        writeFile(
            m_library->filePath(QStringLiteral("Library/p1/sod.btf")),
            cp1251(contents({QStringLiteral("Выстрел"), QStringLiteral("Метель*"), QStringLiteral("ВЫСТРЕЛ второй")})));
        QDir().mkpath(m_library->filePath(QStringLiteral("Library/g1")));
        writeFile(m_library->filePath(QStringLiteral("Library/p2/sod.btf")),
                  cp1251(contents({QStringLiteral("О рыбаке"), QStringLiteral("О попе")})));
        if (withGogolContents)
            writeFile(m_library->filePath(QStringLiteral("Library/g1/sod.btf")),
                      cp1251(contents({QStringLiteral("Выстрел у Гоголя")})));
    }

    // The offscreen platform does not hand activation back after a modal
    // dialog or message box, as a window manager does.
    static void activate(TfrmMain &window)
    {
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    // Runs Find as the user does: Ctrl+F, the text typed into the dialog, Enter.
    static void find(TfrmMain &window, const QString &text)
    {
        activate(window);
        QTimer::singleShot(0, [text] {
            auto *dialog = qobject_cast<TfrmFind *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            typeText(dialog->cmbMask, text);
            QTest::keyClick(dialog->cmbMask, Qt::Key_Return);
        });
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    }

    // The main window on the current library, shown and active, as the user has it.
    static std::unique_ptr<TfrmMain> openWindow()
    {
        auto window = std::make_unique<TfrmMain>();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("the window did not become active");
        return window;
    }

    static void press(TfrmMain &window, Qt::Key key)
    {
        activate(window);
        QTest::keyClick(QApplication::focusWidget(), key);
    }

    static bool nothingSelected(const TfrmMain &window)
    {
        return window.LibBooks->selectionModel()->selectedIndexes().isEmpty();
    }

    static QString selectedText(const TfrmMain &window) { return window.LibBooks->currentIndex().data().toString(); }

private slots:
    void init() { removeStore(); }

    void findAndFindNextWalkTheWholeTree()
    {
        writeLibrary();
        MessageBoxRecorder boxes;
        const auto opened = openWindow();
        TfrmMain &window = *opened;
        QVERIFY(!window.actFindNext->isEnabled());

        // A match inside a book that nothing has loaded yet: the walk loads
        // every book before it, in tree order (Гоголь comes first).
        find(window, QStringLiteral("  выстрел "));
        QCOMPARE(selectedText(window), QStringLiteral("Выстрел у Гоголя"));
        QVERIFY(window.actFindNext->isEnabled());
        QVERIFY(window.LibBooks->isExpanded(window.LibBooks->currentIndex().parent()));
        QCOMPARE(window.tabCaption(0), QStringLiteral("Гоголь   | Нос | Выстрел у Гоголя"));

        press(window, Qt::Key_F3);
        QCOMPARE(selectedText(window), QStringLiteral("Выстрел"));
        // Find next goes on after the match even when everything is collapsed.
        window.actFullCollapse->trigger();
        press(window, Qt::Key_F3);
        QCOMPARE(selectedText(window), QStringLiteral("ВЫСТРЕЛ второй"));
        QVERIFY(window.LibBooks->isExpanded(window.LibBooks->currentIndex().parent()));
        QCOMPARE(boxes.boxes.size(), 0);

        // No wrap-around: the next Find next reports the end and keeps the selection.
        press(window, Qt::Key_F3);
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("Поиск"));
        QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::Information);
        QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("По запросу \"выстрел\" далее ничего не найдено"));
        QCOMPARE(selectedText(window), QStringLiteral("ВЫСТРЕЛ второй"));
        QVERIFY(!window.actFindNext->isEnabled());
        QCOMPARE(busyCursorDepth(), 0);
        QVERIFY(window.LibBooks->updatesEnabled());

        // Characters are literal, and an author can match.
        find(window, QStringLiteral("ель*"));
        QCOMPARE(selectedText(window), QStringLiteral("Метель*"));
        find(window, QStringLiteral("пушк"));
        QCOMPARE(selectedText(window), QStringLiteral("Пушкин  "));
        QCOMPARE(window.pageBrowsers->currentWidget(), window.tbsView);
        QCOMPARE(window.tabCaption(0), QStringLiteral("BRIMVEL"));
    }

    void aMatchBecomesTheFirstVisibleRow()
    {
        m_library.reset();
        m_library = std::make_unique<TemporaryWorkingDirectory>();
        QList<BookRecord> books;
        for (int book = 0; book < 60; ++book)
            books.append({QStringLiteral("Автор %1").arg(book, 2, 10, QLatin1Char('0')), QString(), QString(),
                          QStringLiteral("Книга %1").arg(book), QStringLiteral("b%1").arg(book)});
        writeFile(m_library->filePath(QStringLiteral("books.xml")), cp1251(cataloguePacket(books)));
        for (int book = 0; book < 60; ++book)
            writeFile(m_library->filePath(QStringLiteral("Library/b%1/sod.btf").arg(book)),
                      cp1251(contents({QStringLiteral("Глава %1").arg(book)})));
        const auto opened = openWindow();
        TfrmMain &window = *opened;
        find(window, QStringLiteral("Глава 10"));
        QCOMPARE(selectedText(window), QStringLiteral("Глава 10"));
        QVERIFY(window.LibBooks->verticalScrollBar()->value() > 0);
        QCOMPARE(window.LibBooks->visualRect(window.LibBooks->currentIndex()).top(), 0);
    }

    void fruitlessSearches()
    {
        writeLibrary();
        MessageBoxRecorder boxes;
        const auto opened = openWindow();
        TfrmMain &window = *opened;
        find(window, QStringLiteral("Нет такого"));
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("По запросу \"Нет такого\" ничего не найдено"));
        QVERIFY(!window.actFindNext->isEnabled());
        QVERIFY(nothingSelected(window));
        // Everything was loaded and stays expanded.
        QCOMPARE(window.tree().size(), 2 + 3 + 6);
        QVERIFY(window.LibBooks->isExpanded(window.LibBooks->model()->index(1, 0)));

        // An empty tree finds nothing either.
        m_library.reset();
        m_library = std::make_unique<TemporaryWorkingDirectory>();
        writeFile(m_library->filePath(QStringLiteral("books.xml")), cp1251(cataloguePacket({})));
        const auto emptyWindow = openWindow();
        find(*emptyWindow, QStringLiteral("что-то"));
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(boxes.boxes.at(1).text, QStringLiteral("По запросу \"что-то\" ничего не найдено"));
    }

    void aBookThatFailsToLoadEndsTheWalk()
    {
        writeLibrary(false);
        MessageBoxRecorder boxes;
        const auto opened = openWindow();
        TfrmMain &window = *opened;
        find(window, QStringLiteral("Сказки"));
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("File not found."));
        QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("Библиотека BRIMVEL"));
        QVERIFY(!window.actFindNext->isEnabled());
        QVERIFY(nothingSelected(window));
        QCOMPARE(busyCursorDepth(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(window.LibBooks->updatesEnabled());
    }

    void cancelChangesNothing()
    {
        writeLibrary();
        MessageBoxRecorder boxes;
        const auto opened = openWindow();
        TfrmMain &window = *opened;
        find(window, QStringLiteral("Выстрел"));
        QTimer::singleShot(0, [] {
            auto *dialog = qobject_cast<TfrmFind *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->cmbMask->count(), 1);
            typeText(dialog->cmbMask, QStringLiteral("Метель"));
            QTest::keyClick(dialog->cmbMask, Qt::Key_Escape);
        });
        window.actFind->trigger();
        press(window, Qt::Key_F3);
        QCOMPARE(selectedText(window), QStringLiteral("Выстрел"));
        QCOMPARE(boxes.boxes.size(), 0);
    }
};

BRIMVEL_GUI_TEST_MAIN(TestTreeSearch)
#include "tst_treesearch.moc"

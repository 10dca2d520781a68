// SPDX-License-Identifier: GPL-3.0-or-later
#define BRIMVEL_GUI_TESTS
#include "testsupport.h"

#include "storesupport.h"

#include "core/fulltextindex.h"
#include "ui/fMain.h"
#include "ui/fulltextpane.h"
#include "ui/libraryindex.h"
#include "ui/librarymodel.h"
#include "ui/viewer.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QTabWidget>
#include <QWebEngineScript>
#include <QWebEngineView>

// The full-text search pane on a library the window indexes itself, into a
// cache of the test's own home.

namespace {

QByteArray page(const QString &text)
{
    return cp1251(QStringLiteral("<html><body><p>%1</p></body></html>").arg(text));
}

// The texts of the <mark> elements of the view's page, joined by commas.
QString markedTexts(QWebEngineView *view)
{
    auto texts = std::make_shared<QVariant>();
    view->page()->runJavaScript(QStringLiteral("[...document.querySelectorAll('mark')].map(m => m.textContent).join()"),
                                QWebEngineScript::ApplicationWorld,
                                [texts](const QVariant &result) { *texts = result; });
    return QTest::qWaitFor([&texts] { return texts->isValid(); }) ? texts->toString() : QString();
}

}  // namespace

class TestFullTextPane : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<TemporaryWorkingDirectory> m_library;
    std::unique_ptr<TfrmMain> m_window;

    // Two books: Лермонтов's, whose chapter "Княжна Мери" has a section
    // "Дуэль" on a page about the duel, and Пушкин's without it.
    void writeLibrary()
    {
        m_library = std::make_unique<TemporaryWorkingDirectory>();
        writeFile(m_library->filePath(QStringLiteral("books.xml")),
                  cp1251(cataloguePacket(
                      {{QStringLiteral("Пушкин"), QString(), QString(), QStringLiteral("Повести"), QStringLiteral("p")},
                       {QStringLiteral("Лермонтов"), QString(), QString(), QStringLiteral("Герой нашего времени"),
                        QStringLiteral("L")}})));
        writeFile(m_library->filePath(QStringLiteral("brimvel_library.htm")), page(QStringLiteral("Библиотека")));
        writeFile(m_library->filePath(QStringLiteral("Library/p/sod.btf")),
                  cp1251(QStringLiteral("ITEMS{\r\nITEM{\r\nNAME=Выстрел\r\nLOCAL=v.htm\r\nID=1\r\n}\r\n}\r\n")));
        writeFile(m_library->filePath(QStringLiteral("Library/p/v.htm")), page(QStringLiteral("Мы стояли в местечке")));
        writeFile(m_library->filePath(QStringLiteral("Library/L/sod.btf")),
                  cp1251(QStringLiteral("ITEMS{\r\nITEM{\r\nNAME=Бэла\r\nLOCAL=b.htm\r\nID=1\r\n}\r\n"
                                        "ITEM{\r\nNAME=Княжна Мери\r\nLOCAL=m.htm\r\nID=2\r\nITEMS{\r\n"
                                        "ITEM{\r\nNAME=Дуэль\r\nLOCAL=text\\d.htm\r\nID=3\r\n}\r\n}\r\n}\r\n}\r\n")));
        writeFile(m_library->filePath(QStringLiteral("Library/L/b.htm")),
                  page(QStringLiteral("Я ехал на перекладных")));
        writeFile(m_library->filePath(QStringLiteral("Library/L/m.htm")), page(QStringLiteral("Вчера я приехал")));
        writeFile(m_library->filePath(QStringLiteral("Library/L/text/d.htm")),
                  page(QStringLiteral("Условия дуэли были жестоки. После дуэли Печорин уехал.")));
    }

    // The window on the library, its index brought up to date.
    void openWindow()
    {
        m_window = std::make_unique<TfrmMain>();
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        // Indexing runs at a low priority, which a busy machine may hold back.
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->libraryIndex()->updating(), 60000);
        QVERIFY(m_window->libraryIndex()->index());
    }

    void search(const QString &query)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        FullTextPane *pane = m_window->fullTextPane();
        QVERIFY(pane->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), pane->queryField);
        typeText(pane->queryField, query);
        QTest::keyClick(pane->queryField, Qt::Key_Return);
    }

private slots:
    void initTestCase()
    {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".cache"))));
    }

    void init()
    {
        removeStore();
        writeLibrary();
        openWindow();
    }

    void cleanup()
    {
        m_window.reset();
        m_library.reset();
    }

    void choosingAResultSelectsItsEntryAndOpensItsPage()
    {
        MessageBoxRecorder boxes;
        search(QStringLiteral("дуэль"));
        FullTextPane *pane = m_window->fullTextPane();
        QCOMPARE(pane->messageLine->text(), QStringLiteral("Найдено страниц: 1"));
        QCOMPARE(pane->results->model()->rowCount(), 1);

        pane->results->setCurrentIndex(pane->results->model()->index(0, 0));
        const QString caption = QStringLiteral("Лермонтов   | Герой нашего времени | Княжна Мери | Дуэль");
        QCOMPARE(m_window->LibBooks->currentIndex().data().toString(), QStringLiteral("Дуэль"));
        QVERIFY(m_window->LibBooks->isExpanded(m_window->LibBooks->currentIndex().parent()));
        QCOMPARE(m_window->pageBrowsers->currentWidget(), m_window->tbsView);
        QCOMPARE(m_window->tabCaption(0), caption);
        QTRY_VERIFY(m_window->BookView->LocationURL().endsWith(QStringLiteral("Library/L/text/d.htm")));

        // Both forms of the word found are marked on the page.
        auto *view = m_window->BookView->findChild<QWebEngineView *>();
        QTRY_COMPARE_WITH_TIMEOUT(markedTexts(view), QStringLiteral("дуэли,дуэли"), 10000);
        QCOMPARE(boxes.boxes.size(), 0);
    }

    void moreResultsAreListedAtTheEndOfTheList()
    {
        const int pages = FullTextPane::BatchSize + 3;
        QString contents = QStringLiteral("ITEMS{\r\n");
        for (int i = 0; i < pages; ++i) {
            contents += QStringLiteral("ITEM{\r\nNAME=Глава %1\r\nLOCAL=v%1.htm\r\nID=%1\r\n}\r\n").arg(i);
            writeFile(m_library->filePath(QStringLiteral("Library/p/v%1.htm").arg(i)),
                      page(QStringLiteral("Мы стояли в местечке")));
        }
        writeFile(m_library->filePath(QStringLiteral("Library/p/sod.btf")), cp1251(contents + QStringLiteral("}\r\n")));
        m_window.reset();
        openWindow();

        search(QStringLiteral("местечко"));
        QListView *list = m_window->fullTextPane()->results;
        QCOMPARE(list->model()->rowCount(), FullTextPane::BatchSize);
        QTRY_VERIFY(list->verticalScrollBar()->maximum() > 0);
        list->scrollToBottom();
        QSet<QString> listed;  // every page once
        for (int row = 0; row < list->model()->rowCount(); ++row)
            listed << list->model()->index(row, 0).data().toString();
        QCOMPARE(listed.size(), pages);
        QCOMPARE(m_window->fullTextPane()->messageLine->text(), QStringLiteral("Найдено страниц: %1").arg(pages));
    }

    void aMalformedQueryIsToldInThePane_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("phrase not closed") << QStringLiteral("\"условия дуэли");
        QTest::newRow("OR alone") << QStringLiteral("OR");
    }

    void aMalformedQueryIsToldInThePane()
    {
        QFETCH(QString, query);
        QString message;
        try {
            m_window->libraryIndex()->index()->search(query, 1);
        } catch (const QueryError &error) {
            message = QString::fromUtf8(error.what());
        }
        QVERIFY(!message.isEmpty());
        MessageBoxRecorder boxes;
        search(query);
        QCOMPARE(m_window->fullTextPane()->messageLine->text(), message);
        QCOMPARE(m_window->fullTextPane()->results->model()->rowCount(), 0);
        QCOMPARE(boxes.boxes.size(), 0);
    }
};

BRIMVEL_GUI_TEST_MAIN(TestFullTextPane)
#include "tst_fulltextpane.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#define BRIMVEL_GUI_TESTS
#include "testsupport.h"

#include "ui/fMain.h"
#include "ui/librarymodel.h"
#include "ui/viewer.h"

#include <QMenuBar>
#include <QTabWidget>
#include <QTreeView>

namespace {

// A book B by author A with twelve entries: "Глава 1" to "Глава 10", then
// two entries both named "Повтор" on pages of their own.
QByteArray contentsFile()
{
    QString text = QStringLiteral("ITEMS{\r\n");
    for (int chapter = 1; chapter <= 10; ++chapter)
        text += QStringLiteral("ITEM{\r\nNAME=Глава %1\r\nLOCAL=ch%1.htm\r\nID=%1\r\n}\r\n").arg(chapter);
    text += QStringLiteral("ITEM{\r\nNAME=Повтор\r\nLOCAL=first.htm\r\nID=11\r\n}\r\n"
                           "ITEM{\r\nNAME=Повтор\r\nLOCAL=second.htm\r\nID=12\r\n}\r\n}\r\n");
    return cp1251(text);
}

QStringList tabCaptions(const TfrmMain &window)
{
    QStringList captions;
    for (int index = 0; index < window.pageBrowsers->count(); ++index)
        captions << window.tabCaption(index);
    return captions;
}

}  // namespace

class TestBookmarks : public QObject
{
    Q_OBJECT

private:
    TemporaryWorkingDirectory m_library;
    std::unique_ptr<TfrmMain> m_window;

    QModelIndex entry(int row)
    {
        QAbstractItemModel *model = m_window->LibBooks->model();
        return model->index(row, 0, model->index(0, 0, model->index(0, 0)));
    }

    void select(const QModelIndex &index) { m_window->LibBooks->setCurrentIndex(index); }
    void press(Qt::Key key) { QTest::keyClick(m_window->LibBooks, key); }
    QWidget *front() const { return m_window->pageBrowsers->currentWidget(); }
    TWebBrowser *viewerOf(int tab) const { return m_window->pageBrowsers->widget(tab)->findChild<TWebBrowser *>(); }

    QMenu *bookmarksMenu() const { return m_window->menuBar()->actions().at(2)->menu(); }

    // The menu's entries as the menu shows them when it opens.
    QStringList menuEntries()
    {
        QMenu *menu = bookmarksMenu();
        menu->popup(m_window->mapToGlobal(QPoint(40, 20)));
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        menu->close();
        return texts;
    }

private slots:
    void initTestCase()
    {
        writeFile(m_library.filePath(QStringLiteral("books.xml")),
                  cp1251(cataloguePacket(
                      {{QStringLiteral("A"), QString(), QString(), QStringLiteral("B"), QStringLiteral("b")}})));
        writeFile(m_library.filePath(QStringLiteral("Library/b/sod.btf")), contentsFile());
    }

    void init()
    {
        m_window = std::make_unique<TfrmMain>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->activateWindow();
        m_window->LibBooks->expandAll();
        m_window->LibBooks->expand(entry(0).parent());
        m_window->LibBooks->setFocus();
    }

    void cleanup() { m_window.reset(); }

    void newBookmarkOpensOrReusesATab()
    {
        // An author selected: F2 does nothing.
        select(m_window->LibBooks->model()->index(0, 0));
        press(Qt::Key_F2);
        QCOMPARE(m_window->pageBrowsers->count(), 1);

        // The start tab shows the entry, yet F2 makes a tab: the start tab is never compared.
        select(entry(0));
        press(Qt::Key_F2);
        QCOMPARE(tabCaptions(*m_window), (QStringList{"A   | B | Глава 1", "A   | B | Глава 1"}));
        QCOMPARE(front(), m_window->pageBrowsers->widget(1));
        QCOMPARE(m_window->bookmarkCount(), 1);
        QVERIFY(m_window->actDelBookmark->isEnabled());
        QTRY_VERIFY(viewerOf(1)->LocationURL().endsWith(QStringLiteral("/Library/b/ch1.htm")));

        // Two entries with one caption share the tab made for the first.
        select(entry(10));
        press(Qt::Key_F2);
        select(entry(11));
        QCOMPARE(front(), m_window->tbsView);
        press(Qt::Key_F2);
        QCOMPARE(m_window->pageBrowsers->count(), 3);
        QCOMPARE(front(), m_window->pageBrowsers->widget(2));
        QCOMPARE(m_window->bookmarkCount(), 2);
        QTRY_VERIFY(viewerOf(2)->LocationURL().endsWith(QStringLiteral("/first.htm")));

        // Selecting nodes never changes a bookmark's page.
        select(entry(3));
        QTRY_VERIFY(m_window->BookView->LocationURL().endsWith(QStringLiteral("/ch4.htm")));
        QVERIFY(viewerOf(1)->LocationURL().endsWith(QStringLiteral("/ch1.htm")));
    }

    void closingBringsTheNextTabForward()
    {
        for (int row : {0, 1, 2}) {  // P, Q and R
            select(entry(row));
            press(Qt::Key_F2);
        }
        QWidget *p = m_window->pageBrowsers->widget(1);
        QWidget *r = m_window->pageBrowsers->widget(3);
        QCOMPARE(menuEntries().mid(2),
                 (QStringList{"-", "&1 A   | B | Глава 1", "&2 A   | B | Глава 2", "&3 A   | B | Глава 3"}));

        // Pick Q from the menu, then close it: R comes forward.
        bookmarksMenu()->actions().at(4)->trigger();
        QCOMPARE(front(), m_window->pageBrowsers->widget(2));
        QVERIFY(m_window->actDelBookmark->isEnabled());
        press(Qt::Key_F8);
        QCOMPARE(m_window->pageBrowsers->count(), 3);
        QCOMPARE(m_window->pageBrowsers->widget(1), p);
        QCOMPARE(front(), r);

        // R was the rightmost: the start tab comes forward.
        press(Qt::Key_F8);
        QCOMPARE(m_window->pageBrowsers->count(), 2);
        QCOMPARE(front(), m_window->tbsView);
        QVERIFY(!m_window->actDelBookmark->isEnabled());

        // With the start tab in front F8 does nothing.
        press(Qt::Key_F8);
        QCOMPARE(m_window->pageBrowsers->count(), 2);
        QCOMPARE(m_window->bookmarkCount(), 1);
        QCOMPARE(menuEntries().mid(2), (QStringList{"-", "&1 A   | B | Глава 1"}));

        // Closing the only bookmark leaves the start tab alone.
        m_window->pageBrowsers->setCurrentWidget(p);
        press(Qt::Key_F8);
        QCOMPARE(m_window->pageBrowsers->count(), 1);
        QCOMPARE(menuEntries().size(), 2);
    }

    void theTenthEntryIsMarkedA()
    {
        for (int row = 0; row < 11; ++row) {
            select(entry(row));
            press(Qt::Key_F2);
        }
        const QStringList entries = menuEntries();
        QCOMPARE(entries.size(), 2 + 1 + 11);
        QCOMPARE(entries.at(11), QStringLiteral("&9 A   | B | Глава 9"));
        QCOMPARE(entries.at(12), QStringLiteral("&A A   | B | Глава 10"));
        QCOMPARE(entries.at(13), QStringLiteral("&B A   | B | Повтор"));
    }
};

BRIMVEL_GUI_TEST_MAIN(TestBookmarks)
#include "tst_bookmarks.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#define BRIMVEL_GUI_TESTS
#include "testsupport.h"

#include "storesupport.h"

#include "core/fulltextindex.h"
#include "core/library.h"
#include "ui/fMain.h"
#include "ui/librarymodel.h"
#include "ui/viewer.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTreeView>
#include <QWebEngineView>

// The viewer reads its library and never writes to it: a whole session on a
// library directory leaves every file and directory in it as it was.

namespace {

// A library of four authors and five books: chapters with sections and
// epigraphs, pages that link to each other and share a style sheet, names in
// other letter case than the files, and last in the tree a book without its
// contents file.
void writeLibrary(const QDir &root)
{
    writeFile(
        root.filePath(QStringLiteral("books.xml")),
        cp1251(cataloguePacket({{QStringLiteral("Пушкин"), QStringLiteral("Александр"), QString(),
                                 QStringLiteral("Повести Белкина"), QStringLiteral("belkin")},
                                {QStringLiteral("Пушкин"), QStringLiteral("Александр"), QString(),
                                 QStringLiteral("Метель"), QStringLiteral("Metel")},
                                {QStringLiteral("Гоголь"), QStringLiteral("Николай"), QString(), QStringLiteral("Нос"),
                                 QStringLiteral("nos")},
                                {QString(), QString(), QString(), QStringLiteral("Колобок"), QStringLiteral("kolobok")},
                                {QStringLiteral("Яковлев"), QString(), QString(), QStringLiteral("Без оглавления"),
                                 QStringLiteral("none")}}))
            + "\r\n");
    writeFile(root.filePath(QStringLiteral("brimvel_library.htm")),
              cp1251(QStringLiteral(
                  "<html><head><link rel=stylesheet href=style.css></head><body>Библиотека</body></html>")));
    writeFile(root.filePath(QStringLiteral("style.css")), "body { background: #fff9d5 }");
    const QString contents =
        QStringLiteral("ITEMS{\r\n ITEM{\r\n  NAME=Глава первая\r\n  LOCAL=ch1.htm\r\n  ID=1\r\n  ITEMS{\r\n   "
                       "ITEM{\r\n    NAME=Выстрел\r\n"
                       "    LOCAL=text\\ch1_1.htm\r\n    ID=2\r\n   }\r\n  }\r\n }\r\n ITEM{\r\n  NAME=Глава "
                       "вторая\r\n  LOCAL=CH2.HTM\r\n  ID=3\r\n"
                       "  EPIGRAFS{\r\n   ITEM{\r\n    Эпиграф\r\n    Автор\r\n   }\r\n  }\r\n }\r\n}\r\n");
    for (const QString &book :
         {QStringLiteral("kolobok"), QStringLiteral("belkin"), QStringLiteral("metel"), QStringLiteral("nos")}) {
        writeFile(root.filePath(QStringLiteral("Library/%1/sod.btf").arg(book)), cp1251(contents));
        for (const QString &page :
             {QStringLiteral("ch1.htm"), QStringLiteral("text/ch1_1.htm"), QStringLiteral("ch2.htm")})
            writeFile(root.filePath(QStringLiteral("Library/%1/%2").arg(book, page)),
                      cp1251(QStringLiteral("<link rel=stylesheet href=../../style.css><p>Страница %1</p>"
                                            "<a href=ch1.htm>Глава первая</a>")
                                 .arg(page)));
    }
    QDir().mkpath(root.filePath(QStringLiteral("Library/none")));
}

// What the file system tells of an entry, access time aside: its kind, size,
// permissions, modification and status-change times, and a file's bytes.
QString describe(const QFileInfo &info)
{
    const QString kind = info.isSymLink() ? QStringLiteral("link")
                         : info.isDir()   ? QStringLiteral("directory")
                                          : QStringLiteral("file");
    QString text = QStringLiteral("%1 size %2 permissions %3 modified %4 changed %5")
                       .arg(kind)
                       .arg(info.size())
                       .arg(int(info.permissions()), 0, 16)
                       .arg(info.lastModified().toMSecsSinceEpoch())
                       .arg(info.metadataChangeTime().toMSecsSinceEpoch());
    if (kind == QStringLiteral("file")) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            return text + QStringLiteral(" unreadable");
        text += QStringLiteral(" sha256 ")
                + QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
    }
    return text;
}

// Every entry below `root`, hidden ones included, and `root` itself.
QMap<QString, QString> snapshot(const QString &root)
{
    QMap<QString, QString> entries;
    entries.insert(QStringLiteral("."), describe(QFileInfo(root)));
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries.insert(QDir(root).relativeFilePath(it.filePath()), describe(it.fileInfo()));
    }
    return entries;
}

// Puts every file's modification time an hour back, so that a write or a
// touch during the test cannot leave it looking the same.
void backdate(const QString &root)
{
    const QDateTime past = QDateTime::currentDateTime().addSecs(-3600);
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        QVERIFY2(file.open(QIODevice::ReadWrite) && file.setFileTime(past, QFileDevice::FileModificationTime),
                 qPrintable(file.fileName()));
    }
}

void compareSnapshots(const QMap<QString, QString> &after, const QMap<QString, QString> &before)
{
    QCOMPARE(after.keys(), before.keys());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(it.key() + QStringLiteral(": ") + after.value(it.key()), it.key() + QStringLiteral(": ") + it.value());
}

}  // namespace

class TestReadOnly : public QObject
{
    Q_OBJECT

private:
    static QWebEngineView *webView(QWidget *tab) { return tab->findChild<QWebEngineView *>(); }

    // Expands every author and book, the way the user does, and selects every
    // contents entry, waiting for each page to be shown.
    static int expandAndShowEverything(TfrmMain &window)
    {
        QAbstractItemModel *model = window.LibBooks->model();
        QSignalSpy loaded(webView(window.BookView), &QWebEngineView::loadFinished);
        int pages = 0;
        for (int author = 0; author < model->rowCount(); ++author) {
            const QModelIndex authorIndex = model->index(author, 0);
            window.LibBooks->expand(authorIndex);
            for (int book = 0; book < model->rowCount(authorIndex); ++book)
                window.LibBooks->expand(model->index(book, 0, authorIndex));
        }
        for (QModelIndex index = model->index(0, 0); index.isValid(); index = window.LibBooks->indexBelow(index)) {
            window.LibBooks->expand(index);
            const qsizetype loads = loaded.size();
            window.LibBooks->setCurrentIndex(index);
            const LibraryTree::Node node = window.libraryModel()->node(index);
            if (window.tree().level(node) < 2)
                continue;
            ++pages;
            const QString page = window.tree().info(node)->FPath.replace(u'\\', u'/').toLower();
            const auto shown = [&] {
                return loaded.size() > loads
                       && window.BookView->LocationURL().toLower().endsWith(page.mid(page.indexOf(u"/library/")));
            };
            if (!QTest::qWaitFor(shown))
                return -1;
        }
        return pages;
    }

private slots:
    void sessionLeavesTheLibraryAsItWas()
    {
        TemporaryWorkingDirectory library;
        writeLibrary(library.path());
        backdate(library.path());
        QVERIFY(!storePath().startsWith(library.path()));
        const QMap<QString, QString> before = snapshot(library.path());
        QVERIFY(before.size() > 20);

        MessageBoxRecorder boxes;
        auto window = std::make_unique<TfrmMain>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(boxes.boxes.size(), 0);

        // The book without a contents file reports it at each expansion.
        QCOMPARE(expandAndShowEverything(*window), 12);
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("File not found."));

        // Find and Find next through the four books, then into the fifth.
        boxes.boxes.clear();
        findThroughDialog(*window, QStringLiteral("выстрел"));
        QCOMPARE(window->tabCaption(0),
                 QStringLiteral("Народные сказки, мифы, легенды | Колобок | Глава первая | Выстрел"));
        for (int next = 0; next < 3; ++next)
            window->actFindNext->trigger();
        QCOMPARE(window->tabCaption(0), QStringLiteral("Пушкин Александр  | Повести Белкина | Глава первая | Выстрел"));
        QVERIFY(boxes.boxes.isEmpty());
        window->actFindNext->trigger();
        QCOMPARE(boxes.boxes.size(), 1);

        // Bookmarks: two opened, one brought to the front, one closed.
        window->LibBooks->setCurrentIndex(
            window->LibBooks->model()->index(0, 0, window->LibBooks->currentIndex().parent()));
        window->actNewBookmark->trigger();
        const QModelIndex other = window->LibBooks->indexBelow(window->LibBooks->currentIndex());
        window->LibBooks->setCurrentIndex(other);
        window->actNewBookmark->trigger();
        QCOMPARE(window->bookmarkCount(), 2);
        for (int tab = 1; tab < window->pageBrowsers->count(); ++tab)
            QTRY_VERIFY(!webView(window->pageBrowsers->widget(tab))->url().isEmpty());
        window->actDelBookmark->trigger();
        QCOMPARE(window->bookmarkCount(), 1);

        window->close();
        window.reset();
        QVERIFY(QFileInfo::exists(storePath()));

        compareSnapshots(snapshot(library.path()), before);
    }

    // Building the full-text index, and searching it, read every page and
    // write only into the user's cache.
    void indexingLeavesTheLibraryAsItWas()
    {
        TemporaryWorkingDirectory library;
        writeLibrary(library.path());
        backdate(library.path());
        const QMap<QString, QString> before = snapshot(library.path());

        Library opened(library.path());
        opened.readCatalogue();
        const QString indexFile = FullTextIndex::fileFor(library.path());
        QVERIFY(!indexFile.startsWith(library.path()));
        const std::atomic_bool stop = false;
        QCOMPARE(IndexUpdate(opened, indexFile).run(stop, {}).pages, 12);
        QCOMPARE(FullTextIndex(indexFile).search(QStringLiteral("страница"), 20).total, 12);

        compareSnapshots(snapshot(library.path()), before);
    }

    // Sessions saved and restored, at a restart and at a change of library,
    // go to the settings store alone.
    void keptSessionsLeaveTheLibraryAsItWas()
    {
        TemporaryWorkingDirectory library;
        QTemporaryDir other;
        writeLibrary(library.path());
        writeLibrary(other.path());
        backdate(library.path());
        const QMap<QString, QString> before = snapshot(library.path());
        MessageBoxRecorder boxes;
        for (int start = 0; start < 2; ++start) {
            TfrmMain window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QAbstractItemModel *model = window.LibBooks->model();
            window.LibBooks->expand(model->index(0, 0));
            window.LibBooks->expand(model->index(0, 0, model->index(0, 0)));
            window.LibBooks->setCurrentIndex(model->index(0, 0, model->index(0, 0, model->index(0, 0))));
            window.actNewBookmark->trigger();
            window.actionZoomIn->trigger();
            QTRY_VERIFY(!webView(window.pageBrowsers->widget(1))->url().isEmpty());
            window.openAnotherLibrary(other.path());
            window.openAnotherLibrary(library.path());
            QCOMPARE(window.bookmarkCount(), 1);
            QVERIFY(window.close());
        }
        QCOMPARE(boxes.boxes.size(), 0);
        QCOMPARE(snapshot(library.path()), before);
    }
};

BRIMVEL_GUI_TEST_MAIN(TestReadOnly)
#include "tst_readonly.moc"

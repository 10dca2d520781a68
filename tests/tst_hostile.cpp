// SPDX-License-Identifier: GPL-3.0-or-later
#define BRIMVEL_GUI_TESTS
#include "testsupport.h"

#include "storesupport.h"

#include "core/contents.h"
#include "core/fulltextindex.h"
#include "core/library.h"
#include "core/paths.h"
#include "ui/fFind.h"
#include "ui/fMain.h"
#include "ui/librarymodel.h"
#include "ui/viewer.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHelpEvent>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <filesystem>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

// Broken and hostile libraries, stores and pages, each through the real
// window: whatever a library holds, the viewer reports it clearly and runs on.

namespace {

constexpr qsizetype FiftyMegabytes = qsizetype(50) << 20;

// The catalogue's data packet with `rows` (ROW elements as bytes) in its
// ROWDATA, and `prolog` in place of the XML declaration.
QByteArray packet(const QByteArray &rows, const QByteArray &prolog = {})
{
    QByteArray bytes = cp1251(cataloguePacket({})).replace("<ROWDATA>", "<ROWDATA>" + rows);
    if (!prolog.isNull())
        bytes.replace(0, bytes.indexOf("?>") + 2, prolog);
    return bytes;
}

QByteArray row(const QByteArray &surname, const QByteArray &label, const QByteArray &path = "B")
{
    return "<ROW RecId=\"1\" SURNAME=\"" + surname + "\" LABEL=\"" + label + "\" PATH=\"" + path + "\"/>";
}

QByteArray millionRows()
{
    QByteArray rows;
    rows.reserve(60 << 20);
    for (int i = 0; i < 1000000; ++i)
        rows += "<ROW RecId=\"" + QByteArray::number(i) + "\" SURNAME=\"\xC0" + QByteArray::number(i % 1000)
                + "\" LABEL=\"\xCA" + QByteArray::number(i) + "\" PATH=\"p" + QByteArray::number(i) + "\"/>";
    return packet(rows);
}

// Every byte that is no character of its own: the unassigned 0x98, control
// characters, DEL, and for UTF-8 sequences that are cut off, overlong or name
// a surrogate.
const QByteArray BadWindows1251 = "\x98\x01\x1F\x7F\xFF";
const QByteArray BadUtf8 = "\xC3\x28\xFF\xE0\x80\xAF\xED\xA0\x80\xF4\x90\x80\x80";

QByteArray everyTextField(const QByteArray &value, const QByteArray &prolog = {})
{
    return packet("<ROW RecId=\"1\" SURNAME=\"" + value + "\" NAME=\"" + value + "\" LASTNAME=\"" + value
                      + "\" LOCATION=\"" + value + "\" LABEL=\"" + value + "\" PATH=\"" + value + "\"/>",
                  prolog);
}

const QByteArray LaughsDtd = "<?xml version=\"1.0\"?><!DOCTYPE DATAPACKET [<!ENTITY lol \"lol\">"
                             "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
                             "<!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">"
                             "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">"
                             "<!ENTITY lol9 \"&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;\">]>";
const QByteArray ExternalDtd =
    "<?xml version=\"1.0\"?><!DOCTYPE DATAPACKET SYSTEM \"file:///etc/passwd\" ["
    "<!ENTITY xxe SYSTEM \"file:///etc/passwd\"><!ENTITY % remote SYSTEM \"http://127.0.0.1/\">"
    "%remote;]>";

// A hostile catalogue, made when its test row runs.
struct CatalogueCase
{
    const char *name;
    QByteArray (*catalogue)();
    const char *message;  // the error box's text; empty when the library opens
    int authors;
    int books;
};

const CatalogueCase CatalogueCases[] = {
    {"50 MB on one line, one value", [] { return packet(row("\xC0", QByteArray(FiftyMegabytes, '\xFF'))); }, "", 1, 1},
    {"50 MB on one line, no packet", [] { return QByteArray(FiftyMegabytes, 'x'); },
     "Invalid data packet: no DATAPACKET element.", 0, 0},
    {"a million rows", millionRows, "", 1000, 1000000},
    {"billion laughs", [] { return packet(row("&lol9;", "x"), LaughsDtd); },
     "Invalid data packet: invalid character reference '&lol9;' in field 'SURNAME' of row 1.", 0, 0},
    {"external entities", [] { return packet(row("x", "&xxe;"), ExternalDtd); },
     "Invalid data packet: invalid character reference '&xxe;' in field 'LABEL' of row 1.", 0, 0},
    {"a million nested elements",
     [] { return packet(row("x", "y") + QByteArray("<a>").repeated(1000000) + QByteArray("</a>").repeated(1000000)); },
     "", 1, 1},
    {"a million unclosed elements",
     [] { return packet({}).replace("</ROWDATA></DATAPACKET>", QByteArray("<a>").repeated(1000000)); },
     "Invalid data packet: not well-formed XML (unexpected end of data at offset %1)", 0, 0},
    {"invalid bytes in every text field", [] { return everyTextField(BadWindows1251); }, "", 1, 1},
    {"invalid UTF-8 in every text field",
     [] { return everyTextField(BadUtf8, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"); }, "", 1, 1},
    {"invalid bytes in the integer field",
     [] { return packet("<ROW RecId=\"" + BadWindows1251 + "\" LABEL=\"x\" PATH=\"B\"/>"); },
     "Invalid value '\u0098\u0001\u001F\u007F\u044F' for field 'RecId' (Integer) in row 1.", 0, 0},
};

// A library in `root` of one book, "Книга" by "Автор" in the directory named
// by PATH, whose contents file holds `contents` (none when it is null).
void writeOneBook(const QDir &root, const QByteArray &contents, const QString &path = QStringLiteral("B"))
{
    writeFile(
        root.filePath(QStringLiteral("books.xml")),
        cp1251(cataloguePacket({{QStringLiteral("Автор"), QString(), QString(), QStringLiteral("Книга"), path}})));
    writeFile(root.filePath(QStringLiteral("brimvel_library.htm")), cp1251(QStringLiteral("<p>Библиотека</p>")));
    if (!contents.isNull())
        writeFile(root.filePath(QStringLiteral("Library/B/sod.btf")), contents);
}

template <qsizetype Size>
QByteArray bytesOf(const char (&text)[Size])
{
    return QByteArray(text, Size - 1);
}

QByteArray entryLines(int number, const QByteArray &name)
{
    return "ITEM{\r\nNAME=" + name + "\r\nLOCAL=" + QByteArray::number(number)
           + ".htm\r\nID=" + QByteArray::number(number) + "\r\n";
}

QByteArray flatContents(int entries)
{
    QByteArray text = "ITEMS{\r\n";
    for (int i = 0; i < entries; ++i)
        text += entryLines(i, "\xC3\xEB\xE0\xE2\xE0 " + QByteArray::number(i)) + "}\r\n";
    return text + "}\r\n";
}

// Each entry holds the next one in a sub-level, `depth` levels down.
QByteArray nestedContents(int depth)
{
    QByteArray text = "ITEMS{\n";
    for (int i = 0; i < depth; ++i)
        text += entryLines(i, "L" + QByteArray::number(i)) + "ITEMS{\n";
    text += entryLines(depth, "leaf");
    return text + QByteArray("}\n}\n").repeated(depth + 1);
}

struct ContentsCase
{
    const char *name;
    QByteArray (*contents)();
    const char *message;
    int entries;  // entries under the book
    int nodes;    // contents nodes of every level
};

const ContentsCase ContentsCases[] = {
    {"a million lines", [] { return flatContents(200000); }, "", 200000, 200000},
    {"a million lines of one word", [] { return QByteArray("\xF1\xEB\xEE\xE2\xEE\r\n").repeated(1000000); }, "", 200000,
     200000},
    {"NUL bytes", [] { return bytesOf("ITEMS{\n\0\0\0\nITEM{\nNAME=\xC0\0\xC1\nLOCAL=a\0b.htm\nID=1\n}\n}\n"); }, "", 1,
     1},
    {"only a stop marker", [] { return QByteArray(31, '-'); }, "List index out of bounds (2)", 0, 0},
    {"a thousand levels", [] { return nestedContents(MaxContentsDepth - 1); }, "", 1, MaxContentsDepth},
    {"a hundred thousand levels", [] { return nestedContents(100000); },
     "The contents file nests more than 1000 levels.", 1, MaxContentsDepth},
};

// Puts at `path` a FIFO ("fifo"), a directory, a symbolic link to itself
// ("loop") or to a device (its path), or else a sparse file of that many
// zero bytes.
void putInPlace(const QString &path, const QString &what)
{
    QFile::remove(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (what == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
    } else if (what == QLatin1String("loop")) {
        QVERIFY(QFile::link(path, path));
    } else if (what.startsWith(u'/')) {
        QVERIFY(QFile::link(what, path));
    } else if (what == QLatin1String("fifo")) {
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#else
        QSKIP("this platform has no FIFOs");
#endif
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(what.toLongLong()));
    }
}

// The texts of the search history as stored.
QStringList storedHistory()
{
    QStringList items;
    const int count = storedValue(QStringLiteral("search.cmbMask_Items/Count")).toInt();
    for (int i = 0; i < count; ++i)
        items << storedValue(QStringLiteral("search.cmbMask_Items/Item%1").arg(i)).toString();
    return items;
}

#ifdef Q_OS_UNIX
bool endProcess(qint64 pid)
{
    return ::kill(pid_t(pid), SIGKILL) == 0;
}
#else
bool endProcess(qint64)
{
    return false;
}
#endif

// How a label of format `format` shows `text` to the reader.
QString shownText(const QString &text, Qt::TextFormat format = Qt::AutoText)
{
    const bool rich = format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text));
    return rich ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
}

// A library two levels below `outer`, made the working directory, of one
// book whose one entry is the page Library/B/0.htm; returns that page's path.
QString writePageLibrary(const TemporaryWorkingDirectory &outer)
{
    const QDir root(outer.filePath(QStringLiteral("x/library")));
    QDir().mkpath(root.path());
    QDir::setCurrent(root.path());
    writeOneBook(root, flatContents(1));
    return root.filePath(QStringLiteral("Library/B/0.htm"));
}

}  // namespace

class TestHostile : public QObject
{
    Q_OBJECT

private:
    static QModelIndex index(TfrmMain &window, const QList<int> &rows)
    {
        QModelIndex index;
        for (const int row : rows)
            index = window.LibBooks->model()->index(row, 0, index);
        return index;
    }

    static QWebEngineView *webView(TWebBrowser *viewer) { return viewer->findChild<QWebEngineView *>(); }

    // Shows the window on a library of writePageLibrary and selects its page.
    static void selectPage(TfrmMain &window)
    {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.LibBooks->expand(index(window, {0}));
        window.LibBooks->expand(index(window, {0, 0}));
        window.LibBooks->setCurrentIndex(index(window, {0, 0, 0}));
    }

    // The text of the page a viewer shows; empty when it does not come.
    static QString pageText(TWebBrowser *viewer)
    {
        const auto text = std::make_shared<std::optional<QString>>();
        webView(viewer)->page()->toPlainText([text](const QString &plain) { *text = plain; });
        return QTest::qWaitFor([&text] { return text->has_value(); }) ? text->value() : QString();
    }

private slots:
    void init() { removeStore(); }

    void hostileCatalogues_data()
    {
        QTest::addColumn<int>("which");
        for (int i = 0; i < int(std::size(CatalogueCases)); ++i)
            QTest::newRow(CatalogueCases[i].name) << i;
    }

    void hostileCatalogues()
    {
        QFETCH(int, which);
        const CatalogueCase &test = CatalogueCases[which];
        TemporaryWorkingDirectory library;
        const QByteArray catalogue = test.catalogue();
        writeFile(library.filePath(QStringLiteral("books.xml")), catalogue);
        MessageBoxRecorder boxes;
        TfrmMain window;
        const LibraryTree &tree = window.tree();

        const QString message = QString::fromUtf8(test.message).arg(catalogue.size());
        QCOMPARE(boxes.boxes.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(boxes.boxes.at(0).text, message);
        QCOMPARE(tree.childCount(LibraryTree::NoNode), test.authors);
        qsizetype books = 0;
        for (int author = 0; author < test.authors; ++author)
            books += tree.childCount(tree.child(LibraryTree::NoNode, author));
        QCOMPARE(books, test.books);
        // Values are cut to the engine's limit; every book stays a book.
        for (LibraryTree::Node node = tree.firstRoot(); node != LibraryTree::NoNode; node = tree.nextInPreorder(node))
            QVERIFY(tree.textView(node).size() <= 8192 && tree.level(node) <= 1);
        if (test.books > 0)
            QVERIFY(window.libraryModel()->hasChildren(index(window, {0, 0})));
    }

    void textsOfInvalidBytesAreShownAsDecoded()
    {
        TemporaryWorkingDirectory library;
        writeFile(library.filePath(QStringLiteral("books.xml")), everyTextField(BadWindows1251));
        TfrmMain window;
        const LibraryTree &tree = window.tree();
        const QString decoded = QStringLiteral("\u0098\u0001\u001F\u007F\u044F");
        QCOMPARE(tree.text(tree.firstRoot()), decoded + u' ' + decoded + u' ' + decoded);
        QCOMPARE(tree.info(tree.child(tree.firstRoot(), 0))->FPath, decoded);
    }

    void hostileContentsFiles_data()
    {
        QTest::addColumn<int>("which");
        for (int i = 0; i < int(std::size(ContentsCases)); ++i)
            QTest::newRow(ContentsCases[i].name) << i;
    }

    // Each file is loaded by expanding its book, then searched through by a
    // Find that reaches its last entry, which is shown.
    void hostileContentsFiles()
    {
        QFETCH(int, which);
        const ContentsCase &test = ContentsCases[which];
        TemporaryWorkingDirectory library;
        writeOneBook(library.path(), test.contents());
        MessageBoxRecorder boxes;
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const LibraryTree &tree = window.tree();
        const QModelIndex book = index(window, {0, 0});
        const LibraryTree::Node bookNode = window.libraryModel()->node(book);

        window.LibBooks->expand(index(window, {0}));
        window.LibBooks->expand(book);
        const QString message = QString::fromUtf8(test.message);
        QCOMPARE(boxes.boxes.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(boxes.boxes.at(0).text, message);
        QCOMPARE(tree.childCount(bookNode), test.entries);
        QCOMPARE(tree.size() - 2, test.nodes);
        QCOMPARE(busyCursorDepth(), 0);
        if (test.nodes == 0)
            return;

        // A search for a text no node has walks and expands every node.
        boxes.boxes.clear();
        findThroughDialog(window, QStringLiteral("нет такого текста"));
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("Поиск"));

        LibraryTree::Node last = bookNode;
        while (tree.childCount(last) > 0)
            last = tree.child(last, tree.childCount(last) - 1);
        const QModelIndex lastIndex = window.libraryModel()->indexOf(last);
        window.LibBooks->setCurrentIndex(lastIndex);
        window.LibBooks->scrollTo(lastIndex);
        QVERIFY(window.tabCaption(0).endsWith(tree.text(last)));
        QTRY_VERIFY(!window.BookView->LocationURL().isEmpty());
        QCOMPARE(boxes.boxes.size(), 1);
        window.close();
    }

    // A node's caption names every level above it, however deep; equal
    // texts in a row collapse into one.
    void deepCaptionsAreWhole()
    {
        LibraryTree tree;
        LibraryTree::Node named =
            tree.addChild(tree.addRoot(QStringLiteral("A")), QStringLiteral("B"), TExtInfoLib({}));
        LibraryTree::Node repeated = named;
        QString expected = QStringLiteral("A | B");
        for (int level = 0; level < 100000; ++level) {
            named = tree.addEntry(named, QByteArray::number(level), {});
            repeated = tree.addEntry(repeated, "x", {});
            expected += QStringLiteral(" | ") + QString::number(level);
        }
        QCOMPARE(tree.caption(named), expected);
        QCOMPARE(tree.caption(repeated), QStringLiteral("A | B | x"));
    }

    // PATH and LOCAL values are read as given: the page path is built from
    // them, its backslashes become slashes, and the viewer is given whatever
    // file that names (one outside the library shows a notice in its place).
    void pathsAreReadAsGiven_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("contentsFile");  // where the contents file is read, in the library
        QTest::addColumn<QString>("builtPath");     // the entry's page path in the library
        QTest::addColumn<QString>("openedFile");    // the file the viewer shows, in the library
        QTest::newRow("..") << "..\\.."
                            << "..\\page.htm"
                            << "../sod.btf"
                            << "Library\\..\\..\\..\\page.htm"
                            << "../../page.htm";
        QTest::newRow("absolute") << "/abs"
                                  << "/abs/page.htm"
                                  << "Library/abs/sod.btf"
                                  << "Library\\/abs\\/abs/page.htm"
                                  << "Library/abs/abs/page.htm";
        QTest::newRow("drive letters") << "C:\\Книги"
                                       << "D:\\page.htm"
                                       << "Library/C:/Книги/sod.btf"
                                       << "Library\\C:\\Книги\\D:\\page.htm"
                                       << "Library/C:/Книги/D:/page.htm";
        QTest::newRow("empty parts") << "a\\\\b\\"
                                     << "\\\\page.htm"
                                     << "Library/a/b/sod.btf"
                                     << "Library\\a\\\\b\\\\\\\\page.htm"
                                     << "Library/a/b/page.htm";
        QTest::newRow("empty PATH and LOCAL") << ""
                                              << ""
                                              << "Library/sod.btf"
                                              << "Library\\\\"
                                              << "Library";
    }

    void pathsAreReadAsGiven()
    {
        QFETCH(QString, path);
        QFETCH(QString, local);
        QFETCH(QString, contentsFile);
        QFETCH(QString, builtPath);
        QFETCH(QString, openedFile);
        // The library lies two levels below a directory of its own, so that
        // ".." stays inside the temporary directory.
        TemporaryWorkingDirectory outer;
        const QString root = outer.filePath(QStringLiteral("x/library"));
        QDir().mkpath(root);
        QDir::setCurrent(root);
        const QDir library(root);
        writeOneBook(library, QByteArray(), path);
        library.mkdir(QStringLiteral("Library"));
        writeFile(library.filePath(contentsFile),
                  cp1251(QStringLiteral("ITEMS{\nITEM{\nNAME=Страница\nLOCAL=%1\nID=1\n}\n}\n").arg(local)));
        const QString opened = QDir::cleanPath(library.filePath(openedFile));
        if (!QFileInfo(opened).isDir())
            writeFile(opened, cp1251(QStringLiteral("<p>Страница</p>")));

        MessageBoxRecorder boxes;
        TfrmMain window;
        window.LibBooks->expand(index(window, {0}));
        window.LibBooks->expand(index(window, {0, 0}));
        QCOMPARE(boxes.boxes.size(), 0);
        const QModelIndex page = index(window, {0, 0, 0});
        QCOMPARE(window.tree().info(window.libraryModel()->node(page))->FPath, builtPath);

        QSignalSpy loaded(webView(window.BookView), &QWebEngineView::loadFinished);
        window.LibBooks->setCurrentIndex(page);
        QTRY_COMPARE(loaded.size(), 1);
        QVERIFY(loaded.at(0).at(0).toBool());
        QCOMPARE(QDir::cleanPath(QUrl(window.BookView->LocationURL()).toLocalFile()), opened);
        QCOMPARE(boxes.boxes.size(), 0);
    }

    // A store the program never wrote: garbage bytes, values of other
    // types, list counts of two billion.
    void brokenSettingsStores_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<QString>("message");
        QByteArray garbage;
        for (int i = 0; i < 1 << 16; ++i)
            garbage += char((i * 7919) >> 3);
        QTest::newRow("garbage") << garbage << QString();
        QTest::newRow("garbage lines") << QByteArray(
            "[main\n=\n==[\n\\\n[search.cmbMask_Items]\nCount=\"\n\x01\x02=\x03\n")
                                       << QString();
        QTest::newRow("a position of another type")
            << QByteArray("[main]\nNormPos=@Rect(1 2 3 4)\n") << QStringLiteral("Invalid data type for 'NormPos'");
        QTest::newRow("a width of another type") << QByteArray("[main]\nLibBooks_Width=@Size(3 4)\n") << QString();
        QTest::newRow("counts of two billion") << QByteArray("[main]\nLibBooks_Width=2000000000\nShowCmd=2000000000\n"
                                                             "[search.cmbMask_Items]\nCount=2000000000\nItem0=Пушкин\n")
                                               << QString();
    }

    // The window opens, the find dialog reads the history, and closing the
    // window writes a store that the next start reads.
    void brokenSettingsStores()
    {
        QFETCH(QByteArray, store);
        QFETCH(QString, message);
        TemporaryWorkingDirectory library;
        writeOneBook(library.path(), flatContents(1));
        writeFile(storePath(), store);
        MessageBoxRecorder boxes;
        auto window = std::make_unique<TfrmMain>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(boxes.boxes.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(boxes.boxes.at(0).text, message);
        QVERIFY(window->LibBooks->width() <= window->width());

        int historyLength = -1;
        QTimer::singleShot(0, [&historyLength] {
            auto *dialog = qobject_cast<TfrmFind *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            historyLength = dialog->cmbMask->count();
            dialog->reject();
        });
        window->actFind->trigger();
        QVERIFY(historyLength >= 0 && historyLength <= 1);
        window->close();
        window.reset();

        boxes.boxes.clear();
        TfrmMain again;
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(boxes.boxes.size(), message.isEmpty() ? 0 : 1);
    }

    // The render process dies under a page: the page comes back in a new
    // one, and a page that keeps killing it leaves a blank page.
    void renderProcessDeath()
    {
        TemporaryWorkingDirectory library;
        writeOneBook(library.path(), flatContents(1));
        writeFile(library.filePath(QStringLiteral("Library/B/0.htm")), cp1251(QStringLiteral("<p>Глава</p>")));
        MessageBoxRecorder boxes;
        TfrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.LibBooks->expand(index(window, {0}));
        window.LibBooks->expand(index(window, {0, 0}));
        QWebEngineView *view = webView(window.BookView);
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        QSignalSpy died(view->page(), &QWebEnginePage::renderProcessTerminated);
        window.LibBooks->setCurrentIndex(index(window, {0, 0, 0}));
        QTRY_COMPARE(loaded.size(), 1);
        const QString page = window.BookView->LocationURL();
        QVERIFY(page.endsWith(QStringLiteral("/Library/B/0.htm")));

        // Each death of the render process brings the page back in a new one.
        const auto pageShownAgain = [&](const auto &bringDown) {
            const qint64 pid = view->page()->renderProcessPid();
            const qsizetype deaths = died.size();
            const qsizetype loads = loaded.size();
            bringDown();
            return QTest::qWaitFor(
                       [&] { return died.size() > deaths && loaded.size() > loads && loaded.last().at(0).toBool(); })
                   && window.BookView->LocationURL() == page && view->page()->renderProcessPid() != pid;
        };
        const auto endRenderProcess = [&] { QVERIFY(endProcess(view->page()->renderProcessPid())); };
#ifndef Q_OS_UNIX
        QSKIP("this platform cannot end the render process");
#endif
        QVERIFY(pageShownAgain(endRenderProcess));
        // A link that crashes the renderer, from a page the viewer opened anew.
        window.BookView->Navigate2(window.library().filePath(QStringLiteral("Library\\B\\0.htm")));
        QVERIFY(pageShownAgain([&] { view->setUrl(QUrl(QStringLiteral("chrome://crash"))); }));

        // A second death before another page is asked for leaves a blank page.
        const qsizetype deaths = died.size();
        endRenderProcess();
        QTRY_COMPARE(died.size(), deaths + 1);
        QTRY_COMPARE(window.BookView->LocationURL(), QStringLiteral("about:blank"));
        QTRY_VERIFY(view->page()->renderProcessPid() > 0);

        // The program runs on: the next selection shows its page.
        window.LibBooks->setCurrentIndex(index(window, {0}));
        QTRY_VERIFY(window.BookView->LocationURL().endsWith(QStringLiteral("/brimvel_library.htm")));
        QTRY_VERIFY(loaded.last().at(0).toBool());
        QCOMPARE(boxes.boxes.size(), 0);
    }

    // Special files in place of library files are refused at once, with a
    // message of their own, and gigabytes of zero bytes are never read. In
    // place of the store or its lock file they are left as they are, and the
    // store's message names them, once.
    void specialFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("message");
        const QString catalogue = QStringLiteral("books.xml");
        const QString contents = QStringLiteral("Library/B/sod.btf");
        const QString notRegular = QStringLiteral("Not a regular file.");
        const QString lock = storePath() + QStringLiteral(".lock");
        const QString lockFailure = QStringLiteral("Failed to set data for 'FormVersion' in %1.").arg(lock);
        QTest::newRow("FIFO as the catalogue") << catalogue << "fifo" << notRegular;
        QTest::newRow("/dev/zero as the catalogue") << catalogue << "/dev/zero" << notRegular;
        QTest::newRow("symlink loop as the catalogue")
            << catalogue << "loop" << QStringLiteral("Too many levels of symbolic links.");
        QTest::newRow("4 GB of zero bytes as the catalogue")
            << catalogue << "4294967296"
            << QStringLiteral("The catalogue file is larger than 1024 MB, more than the data-packet engine can hold.");
        QTest::newRow("500 MB of zero bytes as the catalogue")
            << catalogue << "524288000" << QStringLiteral("Invalid data packet: NUL byte at offset 0.");
        QTest::newRow("FIFO as a contents file") << contents << "fifo" << notRegular;
        QTest::newRow("/dev/urandom as a contents file") << contents << "/dev/urandom" << notRegular;
        QTest::newRow("directory as a contents file")
            << contents << "directory" << QStringLiteral("File access denied.");
        QTest::newRow("FIFO as the store")
            << storePath() << "fifo"
            << QStringLiteral("Failed to create key \\Software\\Brimvel\\Library in %1.").arg(storePath());
        QTest::newRow("directory as the store's lock file") << lock << "directory" << lockFailure;
        QTest::newRow("FIFO as the store's lock file") << lock << "fifo" << lockFailure;
    }

    void specialFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, what);
        QFETCH(QString, message);
        TemporaryWorkingDirectory library;
        writeOneBook(library.path(), flatContents(1));
        file = QDir(library.path()).filePath(file);
        putInPlace(file, what);
        const auto removeLock = qScopeGuard([&] { QFile::remove(file) || QDir().rmdir(file); });
        MessageBoxRecorder boxes;
        {
            TfrmMain window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            if (window.tree().size() > 0) {
                window.LibBooks->expand(index(window, {0}));
                window.LibBooks->expand(index(window, {0, 0}));
            }
            window.close();
        }
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).text, message);
        QVERIFY(QFileInfo(file).exists() || what == QLatin1String("loop"));
    }

    // Hostile pages are indexed as far as they can be read, without a crash
    // or a hang: the word at their start is found, where there is one.
    void hostilePagesInTheIndex_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("found");
        const QByteArray duel = "<p>\xe4\xf3\xfd\xeb\xfc ";  // "дуэль" in Windows-1251
        QTest::newRow("invalid bytes") << duel + "\x98\xff\xc0\x80</p><p>&#xD800;&#0;&#99999999;" << QString() << 1;
        QTest::newRow("NUL bytes") << duel + QByteArray(1000, '\0') + "</p>" << QString() << 1;
        QTest::newRow("deep nesting") << duel + QByteArray("<div>").repeated(100000) << QString() << 1;
        QTest::newRow("50 MB page") << duel + QByteArray("a ").repeated(qsizetype(25) * 1024 * 1024) << QString() << 1;
        QTest::newRow("FIFO as a page") << QByteArray() << "fifo" << 0;
        QTest::newRow("directory as a page") << QByteArray() << "directory" << 0;
    }

    void hostilePagesInTheIndex()
    {
        QFETCH(QByteArray, page);
        QFETCH(QString, what);
        QFETCH(int, found);
        TemporaryWorkingDirectory library;
        writeOneBook(library.path(), flatContents(1));
        const QString file = library.filePath(QStringLiteral("Library/B/0.htm"));
        what.isEmpty() ? writeFile(file, page) : putInPlace(file, what);
        Library opened(library.path());
        opened.readCatalogue();
        const QString index = FullTextIndex::fileFor(library.path());
        const std::atomic_bool stop = false;
        QCOMPARE(IndexUpdate(opened, index).run(stop, {}).books, 1);
        QCOMPARE(FullTextIndex(index).search(QStringLiteral("дуэль"), 10).total, qsizetype(found));
    }

    // Two viewers on one store: the find dialog of one stays open while the
    // other searches; closing it keeps the other's text in the history.
    void historiesOfTwoViewersMerge_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("history");
        QTest::newRow("closed with a search") << true << QStringList{"Толстой", "Чехов"};
        QTest::newRow("cancelled") << false << QStringList{"Чехов"};
    }

    void historiesOfTwoViewersMerge()
    {
        QFETCH(bool, accepted);
        QFETCH(QStringList, history);
        TemporaryWorkingDirectory library;
        writeOneBook(library.path(), flatContents(1));
        MessageBoxRecorder boxes;
        TfrmMain first;
        TfrmMain second;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<TfrmFind *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            findThroughDialog(second, QStringLiteral("Чехов"));
            dialog->cmbMask->setEditText(QStringLiteral("Толстой"));
            accepted ? dialog->accept() : dialog->reject();
        });
        first.actFind->trigger();
        QCOMPARE(storedHistory(), history);
    }

    // The viewer itself under a low limit of open files: a soft limit is
    // raised and the viewer starts, and a signal to end it closes its window
    // as the user would, saving the session; a hard limit is reported
    // before the page engine starts.
    void lowOpenFileLimitsAndSignals_data()
    {
        QTest::addColumn<int>("hardLimit");
        QTest::addColumn<int>("signal");
#ifdef Q_OS_UNIX
        QTest::newRow("soft limit 32, SIGTERM") << -1 << SIGTERM;
        QTest::newRow("soft limit 32, SIGHUP") << -1 << SIGHUP;
        QTest::newRow("soft limit 32, SIGINT") << -1 << SIGINT;
        QTest::newRow("hard limit 32") << 32 << 0;
#endif
    }

    void lowOpenFileLimitsAndSignals()
    {
        QFETCH(int, hardLimit);
        QFETCH(int, signal);
#ifdef Q_OS_UNIX
        TemporaryWorkingDirectory library;
        writeOneBook(library.path(), flatContents(1));
        QProcess viewer;
        viewer.setChildProcessModifier([hardLimit] {
            rlimit limit{};
            ::getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = 32;
            limit.rlim_max = hardLimit > 0 ? rlim_t(hardLimit) : limit.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &limit);
        });
        viewer.start(QStringLiteral(BRIMVEL_VIEWER), {});
        const auto stop = qScopeGuard([&] {
            viewer.kill();
            viewer.waitForFinished();
        });
        QByteArray errors;
        if (hardLimit > 0) {
            QTRY_VERIFY_WITH_TIMEOUT(
                (errors += viewer.readAllStandardError())
                    .startsWith("Only 32 files may be open at once; the page viewer needs at least 256.\n"),
                30000);
            return;
        }
        // Restoring the shown window's placement creates the store.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(storePath()), 30000);
        QCOMPARE(::kill(pid_t(viewer.processId()), signal), 0);
        QVERIFY(viewer.waitForFinished(30000));
        QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
        QVERIFY(storedValue(QStringLiteral("main/NormPos")).isValid());
        QVERIFY(!viewer.readAllStandardError().contains("Only"));
#endif
    }

    // A failed allocation is reported as "Out of memory.": by the viewer's
    // handlers, which run on, and by the tool, which exits with 2.
    void outOfMemory()
    {
        MessageBoxRecorder boxes;
        runHandler([] { throw std::bad_alloc(); });
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Out of memory."));
#if !defined(Q_OS_UNIX) || defined(__SANITIZE_ADDRESS__)
        QSKIP("no address-space limit to run the tool in");
#else
        TemporaryWorkingDirectory library;
        writeFile(library.filePath(QStringLiteral("books.xml")), millionRows());
        QProcess tool;
        tool.setChildProcessModifier([] {
            const rlimit limit{rlim_t(200) << 20, rlim_t(200) << 20};
            ::setrlimit(RLIMIT_AS, &limit);
        });
        tool.start(QStringLiteral(BRIMVEL_LIBRARY_TOOL), {QStringLiteral("tree")});
        QVERIFY(tool.waitForFinished(60000));
        QCOMPARE(tool.exitCode(), 2);
        QCOMPARE(tool.readAllStandardError(), QByteArray("Out of memory.\n"));
#endif
    }

    // A page's script tries every way out of its library folder; each is
    // refused, while a file of the library is read as usual.
    void pagesStayInTheirLibrary_data()
    {
        QTest::addColumn<QString>("script");  // a promise of what the page got
        QTest::addColumn<QString>("outcome");
        const QString fetch = QStringLiteral("fetch('%1').then(r => r.text())");
        QTest::newRow("a file of the library") << fetch.arg("inside.txt") << "inside";
        QTest::newRow("a file outside") << fetch.arg("../../../../secret.txt") << "refused";
        QTest::newRow("a link out of the library") << fetch.arg("link.txt") << "refused";
        QTest::newRow("a directory listing") << fetch.arg("./") << "refused";
        QTest::newRow("the catalogue above, by XMLHttpRequest")
            << "new Promise((ok, no) => { const x = new XMLHttpRequest(); x.open('GET', '../../../../books.xml');"
               " x.onload = () => ok(x.responseText); x.onerror = no; x.send(); })"
            << "refused";
        QTest::newRow("a WebSocket") << "new Promise((ok, no) => { const s = new WebSocket('ws://127.0.0.1:PORT/');"
                                        " s.onopen = () => ok('open'); s.onerror = no; })"
                                     << "refused";
        QTest::newRow("a pop-up window") << "window.open('inside.txt') ? 'opened' : Promise.reject()"
                                         << "refused";
        QTest::newRow("the clipboard") << "navigator.clipboard.writeText('leak').then(() => 'written')"
                                       << "refused";
    }

    void pagesStayInTheirLibrary()
    {
        QFETCH(QString, script);
        QFETCH(QString, outcome);
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        QGuiApplication::clipboard()->setText(QStringLiteral("clipboard"));
        TemporaryWorkingDirectory outer;
        const QString page = writePageLibrary(outer);
        const QDir book = QFileInfo(page).dir();
        writeFile(outer.filePath(QStringLiteral("secret.txt")), "secret");
        writeFile(outer.filePath(QStringLiteral("books.xml")), "secret");
        writeFile(book.filePath(QStringLiteral("inside.txt")), "inside");
        QVERIFY(QFile::link(outer.filePath(QStringLiteral("secret.txt")), book.filePath(QStringLiteral("link.txt"))));
        script.replace(QStringLiteral("PORT"), QString::number(listener.serverPort()));
        writeFile(page, QStringLiteral("<script>Promise.resolve().then(() => %1).then(r => document.title = r,"
                                       " () => document.title = 'refused');</script>")
                            .arg(script)
                            .toUtf8());
        TfrmMain window;
        selectPage(window);
        QTRY_COMPARE(webView(window.BookView)->title(), outcome);
        QVERIFY(!listener.hasPendingConnections());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("clipboard"));
    }

    // Markup in library text is shown as written, never rendered.
    void libraryTextIsShownPlain_data()
    {
        QTest::addColumn<QByteArray>("catalogue");
        QTest::addColumn<QString>("shown");  // in an error box, or else in the book's tooltip
        const QByteArray value = "&lt;b&gt;x&lt;/b&gt;&lt;img src=/dev/zero&gt;";
        const QString markup = QStringLiteral("<b>x</b><img src=/dev/zero>");
        const QByteArray cutOff(200, 'x');  // within the field's 255 characters
        QTest::newRow("an error box") << packet("<ROW RecId=\"" + value + "\"/>")
                                      << "Invalid value '" + markup + "' for field 'RecId' (Integer) in row 1.";
        QTest::newRow("a tooltip") << packet(row("y", value + cutOff)) << markup + cutOff;
    }

    void libraryTextIsShownPlain()
    {
        QFETCH(QByteArray, catalogue);
        QFETCH(QString, shown);
        TemporaryWorkingDirectory library;
        writeFile(library.filePath(QStringLiteral("books.xml")), catalogue);
        QStringList boxes;
        setMessageBoxObserver([&boxes](QMessageBox &box) {
            boxes.append(shownText(box.text(), box.textFormat()));
            QTimer::singleShot(0, &box, &QMessageBox::accept);
        });
        const auto stopObserving = qScopeGuard([] { setMessageBoxObserver({}); });
        TfrmMain window;
        if (!boxes.isEmpty()) {
            QCOMPARE(boxes, QStringList{shown});
            return;
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.LibBooks->expand(index(window, {0}));
        const QPoint at = window.LibBooks->visualRect(index(window, {0, 0})).center();
        QHelpEvent help(QEvent::ToolTip, at, window.LibBooks->viewport()->mapToGlobal(at));
        QApplication::sendEvent(window.LibBooks->viewport(), &help);
        QTRY_COMPARE(shownText(QToolTip::text()), shown);
    }

    // A page that cannot be shown, or may not be, never reaches the page
    // engine: a notice of ours stands in its place.
    void unreadablePagesShowANotice_data()
    {
        QTest::addColumn<QString>("target");  // what the page is a link to; none: a directory
        QTest::addColumn<QString>("notice");
        const QString refused = QStringLiteral("Страница не может быть открыта: ");
        QTest::newRow("missing") << "missing" << QStringLiteral("Страница не найдена: ");
        QTest::newRow("a directory") << QString() << refused;
        QTest::newRow("a link out of the library") << "../../../../outside.htm" << refused;
#ifdef Q_OS_UNIX
        QTest::newRow("a link to /dev/zero") << "/dev/zero" << refused;
        QTest::newRow("a FIFO") << "fifo" << refused;
#endif
    }

    void unreadablePagesShowANotice()
    {
        QFETCH(QString, target);
        QFETCH(QString, notice);
        TemporaryWorkingDirectory outer;
        const QString page = writePageLibrary(outer);
        writeFile(outer.filePath(QStringLiteral("outside.htm")), "<p>outside</p>");
        if (target.isEmpty())
            QVERIFY(QDir().mkpath(page));
#ifdef Q_OS_UNIX
        else if (target == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(page).constData(), 0600), 0);
#endif
        else if (target != QLatin1String("missing"))
            QVERIFY(QFile::link(target, page));
        TfrmMain window;
        selectPage(window);
        QTRY_COMPARE(pageText(window.BookView), notice + page);
        QCOMPARE(QUrl(window.BookView->LocationURL()).toLocalFile(), page);
    }

    // A script shows one dialog per load of its page, and none once the user
    // refuses more, however often the page loads itself anew.
    void scriptDialogsAreBounded_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("refuseMore");
        QTest::addColumn<int>("dialogs");
        const QString reloads =
            QStringLiteral("const n = Number(location.hash.slice(1)); alert(n);"
                           " if (n < 3) { location.hash = n + 1; location.reload(); } else document.title = 'done';");
        QTest::newRow("dialogs in a loop")
            << "for (let i = 0; i < 30; ++i) { alert(i); confirm(i); prompt(i); } document.title = 'done';" << false
            << 1;
        QTest::newRow("a dialog on every load") << reloads << false << 4;
        QTest::newRow("a dialog on every load, more refused") << reloads << true << 1;
    }

    void scriptDialogsAreBounded()
    {
        QFETCH(QString, script);
        QFETCH(bool, refuseMore);
        QFETCH(int, dialogs);
        TemporaryWorkingDirectory outer;
        writeFile(writePageLibrary(outer), QStringLiteral("<script>%1</script>").arg(script).toUtf8());
        int shown = 0;
        setMessageBoxObserver([&shown, refuseMore](QMessageBox &box) {
            ++shown;
            box.checkBox()->setChecked(refuseMore);
            QTimer::singleShot(0, &box, &QMessageBox::accept);
        });
        const auto stopObserving = qScopeGuard([] { setMessageBoxObserver({}); });
        TfrmMain window;
        selectPage(window);
        QTRY_COMPARE(webView(window.BookView)->title(), QStringLiteral("done"));
        QCOMPARE(shown, dialogs);
    }

    // A library in a folder whose name is not valid UTF-8 shows its tree
    // and its pages like any other.
    void folderNameThatIsNotUtf8()
    {
#ifndef Q_OS_UNIX
        QSKIP("file names are characters on this platform");
#endif
        TemporaryWorkingDirectory outer;
        writeFile(writePageLibrary(outer), "page");
        const std::string name = QFile::encodeName(outer.path()).toStdString() + "/x/lib\xff";
        std::filesystem::rename(QFile::encodeName(outer.filePath("x/library")).toStdString(), name);
        // The temporary folder's own clean-up cannot name this folder.
        const auto removeFolder = qScopeGuard([&name] { std::filesystem::remove_all(name); });
        std::filesystem::current_path(name);
        TfrmMain window;
        selectPage(window);
        QTRY_COMPARE(pageText(window.BookView), QStringLiteral("page"));
    }

    // A page whose script never ends loses its render process and leaves a
    // blank page and a word in the status bar; the next page shows, and a
    // bookmark tab beside it runs on undisturbed.
    void endlessScriptsAreEnded()
    {
#ifndef Q_OS_UNIX
        QSKIP("this platform cannot end the render process");
#endif
        TemporaryWorkingDirectory outer;
        const QString page = writePageLibrary(outer);
        writeFile(page, "page");
        TfrmMain window;
        selectPage(window);
        window.actNewBookmark->trigger();
        auto *bookmark = window.pageBrowsers->widget(1)->findChild<TWebBrowser *>();
        QTRY_COMPARE(pageText(bookmark), QStringLiteral("page"));
        QSignalSpy bookmarkDied(webView(bookmark)->page(), &QWebEnginePage::renderProcessTerminated);
        const QString path = window.library().filePath(QStringLiteral("Library\\B\\0.htm"));
        writeFile(page, "<script>for (;;) {}</script>");
        window.BookView->Navigate2(path);
        QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(),
                                  QStringLiteral("Страница перестала отвечать и была закрыта"), 30000);
        QTRY_COMPARE(window.BookView->LocationURL(), QStringLiteral("about:blank"));
        writeFile(page, "again");
        window.BookView->Navigate2(path);
        QTRY_COMPARE(pageText(window.BookView), QStringLiteral("again"));
        QCOMPARE(pageText(bookmark), QStringLiteral("page"));
        QCOMPARE(bookmarkDied.size(), 0);
    }
};

BRIMVEL_GUI_TEST_MAIN(TestHostile)
#include "tst_hostile.moc"

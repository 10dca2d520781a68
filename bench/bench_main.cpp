// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the viewer where libraries are large: the start-up (the
// catalogue's bare XML parse, the main window's creation, which reads the
// catalogue and builds the author and book levels, and the time until the
// window is on screen), what restoring a session adds to it, and the
// loading of a book's contents. Prints medians
// of several runs and the peak memory.

#include "benchsupport.h"
#include "fulltextbench.h"
#include "librarygen.h"

#include "core/contents.h"
#include "core/session.h"
#include "core/settings.h"
#include "ui/fMain.h"
#include "ui/librarymodel.h"
#include "ui/platform.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// The proportional memory (PSS) in MiB of the process and all processes
// below it, the web engine's renderers among them, where the system tells it.
double processTreeMemoryMiB(const QByteArray &pid = QByteArray::number(QCoreApplication::applicationPid()))
{
    double total = 0;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(QString::fromLatin1(pid)));
    if (rollup.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : rollup.readAll().split('\n')) {
            if (line.startsWith("Pss:"))
                total += line.mid(4).trimmed().split(' ').first().toDouble() / 1024;
        }
    }
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(QString::fromLatin1(pid)));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task + QStringLiteral("/children")));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &child : children.readAll().split(' ')) {
            if (!child.trimmed().isEmpty())
                total += processTreeMemoryMiB(child.trimmed());
        }
    }
    return total;
}

// Opens the window on `directory` and waits until it is on screen.
TfrmMain *openWindow(const QString &directory)
{
    QDir::setCurrent(directory);
    auto *window = new TfrmMain;
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        std::printf("the window was not shown\n");
    return window;
}

void benchStartup(int books, int authors, int runs, const QString &kept)
{
    QTemporaryDir temporary;
    const QDir library(kept.isEmpty() ? temporary.path() : kept);
    if (!library.exists(QStringLiteral("books.xml")))
        generateLibrary(library.path(), books, authors);
    std::printf("start-up: %d books by %d authors, catalogue %.1f MiB\n", books, authors,
                double(QFileInfo(library.filePath(QStringLiteral("books.xml"))).size()) / (1024 * 1024));

    QFile catalogue(library.filePath(QStringLiteral("books.xml")));
    catalogue.open(QIODevice::ReadOnly);
    const QByteArray bytes = catalogue.readAll();
    std::vector<double> parse, create, shown, faults;
    for (int run = 0; run < runs; ++run) {
        parse.push_back(milliseconds([&] {
            pugi::xml_document document;
            document.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_default, pugi::encoding_utf8);
        }));
        QDir::setCurrent(library.path());
        const long faultsBefore = pageFaults();
        QElapsedTimer sinceStart;
        sinceStart.start();
        TfrmMain *window = nullptr;
        create.push_back(milliseconds([&] { window = new TfrmMain; }));
        window->show();
        if (!QTest::qWaitForWindowExposed(window))
            std::printf("the window was not shown\n");
        shown.push_back(double(sinceStart.nsecsElapsed()) / 1e6);
        faults.push_back(double(pageFaults() - faultsBefore));
        if (run == 0)
            std::printf("tree: %lld nodes, %d authors\n", qlonglong(window->tree().size()),
                        window->tree().childCount(LibraryTree::NoNode));
        delete window;
    }
    report("bare XML parse (pugixml)", parse);
    report("window creation with FormCreate", create);
    report("until the window is shown", shown);
    std::printf("shown / bare parse: %.1f\n", median(shown) / median(parse));
    std::printf("page faults until shown: median %.0f\n", median(faults));
}

// Sets the restore switch in the settings store.
void setRestorePages(bool restore)
{
    SettingsStore store(QStringLiteral("\\Software\\Brimvel\\Library"), SettingsStore::Access::Update);
    ReadingPreferences preferences = readPreferences(store);
    preferences.restorePages = restore;
    writePreferences(store, preferences, {});
    store.commit();
}

// Closes a window that shows the last section of the last chapter of the
// book `bookPath`, so that the session kept for the library selects it;
// returns the section's address.
EntryAddress keepDeepSelection(const QString &directory, const QString &bookPath)
{
    TfrmMain *window = openWindow(directory);
    const LibraryTree &tree = window->tree();
    LibraryTree::Node book = LibraryTree::NoNode;
    for (LibraryTree::Node node = tree.firstRoot(); node != LibraryTree::NoNode && book == LibraryTree::NoNode;
         node = tree.nextInPreorder(node))
        if (tree.level(node) == 1 && tree.info(node)->FPath == bookPath)
            book = node;
    window->expandTo(window->library().entryAddress(book));
    window->LibBooks->expand(window->libraryModel()->indexOf(book));  // loads the contents
    const LibraryTree::Node chapter = tree.child(book, tree.childCount(book) - 1);
    const LibraryTree::Node section = tree.child(chapter, tree.childCount(chapter) - 1);
    window->showMatch(section);
    std::printf("kept selection: %s (level %d)\n", qPrintable(tree.caption(section)), tree.level(section));
    EntryAddress address = window->library().entryAddress(section);
    window->close();
    delete window;
    return address;
}

// The start with the session of a selection deep inside one book of
// `entries` entries restored, against the plain start, back to back in
// each run. The settings store is a temporary one.
void benchRestore(int books, int authors, int entries, int runs)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QTemporaryDir library;
    generateLibrary(library.path(), books, authors);
    const QString bookPath = QStringLiteral("book%1").arg(books / 2);
    generateContents(library.filePath(QStringLiteral("Library/%1/sod.btf").arg(bookPath)), entries);
    std::printf("restore: %d books by %d authors, the selection in a book of %d entries\n", books, authors, entries);
    const EntryAddress kept = keepDeepSelection(library.path(), bookPath);
    // Creation runs FormCreate, which reads the catalogue and restores;
    // until shown adds the first paint.
    std::vector<double> plain, restored, plainCreate, restoredCreate;
    for (int run = 0; run < runs; ++run) {
        for (const bool restore : {false, true}) {
            setRestorePages(restore);
            QDir::setCurrent(library.path());
            QElapsedTimer sinceStart;
            sinceStart.start();
            TfrmMain *window = nullptr;
            (restore ? restoredCreate : plainCreate).push_back(milliseconds([&] { window = new TfrmMain; }));
            window->show();
            if (!QTest::qWaitForWindowExposed(window))
                std::printf("the window was not shown\n");
            (restore ? restored : plain).push_back(double(sinceStart.nsecsElapsed()) / 1e6);
            if (restore && window->selectedNode() == LibraryTree::NoNode)
                std::printf("the selection was not restored\n");
            delete window;
        }
    }
    // The restore's own steps on a window just made: locating the entry,
    // which loads its book and expands the path, and selecting it.
    setRestorePages(false);
    std::vector<double> steps;
    for (int run = 0; run < runs; ++run) {
        QDir::setCurrent(library.path());
        auto *window = new TfrmMain;
        steps.push_back(milliseconds([&] { window->showMatch(window->expandTo(kept)); }));
        delete window;
    }
    report("locating and selecting the entry", steps);
    report("plain window creation", plainCreate);
    report("window creation with the restore", restoredCreate);
    report("plain start until shown", plain);
    report("start with the restore until shown", restored);
    const auto added = [](const std::vector<double> &with, const std::vector<double> &without) {
        std::vector<double> differences(with.size());
        std::transform(with.begin(), with.end(), without.begin(), differences.begin(), std::minus<>());
        return median(differences);
    };
    std::printf("added by the restore: creation %.1f ms, until shown %.1f ms (medians of the runs' differences)\n",
                added(restoredCreate, plainCreate), added(restored, plain));
}

void benchContents(int entries, int runs)
{
    QTemporaryDir library;
    generateLibrary(library.path(), 1, 1);
    const qint64 lines = generateContents(library.filePath(QStringLiteral("Library/book1/sod.btf")), entries);
    std::printf("contents: one book of %d entries, %lld lines\n", entries, qlonglong(lines));
    std::vector<double> shown;
    for (int run = 0; run < runs; ++run) {
        TfrmMain *window = openWindow(library.path());
        QTreeView *tree = window->LibBooks;
        const QModelIndex author = tree->model()->index(0, 0);
        tree->expand(author);
        const QModelIndex book = tree->model()->index(0, 0, author);
        shown.push_back(milliseconds([&] {
            tree->expand(book);
            tree->viewport()->repaint();
        }));
        delete window;
    }
    report("expanding the book until it is drawn", shown);

    // One forward pass: the time per line stays flat as files grow.
    for (int size : {1000, 10000, 100000, 1000000}) {
        const QString path = QStringLiteral("Library/scale%1/sod.btf").arg(size);
        // A generated entry takes 5.2 lines.
        const qint64 scaleLines = generateContents(library.filePath(path), size * 10 / 52);
        std::vector<double> load;
        for (int run = 0; run < runs; ++run) {
            LibraryTree tree;
            const LibraryTree::Node book = tree.addRoot(QStringLiteral("book"));
            load.push_back(milliseconds([&] { LoadContents(library.filePath(path), addingTo(tree), book); }));
        }
        std::printf("LoadContents of %8lld lines: median %8.2f ms, %6.1f ns per line\n", qlonglong(scaleLines),
                    median(load), median(load) * 1e6 / double(scaleLines));
    }
}

// Memory of the program with bookmark tabs open on the pages of the library
// in `directory`, one tab per contents entry, as many as `counts` say.
void benchBookmarks(const QString &directory, const QList<int> &counts)
{
    TfrmMain *window = openWindow(directory);
    QTreeView *tree = window->LibBooks;
    tree->expandAll();
    for (int round = 0; round < 3; ++round)  // books load as they expand
        tree->expandAll();
    std::vector<QModelIndex> entries;
    for (QModelIndex index = tree->model()->index(0, 0); index.isValid(); index = tree->indexBelow(index)) {
        if (window->tree().level(window->libraryModel()->node(index)) >= 2)
            entries.push_back(index);
    }
    std::printf("bookmarks: %zu contents entries in %s\n", entries.size(), qPrintable(directory));
    double withoutBookmarks = 0;
    for (int count : counts) {
        while (window->bookmarkCount() < count && size_t(window->bookmarkCount()) < entries.size()) {
            tree->setCurrentIndex(entries[size_t(window->bookmarkCount())]);
            window->actNewBookmark->trigger();
        }
        QTest::qWait(4000);  // let the pages load and render
        const double memory = processTreeMemoryMiB();
        if (window->bookmarkCount() == 0)
            withoutBookmarks = memory;
        std::printf("%3d bookmark tabs: %7.1f MiB (program and web engine processes)", window->bookmarkCount(), memory);
        if (window->bookmarkCount() > 0)
            std::printf(", %.1f MiB per tab", (memory - withoutBookmarks) / window->bookmarkCount());
        std::printf("\n");
    }
    delete window;
}

// A fruitless Find over a library of `books` books of `entries` entries
// each: it loads and expands every book.
// With `kept` naming a directory, the library is generated there once and
// reused by later runs of the benchmark.
void benchSearch(int books, int entries, int runs, const QString &kept)
{
    QTemporaryDir temporary;
    const QDir library(kept.isEmpty() ? temporary.path() : kept);
    if (!library.exists(QStringLiteral("books.xml"))) {
        generateLibrary(library.path(), books, std::max(1, books / 5));
        for (int book = 1; book <= books; ++book)
            generateContents(library.filePath(QStringLiteral("Library/book%1/sod.btf").arg(book)), entries);
    }
    std::printf("search: %d books of %d entries\n", books, entries);
    const QString absent = QStringLiteral("нет такого текста");

    setMessageBoxObserver([](QMessageBox &box) { QTimer::singleShot(0, &box, &QMessageBox::accept); });
    std::vector<double> find, grep;
    for (int run = 0; run < runs; ++run) {
        TfrmMain *window = openWindow(library.path());
        find.push_back(milliseconds([&] { window->SearchFirst(absent); }));
        if (run == 0) {
            std::printf("tree after the search: %lld nodes\n", qlonglong(window->tree().size()));
            constexpr int Steps = 20;
            std::vector<double> scroll;
            scroll.reserve(Steps);
            for (int step = 0; step < Steps; ++step) {
                scroll.push_back(milliseconds([&] {
                    window->LibBooks->verticalScrollBar()->setValue(
                        step * window->LibBooks->verticalScrollBar()->maximum() / Steps);
                    window->LibBooks->viewport()->repaint();
                }));
            }
            report("scrolling the expanded tree one step", scroll);
        }
        delete window;
        grep.push_back(milliseconds([&] {
            QProcess process;
            process.setWorkingDirectory(library.path());
            process.start(QStringLiteral("grep"),
                          {QStringLiteral("-c"), QStringLiteral("-r"), QStringLiteral("--include=sod.btf"), absent,
                           QStringLiteral("Library")});
            process.waitForFinished(-1);
        }));
    }
    setMessageBoxObserver({});
    report("fruitless Find", find);
    report("grep -c over the contents files", grep);
    std::printf("Find / grep: %.1f\n", median(find) / median(grep));
}

// brimvel-library check on one book of `entries` entries whose page files
// exist with their names in upper case while the contents file names them
// in lower case: every page is found only by ignoring letter case.
void benchCheck(int entries, int runs)
{
    QTemporaryDir library;
    generateLibrary(library.path(), 1, 1);
    generateContents(library.filePath(QStringLiteral("Library/book1/sod.btf")), entries);
    QDir().mkpath(library.filePath(QStringLiteral("Library/book1/TEXT")));
    for (int page = 0; page < entries; ++page) {
        QFile file(library.filePath(QStringLiteral("Library/book1/TEXT/P%1.HTM").arg(page)));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(file.fileName()));
    }
    std::printf("check: one book of %d entries, page names in another letter case\n", entries);
    std::vector<double> check;
    check.reserve(size_t(runs));
    for (int run = 0; run < runs; ++run) {
        check.push_back(milliseconds([&] {
            QProcess process;
            process.start(QStringLiteral(BRIMVEL_LIBRARY_TOOL),
                          {QStringLiteral("-C"), library.path(), QStringLiteral("check")});
            process.waitForFinished(-1);
            if (run == 0)
                std::printf("%s", process.readAllStandardOutput().right(200).constData());
        }));
    }
    report("brimvel-library check", check);
}

}  // namespace

int main(int argc, char *argv[])
{
    prepareWebEngine();
    TApplication application(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Benchmarks of the library viewer on generated libraries"));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("what"), QStringLiteral("startup (default), restore, contents, search, bookmarks, check, or the "
                                               "full-text index: index-build, index-fresh, index-change, "
                                               "index-query, index (all four)"));
    parser.addOption({QStringLiteral("library"), QStringLiteral("Library directory for bookmarks."),
                      QStringLiteral("dir"), QStringLiteral(SAMPLE_LIBRARY_DIR)});
    parser.addOption({QStringLiteral("books"), QStringLiteral("Books in the catalogue."), QStringLiteral("n"),
                      QStringLiteral("100000")});
    parser.addOption({QStringLiteral("authors"), QStringLiteral("Authors in the catalogue."), QStringLiteral("n"),
                      QStringLiteral("20000")});
    parser.addOption({QStringLiteral("entries"), QStringLiteral("Entries in the contents file."), QStringLiteral("n"),
                      QStringLiteral("20000")});
    parser.addOption({QStringLiteral("pages"), QStringLiteral("Pages per book for the full-text index."),
                      QStringLiteral("n"), QStringLiteral("50")});
    parser.addOption(
        {QStringLiteral("keep"),
         QStringLiteral("Directory to keep the generated library in, and to take it from when it is there."),
         QStringLiteral("dir")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Runs of each measurement."), QStringLiteral("n"),
                      QStringLiteral("5")});
    parser.process(application);
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    const QString what = parser.positionalArguments().value(0, QStringLiteral("startup"));

    if (what.startsWith(QLatin1String("index")))
        benchFullText(what, std::max(1, parser.value(QStringLiteral("books")).toInt()),
                      std::max(10, parser.value(QStringLiteral("pages")).toInt()), runs,
                      parser.value(QStringLiteral("keep")));
    else if (what == QLatin1String("search"))
        benchSearch(std::max(1, parser.value(QStringLiteral("books")).toInt()),
                    std::max(10, parser.value(QStringLiteral("entries")).toInt()), runs,
                    parser.value(QStringLiteral("keep")));
    else if (what == QLatin1String("bookmarks"))
        benchBookmarks(parser.value(QStringLiteral("library")), {0, 10, 50});
    else if (what == QLatin1String("check"))
        benchCheck(std::max(10, parser.value(QStringLiteral("entries")).toInt()), runs);
    else if (what == QLatin1String("restore"))
        benchRestore(std::max(1, parser.value(QStringLiteral("books")).toInt()),
                     std::max(1, parser.value(QStringLiteral("authors")).toInt()),
                     std::max(10, parser.value(QStringLiteral("entries")).toInt()), runs);
    else if (what == QLatin1String("contents"))
        benchContents(std::max(10, parser.value(QStringLiteral("entries")).toInt()), runs);
    else
        benchStartup(std::max(1, parser.value(QStringLiteral("books")).toInt()),
                     std::max(1, parser.value(QStringLiteral("authors")).toInt()), runs,
                     parser.value(QStringLiteral("keep")));
    std::printf("peak memory: %.1f MiB\n", peakMemoryMiB());
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// brimvel-library run as a program, on the sample library and on libraries
// written here, and starting stand-ins for the viewer.

#include "testsupport.h"

#include "storesupport.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QScopeGuard>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

struct ToolRun
{
    int exitCode = -1;
    QStringList out;  // the lines of standard output
    QString err;
};

ToolRun finishedRun(QProcess &process)
{
    process.waitForFinished(-1);
    ToolRun run;
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    run.out = out.split(u'\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

ToolRun runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(BRIMVEL_LIBRARY_TOOL), arguments);
    return finishedRun(process);
}

ToolRun runOnSample(const QStringList &arguments)
{
    return runTool(QStringList{QStringLiteral("-C"), QStringLiteral(SAMPLE_LIBRARY_DIR)} + arguments);
}

struct Entry
{
    QString name, local;
};

// A contents file with `entries` on its top level, ending after the line
// `endAfter` when that is given, as a file cut short does.
QByteArray contentsFile(const QList<Entry> &entries, const QString &endAfter = {})
{
    QStringList lines{QStringLiteral("ITEMS{")};
    for (const Entry &entry : entries)
        lines << "ITEM{"
              << "NAME=" + entry.name << "LOCAL=" + entry.local << "ID=1"
              << "}";
    lines << "}";
    if (!endAfter.isEmpty())
        lines = lines.mid(0, lines.indexOf(endAfter) + 1);
    return cp1251(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

const QString Gogol = QStringLiteral("Гоголь Николай Васильевич");
const QString Pushkin = QStringLiteral("Пушкин Александр Сергеевич");

// A library with one book whose pages are missing in several ways, one
// without a contents file and one whose contents file breaks off in its
// third entry. Names are spelled as on Windows, in another letter case than
// on disk: the PATH "Povesti" and the page "Yarmarka.HTM".
void writeBrokenLibrary(const QString &directory)
{
    const QList<BookRecord> books = {
        {QStringLiteral("Гоголь"), QStringLiteral("Николай"), QStringLiteral("Васильевич"),
         QStringLiteral("Вечера на хуторе"), QStringLiteral("vechera")},
        {QStringLiteral("Гоголь"), QStringLiteral("Николай"), QStringLiteral("Васильевич"), QStringLiteral("Миргород"),
         QStringLiteral("mirgorod")},
        {QStringLiteral("Пушкин"), QStringLiteral("Александр"), QStringLiteral("Сергеевич"),
         QStringLiteral("Повести Белкина"), QStringLiteral("Povesti")},
    };
    const QDir library(directory);
    writeFile(library.filePath("books.xml"), cp1251(cataloguePacket(books)));
    writeFile(library.filePath("brimvel_library.htm"), "<html></html>");
    writeFile(library.filePath("Library/vechera/sod.btf"),
              contentsFile({{QStringLiteral("Майская ночь"), QStringLiteral("noch.htm")},
                            {QStringLiteral("Ночь перед Рождеством"), QStringLiteral("glavy\\rozhdestvo.htm")},
                            {QStringLiteral("Заколдованное место"), QStringLiteral("glavy/mesto.htm")},
                            {QStringLiteral("Сорочинская ярмарка"), QStringLiteral("Yarmarka.HTM")},
                            {QStringLiteral("Без страницы"), QString()}}));
    writeFile(library.filePath("Library/vechera/yarmarka.htm"), "<html></html>");
    QVERIFY(library.mkpath("Library/mirgorod"));
    writeFile(library.filePath("Library/povesti/sod.btf"),
              contentsFile({{QStringLiteral("Выстрел"), QStringLiteral("vystrel.htm")},
                            {QStringLiteral("Метель"), QStringLiteral("metel.htm")},
                            {QStringLiteral("Гробовщик"), QStringLiteral("grobovshchik.htm")}},
                           QStringLiteral("NAME=Гробовщик")));
    writeFile(library.filePath("Library/povesti/vystrel.htm"), "<html></html>");
    writeFile(library.filePath("Library/povesti/metel.htm"), "<html></html>");
}

// The exit status of the stand-ins for the viewer: a tool that ends with it
// has handed its process over to the viewer.
constexpr int StandInExitStatus = 7;

// A place to run view in: a copy of the tool in "tool", so that it looks
// for the viewer there, "path" for PATH, and "Моя библиотека", a directory
// with no library in it, which view leaves to the viewer. Stand-ins for the
// viewer record where they ran.
class ViewPlace
{
public:
    ViewPlace()
    {
        QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("tool")));
        QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("path")));
        QVERIFY(QDir(m_root.path()).mkpath(LibraryName));
        QVERIFY(
            QFile::copy(QStringLiteral(BRIMVEL_LIBRARY_TOOL), m_root.filePath(QStringLiteral("tool/brimvel-library"))));
    }

    // Puts a stand-in for the viewer into `directory`; it records the
    // directory it runs in, the number of its arguments and `directory`.
    void addViewer(const QString &directory)
    {
        const QString path = m_root.filePath(directory + QStringLiteral("/brimvel"));
        const QString script = QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$(pwd -P)\" \"$#\" '%1' > '%2'\nexit %3\n")
                                   .arg(directory, recordPath())
                                   .arg(StandInExitStatus);
        writeFile(path, script.toUtf8());
        QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner));
    }

    // `text` with "{root}" standing for the place's path.
    QString expanded(QString text) const { return text.replace(QStringLiteral("{root}"), m_root.path()); }

    // Runs the tool in `workingDirectory` (relative to the place), with
    // "{root}" in the arguments expanded.
    ToolRun run(QStringList arguments, const QString &workingDirectory) const
    {
        for (QString &argument : arguments)
            argument = expanded(argument);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), m_root.filePath(QStringLiteral("path")));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_root.filePath(workingDirectory));
        process.start(m_root.filePath(QStringLiteral("tool/brimvel-library")), arguments);
        return finishedRun(process);
    }

    // What the stand-in that ran recorded; nothing when none ran.
    QStringList record() const
    {
        QFile file(recordPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    QString canonicalPath(const QString &directory) const
    {
        return QFileInfo(m_root.filePath(directory)).canonicalFilePath();
    }

    inline static const QString LibraryName = QStringLiteral("Моя библиотека");

private:
    QString recordPath() const { return m_root.filePath(QStringLiteral("record")); }

    QTemporaryDir m_root;
};

}  // namespace

class TestLibraryTool : public QObject
{
    Q_OBJECT

    QTemporaryDir m_cache;  // the full-text index's home

private slots:
    void initTestCase() { qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8()); }

    void sampleLibrary()
    {
        const ToolRun tree = runOnSample({QStringLiteral("tree")});
        QCOMPARE(tree.exitCode, 0);
        QCOMPARE(tree.out.mid(0, 3), (QStringList{QStringLiteral("Народные сказки, мифы, легенды"),
                                                  QStringLiteral("  Пословицы и поговорки"),
                                                  QStringLiteral("    О труде\tLibrary\\poslovicy\\trud.htm")}));
        QVERIFY(tree.out.contains(QStringLiteral("    Ворона и Лисица\tLibrary\\Krylov_Basni\\basni\\Vorona.htm")));
        QCOMPARE(tree.out.size(), 6 + 9 + 51);  // authors, books and entries

        const ToolRun check = runOnSample({QStringLiteral("check")});
        QCOMPARE(check.exitCode, 0);
        QCOMPARE(check.out, QStringList{QStringLiteral("9 books, 51 entries, 0 problems")});

        const ToolRun find = runOnSample({QStringLiteral("find"), QStringLiteral("  пушк\t")});
        QCOMPARE(find.exitCode, 0);
        QCOMPARE(find.out, QStringList{Pushkin});

        const ToolRun chapters = runOnSample({QStringLiteral("find"), QStringLiteral("ГЛАВА I")});
        QCOMPARE(chapters.out, (QStringList{Pushkin + " | Капитанская дочка | Глава I. Сержант гвардии",
                                            Pushkin + " | Капитанская дочка | Глава II. Вожатый",
                                            Pushkin + " | Капитанская дочка | Глава III. Крепость",
                                            Pushkin + " | Капитанская дочка | Глава IV. Поединок",
                                            Pushkin + " | Повести Белкина | Выстрел | Глава I",
                                            Pushkin + " | Повести Белкина | Выстрел | Глава II"}));

        const ToolRun nothing = runOnSample({QStringLiteral("find"), QStringLiteral("Тургенев")});
        QCOMPARE(nothing.exitCode, 1);
        QVERIFY(nothing.out.isEmpty());
    }

    void indexAndSearchTheSample()
    {
        const ToolRun index = runOnSample({QStringLiteral("index")});
        QCOMPARE(index.exitCode, 0);
        QCOMPARE(index.out.size(), 1);
        QVERIFY2(index.out.at(0).startsWith(QStringLiteral("9 books indexed, 51 pages, ")),
                 qPrintable(index.out.at(0)));
        QCOMPARE(runOnSample({QStringLiteral("index")}).out.at(0).left(17), QStringLiteral("0 books indexed, "));

        const ToolRun duel = runOnSample({QStringLiteral("search"), QStringLiteral("дуэль")});
        QCOMPARE(duel.exitCode, 0);
        QCOMPARE(duel.out.size(), 1);
        QVERIFY2(duel.out.at(0).startsWith(Pushkin + " | Повести Белкина | Выстрел\t…"), qPrintable(duel.out.at(0)));
        QVERIFY(duel.out.at(0).contains(QStringLiteral("[дуэли]")));

        const ToolRun nothing = runOnSample({QStringLiteral("search"), QStringLiteral("дуэль -выстрел")});
        QCOMPARE(nothing.exitCode, 1);
        QVERIFY(nothing.out.isEmpty());

        const ToolRun malformed = runOnSample({QStringLiteral("search"), QStringLiteral("\"дуэль")});
        QCOMPARE(malformed.exitCode, 2);
        QCOMPARE(malformed.err, QStringLiteral("Фраза в запросе не закрыта кавычкой.\n"));
    }

    void treeGoesOnAfterFailedLoads()
    {
        TemporaryWorkingDirectory library;
        writeBrokenLibrary(library.path());
        const ToolRun tree = runTool({QStringLiteral("tree")});
        QCOMPARE(tree.exitCode, 1);
        QCOMPARE(tree.out,
                 (QStringList{Gogol, "  Вечера на хуторе", "    Майская ночь\tLibrary\\vechera\\noch.htm",
                              "    Ночь перед Рождеством\tLibrary\\vechera\\glavy\\rozhdestvo.htm",
                              "    Заколдованное место\tLibrary\\vechera\\glavy/mesto.htm",
                              "    Сорочинская ярмарка\tLibrary\\vechera\\Yarmarka.HTM",
                              "    Без страницы\tLibrary\\vechera\\", "  Миргород", "    ! File not found", Pushkin,
                              "  Повести Белкина", "    Выстрел\tLibrary\\Povesti\\vystrel.htm",
                              "    Метель\tLibrary\\Povesti\\metel.htm", "    ! List index out of bounds (13)"}));
    }

    void checkReportsEveryProblem()
    {
        TemporaryWorkingDirectory library;
        writeBrokenLibrary(library.path());
        QVERIFY(QFile::remove(library.filePath("brimvel_library.htm")));
        const ToolRun check = runTool({QStringLiteral("check")});
        QCOMPARE(check.exitCode, 1);
        QCOMPARE(check.out, (QStringList{"brimvel_library.htm: File not found",
                                         Gogol + " | Вечера на хуторе | Майская ночь: File not found",
                                         Gogol + " | Вечера на хуторе | Ночь перед Рождеством: Invalid filename",
                                         Gogol + " | Вечера на хуторе | Заколдованное место: Invalid filename",
                                         Gogol + " | Вечера на хуторе | Без страницы: File access denied",
                                         Gogol + " | Миргород: File not found",
                                         Pushkin + " | Повести Белкина: List index out of bounds (13)",
                                         "3 books, 7 entries, 7 problems"}));
        QVERIFY(check.err.isEmpty());
    }

    void findEndsAtAFailedLoad()
    {
        TemporaryWorkingDirectory library;
        writeBrokenLibrary(library.path());
        const ToolRun find = runTool({QStringLiteral("find"), QStringLiteral("ночь")});
        QCOMPARE(find.exitCode, 2);
        QCOMPARE(find.out, (QStringList{Gogol + " | Вечера на хуторе | Майская ночь",
                                        Gogol + " | Вечера на хуторе | Ночь перед Рождеством"}));
        QCOMPARE(find.err, QStringLiteral("File not found.\n"));
    }

    // Hostile libraries: names that would forge lines or steer a terminal,
    // pages that are no readable file, page names in another letter case,
    // and an output that cannot be written.
    void hostileLibraries_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("output");  // a file to write standard output to, or none
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("control characters in names")
            << "tree" << QString() << 0
            << QStringList{"Esc\\x1b[31m  ", "  Line\\nbreak", "    Tab\\there\\x7f\tLibrary\\b\\1\\t.htm"};
        QTest::newRow("pages that are no readable file")
            << "check" << QString() << 1
            << QStringList{"Esc\\x1b[31m   | Line\\nbreak | Directory: File access denied",
                           "Esc\\x1b[31m   | Line\\nbreak | Pipe: File access denied", "1 book, 4 entries, 2 problems"};
        QTest::newRow("output to a full device") << "tree"
                                                 << "/dev/full" << 2 << QStringList{};
    }

    void hostileLibraries()
    {
        QFETCH(QString, command);
        QFETCH(QString, output);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);
        QTemporaryDir library;
        const QDir root(library.path());
        writeFile(root.filePath("books.xml"),
                  cp1251(cataloguePacket({{QStringLiteral("Esc\x1b[31m"), QString(), QString(), "Line\nbreak", "b"}})
                             .replace(u'\n', QStringLiteral("&#10;"))));
        writeFile(root.filePath("brimvel_library.htm"), "<html></html>");
        writeFile(root.filePath("Library/b/sod.btf"),
                  contentsFile({{QStringLiteral("Tab\there\x7f"), QStringLiteral("1\t.htm")},
                                {QStringLiteral("Upper case"), QStringLiteral("page.htm")},
                                {QStringLiteral("Directory"), QStringLiteral("directory")},
                                {QStringLiteral("Pipe"), QStringLiteral("pipe")}}));
        writeFile(root.filePath("Library/b/1\t.htm"), "<html></html>");
        writeFile(root.filePath("Library/b/PAGE.HTM"), "<html></html>");
        QVERIFY(root.mkpath("Library/b/directory"));
#ifdef Q_OS_UNIX
        QCOMPARE(mkfifo(QFile::encodeName(root.filePath("Library/b/pipe")).constData(), 0600), 0);
#endif
        QProcess process;
        if (!output.isEmpty())
            process.setStandardOutputFile(output);
        process.start(QStringLiteral(BRIMVEL_LIBRARY_TOOL), {QStringLiteral("-C"), library.path(), command});
        const ToolRun run = finishedRun(process);
        QCOMPARE(run.exitCode, exitCode);
        for (const QString &line : lines)
            QVERIFY2(run.out.contains(line), qPrintable(run.out.join(u'\n')));
        if (!output.isEmpty())
            QVERIFY2(run.err.contains(QStringLiteral("cannot write the output")), qPrintable(run.err));
    }

    // A library in a folder whose name is not valid UTF-8 (as on a disc
    // written on another system) reads like any other, as the working
    // directory and through -C.
    void folderNameThatIsNotUtf8()
    {
#ifndef Q_OS_UNIX
        QSKIP("file names are characters on this platform");
#endif
        QTemporaryDir parent;
        writeBrokenLibrary(parent.filePath("copy"));
        const QStringList expected = runTool({"-C", parent.filePath("copy"), "check"}).out;
        QProcess shell;
        shell.start("/bin/sh", {"-c",
                                "cd \"$0\" && name=$(printf 'lib\\377') && mv copy \"$name\" && cd \"$name\""
                                " && \"$1\" check; \"$1\" -C \"$0/$name\" check;"
                                // The temporary folder's own clean-up cannot name it.
                                " mv \"$0/$name\" \"$0/copy\"",
                                parent.path(), QStringLiteral(BRIMVEL_LIBRARY_TOOL)});
        QCOMPARE(finishedRun(shell).out, expected + expected);
    }

    void unreadableCatalogue_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("tree") << QStringList{"tree"};
        QTest::newRow("check") << QStringList{"check"};
        QTest::newRow("find") << QStringList{"find", "книга"};
        QTest::newRow("index") << QStringList{"index"};
        QTest::newRow("search") << QStringList{"search", "книга"};
    }

    void unreadableCatalogue()
    {
        QFETCH(QStringList, arguments);
        TemporaryWorkingDirectory library;
        const ToolRun missing = runTool(arguments);
        QCOMPARE(missing.exitCode, 2);
        QVERIFY(missing.out.isEmpty());
        QCOMPARE(missing.err, QStringLiteral("File not found.\n"));

        const QString withoutName =
            cataloguePacket({}).remove(QStringLiteral("<FIELD attrname=\"NAME\" fieldtype=\"string\" WIDTH=\"255\"/>"));
        writeFile(library.filePath("books.xml"), cp1251(withoutName));
        QCOMPARE(runTool(arguments).err, QStringLiteral("cdsBooks: Field 'NAME' not found.\n"));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown option") << QStringList{"--recursive", "tree"};
        QTest::newRow("unknown command") << QStringList{"list"};
        QTest::newRow("find without text") << QStringList{"find"};
        QTest::newRow("text short after trimming") << QStringList{"find", " \tабв  "};
        QTest::newRow("-C without directory") << QStringList{"tree", "-C"};
        QTest::newRow("search without query") << QStringList{"search"};
        QTest::newRow("index with an argument") << QStringList{"index", "all"};
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        const ToolRun run = runOnSample(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains(QStringLiteral("Usage: brimvel-library")), qPrintable(run.err));
    }

    void helpAndDirectory()
    {
        const ToolRun help = runTool({QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.value(0).startsWith(QStringLiteral("Usage: brimvel-library")));
        QVERIFY(help.err.isEmpty());

        const ToolRun nowhere =
            runTool({QStringLiteral("-C"), QStringLiteral("/no/such/library"), QStringLiteral("tree")});
        QCOMPARE(nowhere.exitCode, 2);
        QVERIFY(nowhere.out.isEmpty());
        QVERIFY2(nowhere.err.contains(QStringLiteral("/no/such/library")), qPrintable(nowhere.err));
    }

    void viewStartsTheViewerInTheDirectory_data()
    {
        QTest::addColumn<QStringList>("viewers");  // where stand-ins are
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("workingDirectory");
        QTest::addColumn<QString>("viewerRun");
        const QString library = ViewPlace::LibraryName;
        QTest::newRow("beside the tool first, absolute DIR")
            << QStringList{"tool", "path"} << QStringList{"view", "{root}/" + library} << ""
            << "tool";
        QTest::newRow("on PATH, relative DIR") << QStringList{"path"} << QStringList{"view", library} << ""
                                               << "path";
        QTest::newRow("DIR relative to -C")
            << QStringList{"tool"} << QStringList{"-C", "{root}", "view", library} << "tool"
            << "tool";
        QTest::newRow("no DIR: the working directory")
            << QStringList{"tool"} << QStringList{"view"} << library << "tool";
    }

    void viewStartsTheViewerInTheDirectory()
    {
#ifndef Q_OS_UNIX
        QSKIP("The stand-ins for the viewer are shell scripts");
#endif
        QFETCH(QStringList, viewers);
        QFETCH(QStringList, arguments);
        QFETCH(QString, workingDirectory);
        QFETCH(QString, viewerRun);
        ViewPlace place;
        for (const QString &directory : viewers)
            place.addViewer(directory);
        const ToolRun run = place.run(arguments, workingDirectory);
        QCOMPARE(run.exitCode, StandInExitStatus);
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        QCOMPARE(place.record(), (QStringList{place.canonicalPath(ViewPlace::LibraryName), "0", viewerRun}));
    }

    void viewWithoutDirOpensTheLastLibrary()
    {
#ifndef Q_OS_UNIX
        QSKIP("The stand-ins for the viewer are shell scripts");
#endif
        ViewPlace place;
        place.addViewer(QStringLiteral("tool"));
        // Where the working directory holds no catalogue, the most recent
        // library that still exists.
        plant({{"reading.Libraries/Count", "2"},
               {"reading.Libraries/Item0", place.expanded(QStringLiteral("{root}/gone"))},
               {"reading.Libraries/Item1", place.expanded("{root}/" + ViewPlace::LibraryName)}});
        const auto cleanStore = qScopeGuard([] { removeStore(); });
        const ToolRun run = place.run({QStringLiteral("view")}, QStringLiteral("path"));
        QCOMPARE(run.exitCode, StandInExitStatus);
        QCOMPARE(place.record(), (QStringList{place.canonicalPath(ViewPlace::LibraryName), "0", "tool"}));
    }

    void viewRefusesWhatItCannotOpen_data()
    {
        QTest::addColumn<QStringList>("viewers");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing DIR") << QStringList{"tool"} << QStringList{"view", "{root}/nowhere"}
                                     << "no such directory '{root}/nowhere'";
        QTest::newRow("a file for DIR") << QStringList{"tool"} << QStringList{"view", "{root}/tool/brimvel"}
                                        << "'{root}/tool/brimvel' is not a directory";
        QTest::newRow("two DIRs") << QStringList{"tool"} << QStringList{"view", "{root}", "{root}"}
                                  << "view takes at most one DIR";
        QTest::newRow("no viewer") << QStringList{} << QStringList{"view", "{root}"}
                                   << "the viewer 'brimvel' is neither beside this program nor on PATH";
    }

    void viewRefusesWhatItCannotOpen()
    {
#ifndef Q_OS_UNIX
        QSKIP("The stand-ins for the viewer are shell scripts");
#endif
        QFETCH(QStringList, viewers);
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        ViewPlace place;
        for (const QString &directory : viewers)
            place.addViewer(directory);
        const ToolRun run = place.run(arguments, QString());
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.startsWith("brimvel-library: " + place.expanded(message)), qPrintable(run.err));
        QVERIFY(place.record().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLibraryTool)
#include "tst_librarytool.moc"

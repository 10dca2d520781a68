// brimvel-library run as a program, on the sample library and on libraries
// written here.

#include "testsupport.h"

#include <QProcess>

namespace {

struct ToolRun
{
    int exitCode = -1;
    QStringList out;  // the lines of standard output
    QString err;
};

ToolRun runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(BRIMVEL_LIBRARY_TOOL), arguments);
    process.waitForFinished(-1);
    ToolRun run;
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    run.out = out.split(u'\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
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
        lines << "ITEM{" << "NAME=" + entry.name << "LOCAL=" + entry.local << "ID=1" << "}";
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
        {QStringLiteral("Гоголь"), QStringLiteral("Николай"), QStringLiteral("Васильевич"),
         QStringLiteral("Миргород"), QStringLiteral("mirgorod")},
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

} // namespace

class TestLibraryTool : public QObject
{
    Q_OBJECT

private slots:
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

    void treeGoesOnAfterFailedLoads()
    {
        TemporaryWorkingDirectory library;
        writeBrokenLibrary(library.path());
        const ToolRun tree = runTool({QStringLiteral("tree")});
        QCOMPARE(tree.exitCode, 1);
        QCOMPARE(tree.out, (QStringList{Gogol,
                                        "  Вечера на хуторе",
                                        "    Майская ночь\tLibrary\\vechera\\noch.htm",
                                        "    Ночь перед Рождеством\tLibrary\\vechera\\glavy\\rozhdestvo.htm",
                                        "    Заколдованное место\tLibrary\\vechera\\glavy/mesto.htm",
                                        "    Сорочинская ярмарка\tLibrary\\vechera\\Yarmarka.HTM",
                                        "    Без страницы\tLibrary\\vechera\\",
                                        "  Миргород",
                                        "    ! File not found",
                                        Pushkin,
                                        "  Повести Белкина",
                                        "    Выстрел\tLibrary\\Povesti\\vystrel.htm",
                                        "    Метель\tLibrary\\Povesti\\metel.htm",
                                        "    ! List index out of bounds (13)"}));
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

    void unreadableCatalogue_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("tree") << QStringList{"tree"};
        QTest::newRow("check") << QStringList{"check"};
        QTest::newRow("find") << QStringList{"find", "книга"};
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

        const ToolRun nowhere = runTool({QStringLiteral("-C"), QStringLiteral("/no/such/library"), QStringLiteral("tree")});
        QCOMPARE(nowhere.exitCode, 2);
        QVERIFY(nowhere.out.isEmpty());
        QVERIFY2(nowhere.err.contains(QStringLiteral("/no/such/library")), qPrintable(nowhere.err));
    }
};

QTEST_GUILESS_MAIN(TestLibraryTool)
#include "tst_librarytool.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/contents.h"
#include "core/error.h"
#include "core/library.h"
#include "core/paths.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QStringDecoder>

namespace {

const QString Marker(31, u'-');

const QStringList Example = {
    "ITEMS{",
    "ITEM{",
    "NAME=Chapter 1",
    "LOCAL=ch1.htm",
    "ID=1",
    "ITEMS{",
    "ITEM{",
    "NAME=Section 1.1",
    "LOCAL=ch1_1.htm",
    "ID=2",
    "}",
    "}",
    "}",
    "ITEM{",
    "NAME=Chapter 2",
    "LOCAL=ch2.htm",
    "ID=3",
    "EPIGRAFS{",
    "ITEM{",
    "first line of the epigraph",
    "second line of the epigraph",
    "}",
    "}",
    "}",
    "}",
};
const QStringList ExampleTree = {"Chapter 1 = ch1.htm", "  Section 1.1 = ch1_1.htm", "Chapter 2 = ch2.htm"};

QByteArray crlfFile(const QStringList &lines)
{
    return cp1251(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}

// One entry as the five lines ITEM{, NAME, LOCAL, ID and, when `close`, "}".
QStringList entry(const QString &name, const QString &local, bool close = true)
{
    QStringList lines = {"ITEM{", "NAME=" + name, "LOCAL=" + local, "ID=0"};
    if (close)
        lines << "}";
    return lines;
}

QString indexError(qint64 position)
{
    return QStringLiteral("List index out of bounds (%1)").arg(position);
}

// What a parse produced: one record per entry, "parent|name|local" with the
// entries numbered from 0 in the order they were added and -1 for the level's
// parent, and "return <p>" or the error message.
struct Trace
{
    QStringList entries;
    QString outcome;
};

// The reading steps as written, one call per level; for checking the reader
// on inputs of modest depth.
class ReferenceReader
{
public:
    explicit ReferenceReader(const QByteArrayList &lines) : m_lines(lines) {}

    Trace run(int start)
    {
        Trace trace;
        try {
            trace.outcome = QStringLiteral("return %1").arg(parse(start, -1));
        } catch (const AppError &error) {
            trace.outcome = error.message();
        }
        trace.entries = m_entries;
        return trace;
    }

private:
    QByteArray line(qint64 p) const
    {
        if (p < 0 || p >= m_lines.size())
            throw AppError(indexError(p));
        return m_lines.at(p);
    }

    static QString value(const QByteArray &line, const QByteArray &key, int skip)
    {
        const qsizetype at = line.indexOf(key);
        return QString::fromLatin1((at >= 0 ? line.mid(at + key.size()) : line.mid(skip)).trimmed());
    }

    int parse(int start, int parent)
    {
        const int n = int(m_lines.size());
        int p = start;
        for (;;) {
            const QByteArray name = line(++p);
            const QByteArray local = line(++p);
            line(++p);
            const int node = int(m_entries.size());
            m_entries << QStringLiteral("%1|%2|%3").arg(parent).arg(value(name, "NAME=", 4), value(local, "LOCAL=", 5));
            if (++p >= n - 1)
                return p;
            if (line(p) == "ITEMS{")
                p = parse(p + 1, node);
            if (line(p) == "EPIGRAFS{") {
                do
                    p += 4;
                while (line(p + 1) == "ITEM{");
                p += 2;
            }
            if (++p >= n - 1)
                return p;
            if (line(p + 1) == "}")
                return p + 1;
        }
    }

    const QByteArrayList &m_lines;
    QStringList m_entries;
};

QString decoded(QByteArrayView windows1251)
{
    return QStringDecoder("windows-1251").decode(windows1251);
}

Trace parseLines(const QByteArrayList &fileLines)
{
    ContentsLines lines(fileLines.join('\n'));
    Trace trace;
    try {
        const int result =
            ParseContents(lines, 1, -1, [&](LibraryTree::Node parent, QByteArrayView name, QByteArrayView local) {
                trace.entries << QStringLiteral("%1|%2|%3").arg(parent).arg(decoded(name), decoded(local));
                return LibraryTree::Node(trace.entries.size() - 1);
            });
        trace.outcome = QStringLiteral("return %1").arg(result);
    } catch (const AppError &error) {
        trace.outcome = error.message();
    }
    return trace;
}

// A random well-formed level, its entries numbered through `entries`. With
// `oddBlocks`, entries may also carry an empty epigraph block, or both a
// sub-level and an epigraph block in either order.
void generateLevel(QByteArrayList &out, QRandomGenerator &random, int depth, bool oddBlocks, int &entries)
{
    const int count = 1 + int(random.bounded(3));
    for (int i = 0; i < count; ++i) {
        const QByteArray k = QByteArray::number(++entries);
        out << "ITEM{"
            << "NAME= n" + k << "LOCAL=p" + k + ".htm"
            << "ID=" + k;
        const auto epigraphs = [&](int least) {
            out << "EPIGRAFS{";
            for (int e = least + int(random.bounded(3)); e > 0; --e)
                out << "ITEM{"
                    << "text " + k << "more text"
                    << "}";
            out << "}";
        };
        const auto subLevel = [&] {
            if (depth < 4) {
                out << "ITEMS{";
                generateLevel(out, random, depth + 1, oddBlocks, entries);
            }
        };
        switch (random.bounded(oddBlocks ? 6 : 3)) {
        case 0: break;
        case 1: epigraphs(1); break;
        case 2: subLevel(); break;
        case 3: epigraphs(0); break;
        case 4:
            subLevel();
            epigraphs(1);
            break;
        default:
            epigraphs(1);
            subLevel();
            break;
        }
        out << "}";
    }
    out << "}";
}

void mutate(QByteArrayList &lines, QRandomGenerator &random)
{
    static const QByteArrayList Tokens = {"}", "ITEM{", "ITEMS{", "EPIGRAFS{", "NAME=x", "LOCAL=y", "junk"};
    for (int m = 1 + int(random.bounded(3)); m > 0; --m) {
        const auto at = [&](qsizetype extra) { return qsizetype(random.bounded(int(lines.size() + extra))); };
        switch (random.bounded(4)) {
        case 0:
            if (!lines.isEmpty())
                lines.removeAt(at(0));
            break;
        case 1: lines.insert(at(1), Tokens.at(random.bounded(int(Tokens.size())))); break;
        case 2:
            if (!lines.isEmpty()) {
                const QByteArray copy = lines.at(at(0));
                lines.insert(at(0), copy);
            }
            break;
        default: lines.resize(at(1)); break;
        }
    }
}

}  // namespace

class TestContents : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    static QString bookDirectory(const QString &bookPath) { return "Library\\" + bookPath + "\\"; }

    void writeContents(const QString &bookPath, const QByteArray &bytes)
    {
        writeFile(m_dir.filePath("Library/" + bookPath + "/sod.btf"), bytes);
    }

    // Loads the book `bookPath` into a tree of one author and that book; the
    // message of the error the load ends in, or an empty string.
    QString load(LibraryTree &tree, const QString &bookPath) const
    {
        tree = LibraryTree();
        const LibraryTree::Node book = tree.addChild(tree.addRoot("Author"), bookPath, TExtInfoLib(bookPath));
        try {
            LoadContents(platformPath(m_dir.path(), contentsFilePath(*tree.info(book))), addingTo(tree), book);
        } catch (const AppError &error) {
            return error.message();
        }
        return {};
    }

    // The contents nodes in pre-order, indented by level, each with its page
    // path relative to the book directory (the whole path when it lies
    // elsewhere).
    static QStringList contentsTree(const LibraryTree &tree, const QString &bookPath)
    {
        const QString directory = bookDirectory(bookPath);
        QStringList nodes;
        for (LibraryTree::Node node = tree.nextInPreorder(1); node != LibraryTree::NoNode;
             node = tree.nextInPreorder(node)) {
            QString page = tree.info(node)->FPath;
            if (page.startsWith(directory))
                page.remove(0, directory.size());
            nodes << QString(qsizetype(2) * (tree.level(node) - 2), u' ') + tree.text(node) + " = " + page;
        }
        return nodes;
    }

    // Each node added after the book as a Trace record.
    static QStringList entryRecords(const LibraryTree &tree, const QString &bookPath)
    {
        QStringList records;
        for (LibraryTree::Node node = 2; node < tree.size(); ++node)
            records << QStringLiteral("%1|%2|%3")
                           .arg(tree.parent(node) - 2)
                           .arg(tree.text(node), tree.info(node)->FPath.mid(bookDirectory(bookPath).size()));
        return records;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // A full-text hit names its page's book, the position of the first
    // entry that named the page and the page; the contents may have changed
    // since.
    void libraryLocatesTheEntryOfAFoundPage_data()
    {
        QTest::addColumn<QString>("bookPath");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expanded");
        const QString book = bookDirectory("located");
        QTest::newRow("at its position") << "located" << 1 << book + "ch1_1.htm"
                                         << "Section 1.1" << QStringList{"A", "Located", "Chapter 1"};
        QTest::newRow("moved") << "located" << 0 << book + "ch2.htm"
                               << "Chapter 2" << QStringList{"A", "Located"};
        QTest::newRow("position past the end") << "located" << 7 << book + "ch1.htm"
                                               << "Chapter 1" << QStringList{"A", "Located"};
        QTest::newRow("page gone") << "located" << 2 << book + "gone.htm" << QString() << QStringList{"A", "Located"};
        QTest::newRow("book gone") << "gone" << 0 << bookDirectory("gone") + "ch1.htm" << QString() << QStringList{};
    }

    void libraryLocatesTheEntryOfAFoundPage()
    {
        QFETCH(QString, bookPath);
        QFETCH(int, entry);
        QFETCH(QString, page);
        QFETCH(QString, text);
        QFETCH(QStringList, expanded);
        writeFile(m_dir.filePath("books.xml"),
                  cp1251(cataloguePacket({{"A", {}, {}, "Other", "other"}, {"A", {}, {}, "Located", "located"}})));
        writeContents("located", Example.join("\r\n").toLatin1());
        Library library(m_dir.path());
        library.readCatalogue();
        QStringList expandedTexts;
        const LibraryTree::Node found = library.entryOfPage(bookPath, entry, page, [&](LibraryTree::Node node) {
            expandedTexts << library.tree().text(node).trimmed();
            library.expand(node);
        });
        QCOMPARE(found == LibraryTree::NoNode ? QString() : library.tree().text(found), text);
        QCOMPARE(expandedTexts, expanded);
    }

    void readsTheTree_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("nodes");
        QTest::addColumn<QString>("error");

        const QStringList none;
        QTest::newRow("example") << crlfFile(Example) << ExampleTree << QString();
        {
            QByteArray file;
            for (qsizetype i = 0; i < Example.size(); ++i)
                file += (i % 2 ? "\t " : "   ") + cp1251(Example.at(i)) + "\t\n \t\n\n";
            QTest::newRow("indented, blank lines, line feeds only") << file << ExampleTree << QString();
        }
        QTest::newRow("values trimmed, five lines")
            << crlfFile({"ITEMS{", "ITEM{", "NAME=  A b  ", "LOCAL= a.htm ", "ID=1"}) << QStringList{"A b = a.htm"}
            << QString();
        QTest::newRow("Cyrillic name and page")
            << crlfFile({"ITEMS{", "ITEM{", "NAME=Глава ё", "LOCAL=текст\\Глава.htm", "ID=1"})
            << QStringList{"Глава ё = текст\\Глава.htm"} << QString();
        QTest::newRow("lower-case key") << crlfFile({"ITEMS{", "ITEM{", "NAME=A", "local=a.htm", "ID=1"})
                                        << QStringList{"A = =a.htm"} << QString();
        QTest::newRow("missing key") << crlfFile({"ITEMS{", "ITEM{", "Chapter One", "LOCAL=a.htm", "ID=1"})
                                     << QStringList{"ter One = a.htm"} << QString();
        QTest::newRow("key after text, key twice")
            << crlfFile({"ITEMS{", "ITEM{", "x NAME=A NAME=B", "see LOCAL=a.htm", "ID=1"})
            << QStringList{"A NAME=B = a.htm"} << QString();
        QTest::newRow("short lines without key")
            << crlfFile({"ITEMS{", "ITEM{", "abcd", "abcde", "ID=1"}) << QStringList{" = "} << QString();
        QTest::newRow("cyrillic text, bytes above 127 kept at the ends")
            << crlfFile({"ITEMS{", "ITEM{", "NAME=\u00A0Глава первая\u00A0", "LOCAL=глава.htm", "ID=1"})
            << QStringList{"\u00A0Глава первая\u00A0 = глава.htm"} << QString();
        QTest::newRow("empty local, local with backslashes")
            << crlfFile(QStringList{"ITEMS{"} + entry("A", "") + entry("B", "sub\\b.htm", false) + QStringList{"}"})
            << QStringList{"A = ", "B = sub\\b.htm"} << QString();

        QTest::newRow("stop marker after the top level")
            << crlfFile(Example + QStringList{Marker, "NAME=never read", "x"}) << ExampleTree << QString();
        QTest::newRow("stop marker inside a line")
            << crlfFile(Example + QStringList{"abc" + Marker + "--def", "NAME=never read"}) << ExampleTree << QString();
        QTest::newRow("30 hyphens are a line")
            << crlfFile(Example + QStringList{QString(30, u'-')}) << ExampleTree << indexError(26);
        QTest::newRow("empty file") << QByteArray() << none << indexError(2);
        QTest::newRow("stop marker first")
            << crlfFile(QStringList{"  ", "\t", Marker} + Example) << none << indexError(2);

        QTest::newRow("two sections, then a further chapter")
            << crlfFile(QStringList{"ITEMS{"} + entry("C1", "c1", false) + QStringList{"ITEMS{"} + entry("S1", "s1")
                        + entry("S2", "s2") + QStringList{"}", "}"} + entry("C2", "c2") + QStringList{"}"})
            << QStringList{"C1 = c1", "  S1 = s1", "  S2 = s2", "C2 = c2"} << QString();
        QTest::newRow("three levels deep")
            << crlfFile(QStringList{"ITEMS{"} + entry("C1", "c1", false) + QStringList{"ITEMS{"}
                        + entry("S1", "s1", false) + QStringList{"ITEMS{"} + entry("P1", "p1")
                        + QStringList{"}", "}", "}", "}"} + entry("C2", "c2") + QStringList{"}"})
            << QStringList{"C1 = c1", "  S1 = s1", "    P1 = p1", "C2 = c2"} << QString();
        QTest::newRow("two epigraphs, then a further chapter")
            << crlfFile(QStringList{"ITEMS{"} + entry("C1", "c1", false)
                        + QStringList{"EPIGRAFS{", "ITEM{", "a", "b", "}", "ITEM{", "c", "d", "}", "}", "}"}
                        + entry("C2", "c2") + QStringList{"}"})
            << QStringList{"C1 = c1", "C2 = c2"} << QString();
        QTest::newRow("an empty epigraph block loses the next entry")
            << crlfFile(QStringList{"ITEMS{"} + entry("C1", "c1", false) + QStringList{"EPIGRAFS{", "}", "}"}
                        + entry("C2", "c2") + QStringList{"}"})
            << QStringList{"C1 = c1"} << QString();
        QTest::newRow("ends after the ID line of a sub-level's only entry")
            << crlfFile(QStringList{"ITEMS{"} + entry("C1", "c1", false) + QStringList{"ITEMS{"}
                        + entry("S1", "s1", false))
            << QStringList{"C1 = c1", "  S1 = s1"} << indexError(10);
        QTest::newRow("breaks off after the NAME line of the third entry")
            << crlfFile(QStringList{"ITEMS{"} + entry("C1", "c1") + entry("C2", "c2") + QStringList{"ITEM{", "NAME=C3"})
            << QStringList{"C1 = c1", "C2 = c2"} << indexError(13);
        QTest::newRow("carriage return inside a line")
            << crlfFile(Example).replace("NAME=Chapter 1", "NAME=Chap\rter 1") << ExampleTree << QString();
        QTest::newRow("stop marker split by a carriage return")
            << crlfFile(Example + QStringList{Marker.left(9) + "\r" + Marker.mid(9), "NAME=never read", "x"})
            << ExampleTree << QString();
        QTest::newRow("ctrl-z at a line start ends the file")
            << crlfFile(Example) + "\x1A" + crlfFile({"ITEM{", "NAME=never read"}) << ExampleTree << QString();
    }

    void readsTheTree()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, nodes);
        QFETCH(QString, error);

        writeContents("B", file);
        LibraryTree tree;
        QCOMPARE(load(tree, "B"), error);
        QCOMPARE(contentsTree(tree, "B"), nodes);
    }

    void pagePathsLieInTheBookDirectory()
    {
        writeContents("First", crlfFile(Example));
        writeContents("Second", crlfFile(Example));
        LibraryTree tree;
        // The directory is found whatever the letter case of PATH; FPath keeps it as built.
        QCOMPARE(load(tree, "FIRST"), QString());
        const QString first = "Library\\FIRST\\";
        QCOMPARE(tree.info(3)->FPath, first + "ch1_1.htm");
        QCOMPARE(tree.parent(3), 2);
        QCOMPARE(load(tree, "Second"), QString());
        QCOMPARE(tree.info(2)->FPath, "Library\\Second\\ch1.htm");
        QCOMPARE(contentsFilePath(TExtInfoLib("Second")), "Library\\Second\\sod.btf");
    }

    void openErrors_data()
    {
        QTest::addColumn<QString>("bookPath");
        QTest::addColumn<QString>("error");
        QDir(m_dir.path()).mkpath("Library/Empty");
        QTest::newRow("no contents file") << "Empty"
                                          << "File not found";
        QTest::newRow("no book directory") << "Missing"
                                           << "Invalid filename";
    }

    void openErrors()
    {
        QFETCH(QString, bookPath);
        QFETCH(QString, error);
        LibraryTree tree;
        QCOMPARE(load(tree, bookPath), error);
        QCOMPARE(tree.size(), 2);
        QCOMPARE(tree.childCount(1), 0);
    }

    // The reader against the steps as written, on mutated random files.
    void matchesTheStepsOnRandomFiles()
    {
        QRandomGenerator random(20240611);
        int errors = 0;
        for (int round = 0; round < 4000; ++round) {
            QByteArrayList lines{"ITEMS{"};
            int entries = 0;
            const bool wellFormed = round % 4 == 0;
            generateLevel(lines, random, 0, !wellFormed, entries);
            if (!wellFormed)
                mutate(lines, random);

            const Trace expected = ReferenceReader(lines).run(1);
            const Trace actual = parseLines(lines);
            const QByteArray where = "round " + QByteArray::number(round) + ": " + lines.join(' ');
            QVERIFY2(actual.outcome == expected.outcome, where.constData());
            QVERIFY2(actual.entries == expected.entries, where.constData());
            if (wellFormed) {
                QCOMPARE(actual.outcome, QStringLiteral("return %1").arg(lines.size() - 1));
                QCOMPARE(actual.entries.size(), entries);
            }
            errors += actual.outcome.startsWith("List index") ? 1 : 0;
        }
        // Both outcomes are well represented.
        QVERIFY(errors > 500 && errors < 3000);
    }

    void deepNesting_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("closers");  // closing lines kept at the end, of 2 per level
        QTest::addColumn<bool>("fails");
        for (const int depth : {40, MaxContentsDepth}) {
            const QByteArray levels = QByteArray::number(depth) + " levels, ";
            QTest::newRow(levels + "well-formed") << depth << 2 * depth << false;
            QTest::newRow(levels + "ends after the innermost ID line") << depth << 0 << true;
            QTest::newRow(levels + "half the closing lines") << depth << depth << true;
            QTest::newRow(levels + "only the top level's closing line missing") << depth << 2 * depth - 1 << false;
        }
    }

    // Nesting as deep as a contents file may reads as nesting a few levels
    // does.
    void deepNesting()
    {
        QFETCH(int, depth);
        QFETCH(int, closers);
        QFETCH(bool, fails);
        QByteArrayList lines{"ITEMS{"};
        for (int d = 0; d < depth; ++d) {
            lines << "ITEM{"
                  << "NAME=L" + QByteArray::number(d) << "LOCAL=l.htm"
                  << "ID=1";
            if (d + 1 < depth)
                lines << "ITEMS{";
        }
        for (int c = 0; c < closers; ++c)
            lines << "}";
        writeContents("Deep", lines.join("\n"));

        LibraryTree tree;
        const QString error = load(tree, "Deep");
        QCOMPARE(error, fails ? indexError(lines.size()) : QString());
        QCOMPARE(tree.size(), 2 + depth);
        for (LibraryTree::Node node = 2; node < tree.size(); ++node) {
            if (tree.parent(node) != node - 1)
                QFAIL(qPrintable(QStringLiteral("node %1 is not under the one before").arg(node)));
        }
        QCOMPARE(tree.text(LibraryTree::Node(tree.size() - 1)), QStringLiteral("L%1").arg(depth - 1));
        if (depth <= 1000) {
            const Trace expected = ReferenceReader(lines).run(1);
            QCOMPARE(entryRecords(tree, "Deep"), expected.entries);
            QCOMPARE(expected.outcome.startsWith("return "), !fails);
        }
    }

    void millionsOfLines()
    {
        // Pairs of chapters: one with a sub-level of three sections, one with
        // an epigraph; 33 lines a pair.
        constexpr int Pairs = 91'000;
        const QByteArray chapter = cp1251("Глава ");
        QByteArray file = "ITEMS{\r\n";
        file.reserve(qsizetype(Pairs) * 400);
        for (int i = 0; i < Pairs; ++i) {
            const QByteArray k = QByteArray::number(i);
            file += "  ITEM{\r\n  NAME=" + chapter + k + "\r\n  LOCAL=c" + k + ".htm\r\n  ID=" + k + "\r\n  ITEMS{\r\n";
            for (int s = 0; s < 3; ++s)
                file += "    ITEM{\r\n    NAME=Section\r\n    LOCAL=s.htm\r\n    ID=0\r\n    }\r\n";
            file += "  }\r\n  }\r\n  ITEM{\r\n  NAME=E" + k
                    + "\r\n  LOCAL=e.htm\r\n  ID=0\r\n  EPIGRAFS{\r\n"
                      "  ITEM{\r\n  text\r\n  text\r\n  }\r\n  }\r\n  }\r\n";
        }
        file += "}\r\n";
        QCOMPARE(file.count('\n'), 33 * Pairs + 2);
        writeContents("Large", file);

        LibraryTree tree;
        QCOMPARE(load(tree, "Large"), QString());
        QCOMPARE(tree.size(), 2 + 5 * Pairs);
        QCOMPARE(tree.childCount(1), 2 * Pairs);
        QCOMPARE(tree.text(LibraryTree::Node(tree.size() - 1)), QStringLiteral("E%1").arg(Pairs - 1));
        QCOMPARE(tree.text(tree.child(1, 2 * Pairs - 2)), QStringLiteral("Глава %1").arg(Pairs - 1));
    }

    void lineListRefusesMoreLinesThanItHolds()
    {
        QByteArray text = " a \r\nb\rb\n \t\n";
        for (int i = 0; i < 30; ++i)
            text += "c" + QByteArray::number(i) + "\r\n";
        ContentsLines lines(text, 31);
        QCOMPARE(lines.at(30).toByteArray(), QByteArray("c28"));
        // Lines further back than the list keeps are read again.
        QCOMPARE(lines.at(0).toByteArray(), QByteArray("a"));
        QCOMPARE(lines.at(1).toByteArray(), QByteArray("bb"));
        try {
            lines.at(31);
            QFAIL("a line past the most was taken");
        } catch (const AppError &error) {
            QCOMPARE(error.message(), QStringLiteral("The contents file has more than 31 lines"));
        }
        ContentsLines ended(" a\nb\nc" + Marker.toLatin1() + "\nd", 2);
        QVERIFY(!ended.has(2));
    }
};

QTEST_GUILESS_MAIN(TestContents)
#include "tst_contents.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// The full-text index on real Windows-1251 libraries written here, with its
// SQLite database in a temporary cache.

#include "testsupport.h"

#include "core/fulltextindex.h"
#include "core/library.h"
#include "core/pagetext.h"
#include "core/stemmingtokenizer.h"

#include <QDateTime>
#include <string>

namespace {

std::string tokensOf(const QString &text)
{
    std::string tokens;
    tokenize(text.toStdString(), Stemming::Full,
             [&](std::string_view token, int, int) { tokens += std::string(token) + ' '; });
    return tokens;
}

QString pageHtml(const QString &body)
{
    return QStringLiteral("<html><head><title>Заглавие</title></head><body>%1</body></html>").arg(body);
}

// Writes a page and moves its modification time on, as an edit a while
// later does.
void writePage(const QString &path, const QString &body, int minutesLater = 0)
{
    writeFile(path, cp1251(pageHtml(body)));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(qint64(60) * minutesLater),
                             QFileDevice::FileModificationTime));
}

// Two books: Пушкин's with three chapters, two of them naming one page, and
// Лермонтов's with one.
void writeLibrary(const QString &root)
{
    writeFile(
        root + QStringLiteral("/books.xml"),
        cp1251(cataloguePacket(
            {{QStringLiteral("Пушкин"), QString(), QString(), QStringLiteral("Повести"), QStringLiteral("povesti")},
             {QStringLiteral("Лермонтов"), QString(), QString(), QStringLiteral("Герой"), QStringLiteral("geroj")}}))
            + "\r\n");
    const auto contents = [](const QStringList &entries) {
        QString text = QStringLiteral("ITEMS{\r\n");
        for (const QString &entry : entries)
            text += QStringLiteral("ITEM{\r\nNAME=%1\r\nLOCAL=%2\r\nID=1\r\n}\r\n")
                        .arg(entry.section(u'|', 0, 0), entry.section(u'|', 1));
        return cp1251(text + QStringLiteral("}\r\n"));
    };
    writeFile(root + QStringLiteral("/Library/povesti/sod.btf"),
              contents({QStringLiteral("Выстрел|vystrel.htm"), QStringLiteral("Метель|metel.htm"),
                        QStringLiteral("Метель снова|METEL.htm")}));
    writePage(root + QStringLiteral("/Library/povesti/vystrel.htm"),
              QStringLiteral("<p>Он вызвал графа на дуэль.</p><p>Ёлка стояла в углу.</p>"));
    writePage(root + QStringLiteral("/Library/povesti/metel.htm"),
              QStringLiteral("<p>Белая метель мела. Дуэлью кончилась ссора.</p>"));
    writeFile(root + QStringLiteral("/Library/geroj/sod.btf"), contents({QStringLiteral("Бэла|bela.htm")}));
    writePage(root + QStringLiteral("/Library/geroj/bela.htm"),
              QStringLiteral("<p>Печорин думал о дуэли и о белой лошади.</p>"));
}

}  // namespace

class TestFullText : public QObject
{
    Q_OBJECT

    QTemporaryDir m_cache;
    QTemporaryDir m_folder;
    QString m_indexFile;

    UpdateSummary update()
    {
        Library library(m_folder.path());
        library.readCatalogue();
        const std::atomic_bool stop = false;
        return IndexUpdate(library, m_indexFile).run(stop, {});
    }

    QStringList captionsFound(const QString &query)
    {
        QStringList captions;
        for (const PageHit &hit : FullTextIndex(m_indexFile).search(query, 100).hits)
            captions.append(hit.caption.section(QStringLiteral(" | "), -1));
        captions.sort();
        return captions;
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8());
        writeLibrary(m_folder.path());
        m_indexFile = FullTextIndex::fileFor(m_folder.path());
        QVERIFY(m_indexFile.startsWith(m_cache.path()));
        const UpdateSummary summary = update();
        QCOMPARE(summary.books, 2);
        QCOMPARE(summary.pages, 3);
        QVERIFY(FullTextIndex(m_indexFile).complete());
    }

    void tokensFoldAndStem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sameAs");
        QTest::newRow("forms") << QStringLiteral("дуэль дуэли дуэлью") << QStringLiteral("дуэль дуэль дуэль");
        QTest::newRow("ё") << QStringLiteral("Ёлка ещё") << QStringLiteral("елка еще");
        QTest::newRow("stress mark") << QStringLiteral("ду\u0301эль") << QStringLiteral("дуэль");
        QTest::newRow("english") << QStringLiteral("Running runs") << QStringLiteral("run run");
        QTest::newRow("words split") << QStringLiteral("что-то, 1812г.") << QStringLiteral("что то 1812г");
    }
    void tokensFoldAndStem()
    {
        QFETCH(QString, text);
        QFETCH(QString, sameAs);
        QCOMPARE(tokensOf(text), tokensOf(sameAs));
    }

    void pageTextDropsMarkup_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("head, script, style")
            << cp1251(pageHtml(QStringLiteral("<script>var слово;</script><style>p {}</style><p>Текст</p>")))
            << QStringLiteral("Текст");
        QTest::newRow("entities") << QByteArray("<p>&laquo;A&nbsp;&amp;&#1041;&raquo;</p>") << QStringLiteral("«A &Б»");
        QTest::newRow("soft hyphen") << QByteArray("<p>\xef\xf0\xe8&shy;\xec\xe5\xf0 \xe4\xe5\xad\xeb\xee</p>")
                                     << QStringLiteral("пример дело");
        QTest::newRow("blocks break, inline not")
            << QByteArray("<div>one</div><p>two<br>three</p><td>four</td><b>fi</b><i>ve</i>")
            << QStringLiteral("one two three four five");
        QTest::newRow("declared charset")
            << QByteArray("<meta charset=\"utf-8\"><p>\xd0\xaf</p>") << QStringLiteral("Я");
    }
    void pageTextDropsMarkup()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, text);
        QCOMPARE(QString::fromUtf8(pageText(html)), text);
    }

    void queries_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("any form") << QStringLiteral("дуэль") << QStringList{"Бэла", "Выстрел", "Метель"};
        QTest::newRow("ё as е") << QStringLiteral("елка") << QStringList{"Выстрел"};
        QTest::newRow("all words") << QStringLiteral("дуэли белый") << QStringList{"Бэла", "Метель"};
        QTest::newRow("phrase") << QStringLiteral("\"белая метель\"") << QStringList{"Метель"};
        QTest::newRow("phrase in order") << QStringLiteral("\"метель белая\"") << QStringList{};
        QTest::newRow("prefix") << QStringLiteral("печор*") << QStringList{"Бэла"};
        QTest::newRow("exclusion") << QStringLiteral("дуэль -граф") << QStringList{"Бэла", "Метель"};
        QTest::newRow("OR") << QStringLiteral("граф OR печорин") << QStringList{"Бэла", "Выстрел"};
        QTest::newRow("operators are words") << QStringLiteral("дуэль NEAR") << QStringList{};
    }
    void queries()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, found);
        QCOMPARE(captionsFound(query), found);
    }

    void malformedQueries_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("empty") << QStringLiteral("  ");
        QTest::newRow("open quote") << QStringLiteral("\"белая метель");
        QTest::newRow("OR alone") << QStringLiteral("OR дуэль");
        QTest::newRow("only excluded") << QStringLiteral("-дуэль");
        QTest::newRow("bare star") << QStringLiteral("*");
    }
    void malformedQueries()
    {
        QFETCH(QString, query);
        QVERIFY_THROWS_EXCEPTION(QueryError, FullTextIndex(m_indexFile).search(query, 10));
    }

    void pageNamedTwiceIsOneHit()
    {
        const SearchResults results = FullTextIndex(m_indexFile).search(QStringLiteral("метель"), 10);
        QCOMPARE(results.total, 1);
        QCOMPARE(results.hits.at(0).entry, 1);
        QCOMPARE(results.hits.at(0).caption, QStringLiteral("Пушкин   | Повести | Метель"));
        QCOMPARE(results.hits.at(0).page, QStringLiteral("Library\\povesti\\metel.htm"));
        QVERIFY(
            results.hits.at(0).snippet.contains(MatchStart + QStringLiteral("метель") + MatchEnd, Qt::CaseInsensitive));
    }

    // Each rule of freshness once: unchanged, a changed page, a removed book;
    // and the words of replaced pages, once they pile up, dropped.
    void updatesFollowTheLibrary()
    {
        QCOMPARE(update().books, 0);
        writePage(m_folder.filePath(QStringLiteral("Library/geroj/bela.htm")), QStringLiteral("<p>Казбич</p>"), 5);
        QCOMPARE(captionsFound(QStringLiteral("печорин")), QStringList{"Бэла"});  // until the update
        QCOMPARE(update().books, 1);
        QCOMPARE(captionsFound(QStringLiteral("печорин")), QStringList());
        QCOMPARE(captionsFound(QStringLiteral("казбич")), QStringList{"Бэла"});

        QVERIFY(QDir(m_folder.filePath(QStringLiteral("Library/geroj"))).removeRecursively());
        writeFile(m_folder.filePath(QStringLiteral("books.xml")),
                  cp1251(cataloguePacket({{QStringLiteral("Пушкин"), QString(), QString(), QStringLiteral("Повести"),
                                           QStringLiteral("povesti")}}))
                      + "\r\n");
        QCOMPARE(update().books, 1);  // the replaced pages were over a quarter: afresh
        QCOMPARE(update().books, 0);
        QCOMPARE(captionsFound(QStringLiteral("казбич")), QStringList());
        QCOMPARE(captionsFound(QStringLiteral("дуэль")), (QStringList{"Выстрел", "Метель"}));
    }

    void damagedIndexIsSetAside()
    {
        QTemporaryDir cache;
        const QString file = cache.filePath(QStringLiteral("index.db"));
        writeFile(file, QByteArray(8192, 'x'));
        const FullTextIndex index(file);
        QVERIFY(index.wasSetAside());
        QVERIFY(QFileInfo::exists(file + QStringLiteral(".damaged")));
        QCOMPARE(index.search(QStringLiteral("дуэль"), 10).total, 0);
        QVERIFY(!FullTextIndex(file).wasSetAside());
    }
};

QTEST_GUILESS_MAIN(TestFullText)
#include "tst_fulltext.moc"

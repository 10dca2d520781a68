// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport.h"

#include "core/error.h"
#include "core/library.h"
#include "core/search.h"

#include <QTest>

class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void matching_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("searchText");
        QTest::addColumn<bool>("matches");
        QTest::newRow("lower finds capitalised") << "Пушкин Александр"
                                                 << "пушк" << true;
        QTest::newRow("lower finds capitals") << "ПУШКИНСКИЕ МЕСТА"
                                              << "пушк" << true;
        QTest::newRow("ё and Ё") << "ЁЛКИ"
                                 << "ёлк" << true;
        QTest::newRow("е is not ё") << "Ёлки"
                                    << "елк" << false;
        QTest::newRow("latin") << "Hamlet"
                               << "AMLE" << true;
        QTest::newRow("ukrainian і") << "Київ"
                                     << "КИЇ" << true;
        QTest::newRow("asterisk is literal") << "Глава 1"
                                             << "Гл*" << false;
        QTest::newRow("asterisk matches asterisk") << "Гл* ава"
                                                   << "гл*" << true;
        QTest::newRow("question mark is literal") << "Что?"
                                                  << "что?" << true;
        QTest::newRow("question mark needs one") << "Чтоб"
                                                 << "что?" << false;
        QTest::newRow("contiguous run") << "Пуш кин"
                                        << "пушкин" << false;
    }

    void matching()
    {
        QFETCH(QString, text);
        QFETCH(QString, searchText);
        QFETCH(bool, matches);
        QCOMPARE(textMatches(text, searchForm(searchText)), matches);
    }

    void walkExpandsBeforeTestingAndReachesAddedNodes()
    {
        LibraryTree tree;
        const auto author = tree.addRoot(QStringLiteral("Автор"));
        const auto book = tree.addChild(author, QStringLiteral("Книга"), TExtInfoLib(QStringLiteral("b")));
        tree.setHasChildrenMark(book, true);
        const auto leaf = tree.addRoot(QStringLiteral("Лист"));
        QList<LibraryTree::Node> expanded;
        auto expand = [&](LibraryTree::Node node) {
            expanded << node;
            if (node == book && tree.childCount(book) == 0)
                tree.addChild(book, QStringLiteral("Глава про лист"), TExtInfoLib(QStringLiteral("p")));
        };
        const auto chapter = findInTree(tree, tree.firstRoot(), QStringLiteral("лист"), expand);
        QCOMPARE(tree.text(chapter), QStringLiteral("Глава про лист"));
        QCOMPARE(expanded, (QList<LibraryTree::Node>{author, book}));

        // Going on after the match; a node without children is never expanded.
        QCOMPARE(findInTree(tree, tree.nextInPreorder(chapter), QStringLiteral("лист"), expand), leaf);
        QCOMPARE(expanded.size(), 2);
        QCOMPARE(findInTree(tree, tree.nextInPreorder(leaf), QStringLiteral("лист"), expand), LibraryTree::NoNode);
        QCOMPARE(findInTree(LibraryTree(), LibraryTree::NoNode, QStringLiteral("лист"), expand), LibraryTree::NoNode);
    }

    void aFailedExpansionEndsTheWalk()
    {
        LibraryTree tree;
        const auto book = tree.addChild(tree.addRoot(QStringLiteral("Автор")), QStringLiteral("Книга"),
                                        TExtInfoLib(QStringLiteral("b")));
        tree.setHasChildrenMark(book, true);
        tree.addRoot(QStringLiteral("Книга после"));
        int tested = 0;
        QVERIFY_THROWS_EXCEPTION(
            AppError, findInTree(tree, tree.firstRoot(), QStringLiteral("после"), [&](LibraryTree::Node node) {
                ++tested;
                if (node == book)
                    throw AppError(QStringLiteral("File not found"));
            }));
        QCOMPARE(tested, 2);
    }

    void addressLocatesItsNodeAgain_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("found");  // the node's text; empty for none
        QTest::newRow("as kept") << QStringLiteral("[[1,\"Пушкин  \"],[0,\"Метель \\\"1830\\\" \\\\\"]]")
                                 << QStringLiteral("Метель \"1830\" \\");
        QTest::newRow("moved") << QStringLiteral("[[1,\"Гоголь  \"],[7,\"Нос\"]]") << QStringLiteral("Нос");
        QTest::newRow("gone") << QStringLiteral("[[0,\"Гоголь  \"],[0,\"Вий\"]]") << QString();
        QTest::newRow("renamed author") << QStringLiteral("[[0,\"Гоголь Н.\"],[0,\"Нос\"]]") << QString();
        QTest::newRow("damaged") << QStringLiteral("[[0,\"Гоголь  \"],[0]]") << QString();
        QTest::newRow("no JSON") << QStringLiteral("Гоголь | Нос") << QString();
    }

    void addressLocatesItsNodeAgain()
    {
        QFETCH(QString, address);
        QFETCH(QString, found);
        Library library(QDir::tempPath());
        library.loadCatalogue(cp1251(cataloguePacket(
            {{QStringLiteral("Гоголь"), QString(), QString(), QStringLiteral("Нос"), QStringLiteral("n")},
             {QStringLiteral("Пушкин"), QString(), QString(), QStringLiteral("Метель \"1830\" \\"),
              QStringLiteral("m")}})));
        QList<LibraryTree::Node> expanded;
        const LibraryTree::Node node =
            library.nodeAt(addressOfText(address), [&](LibraryTree::Node parent) { expanded << parent; });
        QCOMPARE(node == LibraryTree::NoNode ? QString() : library.tree().text(node), found);
        if (node == LibraryTree::NoNode)
            return;
        // Only the path was expanded, and the address kept is the one given.
        QCOMPARE(expanded, QList<LibraryTree::Node>{library.tree().parent(node)});
        QCOMPARE(library.nodeAt(addressOfText(addressText(library.entryAddress(node))), [](LibraryTree::Node) {}),
                 node);
    }
};

QTEST_APPLESS_MAIN(TestSearch)
#include "tst_search.moc"

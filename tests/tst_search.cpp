// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/error.h"
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
};

QTEST_APPLESS_MAIN(TestSearch)
#include "tst_search.moc"

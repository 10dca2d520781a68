// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/librarytree.h"

#include <QTest>

class TestLibraryTree : public QObject
{
    Q_OBJECT

private:
    // Builds author > book > entries down a chain of texts; returns the last node.
    static LibraryTree::Node chain(LibraryTree &tree, const QStringList &texts)
    {
        LibraryTree::Node node = tree.addRoot(texts.first());
        for (qsizetype i = 1; i < texts.size(); ++i)
            node = tree.addChild(node, texts.at(i), TExtInfoLib(QString()));
        return node;
    }

private slots:
    void captions_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("caption");
        QTest::newRow("author") << QStringList{"A"} << "A";
        QTest::newRow("entry") << QStringList{"A", "B", "C"} << "A | B | C";
        QTest::newRow("entry named like its book") << QStringList{"A", "B", "B"} << "A | B";
        QTest::newRow("sub-entry named like its entry") << QStringList{"A", "B", "C", "C"} << "A | B | C";
        QTest::newRow("entry named like the author") << QStringList{"A", "B", "A"} << "A | B | A";
        QTest::newRow("empty entry") << QStringList{"A", "B", ""} << "A | B";
        QTest::newRow("empty text higher up") << QStringList{"A", "B", "", "C"} << "A | B |  | C";
        QTest::newRow("letter case counts") << QStringList{"A", "b", "B"} << "A | b | B";
    }

    void captions()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, caption);
        LibraryTree tree;
        QCOMPARE(tree.caption(chain(tree, texts)), caption);
    }

    void preorderVisitsEveryNodeOnce()
    {
        LibraryTree tree;
        const auto a = tree.addRoot("a");
        const auto b = tree.addRoot("b");
        const auto a1 = tree.addChild(a, "a1", std::nullopt);
        const auto b1 = tree.addChild(b, "b1", std::nullopt);
        const auto a2 = tree.addChild(a, "a2", std::nullopt);
        const auto a11 = tree.addChild(a1, "a11", std::nullopt);
        QStringList order;
        for (auto node = tree.firstRoot(); node != LibraryTree::NoNode; node = tree.nextInPreorder(node))
            order << tree.text(node);
        QCOMPARE(order, (QStringList{"a", "a1", "a11", "a2", "b", "b1"}));
        QCOMPARE(tree.level(a11), 2);
        QCOMPARE(tree.row(a2), 1);
        QCOMPARE(tree.parent(b1), b);
        QCOMPARE(tree.nextInPreorder(b1), LibraryTree::NoNode);
        QCOMPARE(LibraryTree().firstRoot(), LibraryTree::NoNode);
    }
};

QTEST_APPLESS_MAIN(TestLibraryTree)
#include "tst_librarytree.moc"

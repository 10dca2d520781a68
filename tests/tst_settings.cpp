// SPDX-License-Identifier: GPL-3.0-or-later
#include "storesupport.h"
#include "testsupport.h"

#include "core/error.h"
#include "core/placement.h"
#include "core/searchhistory.h"
#include "core/settings.h"

#include <functional>

using OptionalList = std::optional<QStringList>;
using OptionalRect = std::optional<QRect>;
Q_DECLARE_METATYPE(OptionalList)
Q_DECLARE_METATYPE(OptionalRect)

namespace {

const QString Main = QStringLiteral("main");
const ScreenMetrics Screen1024{QSize(1024, 768), 96};
const QRect CurrentRect(5, 5, 100, 100);

// The message of the AppError an action throws, or an empty text.
QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &error) {
        return error.message();
    }
    return {};
}

QStringList numbered(int count)
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result << QStringLiteral("h%1").arg(i);
    return result;
}

}  // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeStore(); }

    void addToHistory_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QStringList six{"Пушкин", "Гоголь", "Чехов", "Блок", "Бунин", "толстой"};
        QTest::newRow("case-different entry moves up in its stored form")
            << six << "Толстой" << QStringList{"толстой", "Пушкин", "Гоголь", "Чехов", "Блок", "Бунин"};
        QTest::newRow("ё and Latin letters fold")
            << QStringList{"Tolstoy", "ёлки"} << "ЁЛКИ" << QStringList{"ёлки", "Tolstoy"};
        QTest::newRow("text already at the head") << six << "Пушкин" << six;
        QTest::newRow("only a whole entry matches")
            << QStringList{"Толстой Лев"} << "Толстой" << QStringList{"Толстой", "Толстой Лев"};
        QTest::newRow("blanks and control characters are trimmed") << QStringList{"a"} << "  \tЧехов\r\n"
                                                                   << QStringList{"Чехов", "a"};
        QTest::newRow("blank text changes nothing") << six << " \t " << six;
        QTest::newRow("a full history drops its oldest entry")
            << numbered(18) << "new" << (QStringList{"new"} + numbered(17));
        QTest::newRow("a longer history from the store drops one entry only")
            << numbered(21) << "new" << (QStringList{"new"} + numbered(20));
    }

    void addToHistory()
    {
        QFETCH(QStringList, history);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        AddToHistory(text, history);
        QCOMPARE(history, expected);
    }

    void positionInWorkArea_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("workArea");
        QTest::addColumn<QPoint>("expected");
        const QRect area(0, 0, 1024, 738);
        QTest::newRow("left of the area") << QRect(-20, 100, 800, 600) << area << QPoint(0, 100);
        QTest::newRow("wider, starting inside") << QRect(10, 0, 1200, 600) << area << QPoint(-176, 0);
        QTest::newRow("wider, starting left of it") << QRect(-50, 0, 1200, 600) << area << QPoint(0, 0);
        QTest::newRow("task bar on the left") << QRect(0, 0, 800, 600) << QRect(60, 0, 964, 768) << QPoint(60, 0);
        QTest::newRow("below the area") << QRect(100, 500, 800, 600) << area << QPoint(100, 138);
        QTest::newRow("far off") << QRect(2000000000, -2000000000, 800, 600) << area << QPoint(224, 0);
    }

    void positionInWorkArea()
    {
        QFETCH(QRect, window);
        QFETCH(QRect, workArea);
        QFETCH(QPoint, expected);
        QCOMPARE(::positionInWorkArea(window, workArea), expected);
    }

    void openingCreatesTheStore()
    {
        SettingsStore store(StoreKeyPath);
        QVERIFY(QFileInfo(storePath()).isFile());
        QCOMPARE(errorOf([] { SettingsStore other(QStringLiteral("\\Software\\Brimvel")); }),
                 QStringLiteral("Failed to create key \\Software\\Brimvel"));
    }

    void textsRoundTrip()
    {
        const QStringList texts{"Толстой ё", "1,2,3,4", "  blanks  ", "@Invalid()", "", "a;b=c\\d/e\"f\ng"};
        {
            SettingsStore store(StoreKeyPath);
            for (int i = 0; i < texts.size(); ++i)
                store.writeText(Main, QString::number(i), texts.at(i));
            store.commit();
        }
        const SettingsStore store(StoreKeyPath);
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(store.readText(Main, QString::number(i), QStringLiteral("default")), texts.at(i));
        QVERIFY(!store.valueExists(Main, QStringLiteral("missing")));
        QCOMPARE(store.readText(Main, QStringLiteral("missing"), QStringLiteral("default")), QStringLiteral("default"));
    }

    void integers_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QVariant("-42") << -42;
        QTest::newRow("too large") << QVariant("99999999999") << 7;
        QTest::newRow("trailing letters") << QVariant("12abc") << 7;
        QTest::newRow("blank before") << QVariant(" 5") << 7;
        QTest::newRow("hexadecimal") << QVariant("0x10") << 7;
        QTest::newRow("missing") << QVariant() << 7;
    }

    void integers()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        if (stored.isValid())
            plant({{QStringLiteral("main/FormVersion"), stored}});
        const SettingsStore store(StoreKeyPath);
        QCOMPARE(store.readInteger(Main, QStringLiteral("FormVersion"), 7), expected);
    }

    void valuesOfOtherTypesAreRefused_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("list") << QVariant(QStringList{"1", "2", "3", "4"});
        QTest::newRow("bytes") << QVariant(QByteArray("1,2"));
        QTest::newRow("size") << QVariant(QSize(3, 4));
    }

    void valuesOfOtherTypesAreRefused()
    {
        QFETCH(QVariant, stored);
        plant({{QStringLiteral("main/NormPos"), stored}});
        const SettingsStore store(StoreKeyPath);
        QCOMPARE(errorOf([&] { store.readText(Main, QStringLiteral("NormPos")); }),
                 QStringLiteral("Invalid data type for 'NormPos'"));
    }

    void deleteSectionTakesWhatIsBelowIt()
    {
        plant(
            {{"search/FormVersion", "0"}, {"search.cmbMask_Items/Count", "1"}, {"search.cmbMask_Items/below/x", "x"}});
        {
            SettingsStore store(StoreKeyPath);
            store.deleteSection(QStringLiteral("search.cmbMask_Items"));
            store.commit();
        }
        QCOMPARE(rawStore()->allKeys(), QStringList{"search/FormVersion"});
    }

    void garbageFileIsReadAsFarAsItGoesAndReplaced()
    {
        writeFile(storePath(), QByteArray("\x00\xff[main\nFormVersion\n=\x01[", 20) + QByteArray(5000, '\xff'));
        {
            SettingsStore store(StoreKeyPath);
            QCOMPARE(store.readInteger(Main, QStringLiteral("FormVersion"), 3), 3);
            store.writeInteger(Main, QStringLiteral("LibBooks_Width"), 200);
            store.commit();
        }
        QCOMPARE(rawStore()->allKeys(), QStringList{"main/LibBooks_Width"});
    }

    void unreadableStoreFails()
    {
        QVERIFY(QDir().mkpath(storePath()));
        SettingsStore store(StoreKeyPath);
        QCOMPARE(errorOf([&] { store.readText(Main, QStringLiteral("FormVersion")); }),
                 QStringLiteral("Failed to get data for 'FormVersion' in %1").arg(storePath()));
        store.writeInteger(Main, QStringLiteral("FormVersion"), 0);
        store.writeInteger(Main, QStringLiteral("ShowCmd"), 1);
        QCOMPARE(errorOf([&] { store.commit(); }),
                 QStringLiteral("Failed to set data for 'FormVersion' in %1").arg(storePath()));
    }

    void stringListsRoundTrip()
    {
        plant({{"s.l/Item5", "stale"}});
        const QStringList items{"Толстой", "  blanks  ", "a,b"};
        {
            SettingsStore store(StoreKeyPath);
            writeStringList(store, QStringLiteral("s.l"), items);
            store.commit();
        }
        QCOMPARE(rawStore()->allKeys(), (QStringList{"s.l/Count", "s.l/Item0", "s.l/Item1", "s.l/Item2"}));
        SettingsStore store(StoreKeyPath);
        QCOMPARE(readStringList(store, QStringLiteral("s.l")), OptionalList(items));
        writeStringList(store, QStringLiteral("s.l"), {});
        store.commit();
        QCOMPARE(rawStore()->allKeys(), QStringList());
    }

    void storedListCounts_data()
    {
        QTest::addColumn<ValueMap>("stored");
        QTest::addColumn<OptionalList>("expected");
        const auto list = [](const QString &count, const QList<int> &present) {
            ValueMap values{{QStringLiteral("s.l/Count"), count}};
            for (int index : present)
                values.insert(QStringLiteral("s.l/Item%1").arg(index), QStringLiteral("e%1").arg(index));
            return values;
        };
        QTest::newRow("missing entries are empty") << list("4", {0, 2}) << OptionalList({"e0", "", "e2", ""});
        QTest::newRow("count with blanks") << list(" 2 ", {0, 1}) << OptionalList({"e0", "e1"});
        QTest::newRow("count 0") << list("0", {0}) << OptionalList();
        QTest::newRow("negative count") << list("-3", {0}) << OptionalList();
        QTest::newRow("non-numeric count") << list("many", {0}) << OptionalList();
        QTest::newRow("two billion") << list("2000000000", {0, 3}) << OptionalList({"e0", "", "", "e3"});
        QTest::newRow("two billion, no entries") << list("2000000000", {}) << OptionalList();
    }

    void storedListCounts()
    {
        QFETCH(ValueMap, stored);
        QFETCH(OptionalList, expected);
        plant(stored);
        const SettingsStore store(StoreKeyPath);
        QCOMPARE(readStringList(store, QStringLiteral("s.l")), expected);
    }

    void placementRoundTrip()
    {
        WindowPlacement placement;
        placement.state = ShowState::Maximised;
        placement.normalRect = QRect(10, 20, 300, 200);
        {
            SettingsStore store(StoreKeyPath);
            writePlacement(store, Main, placement, Screen1024);
            store.commit();
        }
        const QMap<QString, QString> expected{{"Flags", "0"},
                                              {"ShowCmd", "3"},
                                              {"PixelsPerInch", "96"},
                                              {"MinMaxPos(1024x768)", "-1,-1,-1,-1"},
                                              {"MinMaxPos", "-1,-1,-1,-1"},
                                              {"NormPos(1024x768)", "10,20,310,220"},
                                              {"NormPos", "10,20,310,220"}};
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(storedValue(QStringLiteral("main/") + it.key()), QVariant(it.value()));
        const SettingsStore store(StoreKeyPath);
        QCOMPARE(readNormalRect(store, Main, Screen1024, CurrentRect), OptionalRect(placement.normalRect));
        QCOMPARE(readShowState(store, Main), ShowState::Maximised);
    }

    void storedNormalRect_data()
    {
        QTest::addColumn<ValueMap>("stored");
        QTest::addColumn<OptionalRect>("expected");
        const std::pair<QString, QVariant> plain{"main/NormPos", "1,1,51,51"};
        QTest::newRow("this screen size first")
            << ValueMap{{"main/NormPos(1024x768)", "10,20,310,220"}, plain} << OptionalRect(QRect(10, 20, 300, 200));
        QTest::newRow("another size: the plain value")
            << ValueMap{{"main/NormPos(1280x1024)", "10,20,310,220"}, plain} << OptionalRect(QRect(1, 1, 50, 50));
        QTest::newRow("empty sized value: the plain value")
            << ValueMap{{"main/NormPos(1024x768)", ""}, plain} << OptionalRect(QRect(1, 1, 50, 50));
        QTest::newRow("other pixels per inch") << ValueMap{plain, {"main/PixelsPerInch", "120"}} << OptionalRect();
        QTest::newRow("nothing stored") << ValueMap{} << OptionalRect();
        QTest::newRow("only the min-max text")
            << ValueMap{{"main/MinMaxPos", "-1,-1,-1,-1"}} << OptionalRect(CurrentRect);
        QTest::newRow("words at blanks, missing ones from the window")
            << ValueMap{{"main/NormPos", " 10  20"}} << OptionalRect(QRect(10, 20, 95, 85));
        QTest::newRow("non-numeric word from the window")
            << ValueMap{{"main/NormPos", "10,x,310,220"}} << OptionalRect(QRect(10, 5, 300, 215));
        QTest::newRow("left not less than right") << ValueMap{{"main/NormPos", "300,20,300,220"}} << OptionalRect();
        QTest::newRow("wider than int") << ValueMap{{"main/NormPos", "-2000000000,0,2000000000,10"}} << OptionalRect();
    }

    void storedNormalRect()
    {
        QFETCH(ValueMap, stored);
        QFETCH(OptionalRect, expected);
        plant(stored);
        const SettingsStore store(StoreKeyPath);
        QCOMPARE(readNormalRect(store, Main, Screen1024, CurrentRect), expected);
    }

    void showStates()
    {
        const QList<std::pair<QString, ShowState>> cases{
            {"1", ShowState::Normal},    {"5", ShowState::Normal},    {"9", ShowState::Normal},
            {"4", ShowState::Normal},    {"x", ShowState::Normal},    {"2", ShowState::Minimised},
            {"6", ShowState::Minimised}, {"7", ShowState::Minimised}, {"3", ShowState::Maximised}};
        for (const auto &[stored, expected] : cases) {
            plant({{QStringLiteral("main/ShowCmd"), stored}});
            const SettingsStore store(StoreKeyPath);
            QVERIFY2(readShowState(store, Main) == expected, qPrintable(stored));
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"

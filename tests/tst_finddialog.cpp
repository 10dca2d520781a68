// SPDX-License-Identifier: GPL-3.0-or-later
#define BRIMVEL_GUI_TESTS
#include "testsupport.h"

#include "core/placement.h"
#include "core/text.h"
#include "ui/fFind.h"
#include "ui/fMain.h"
#include "ui/formstorage.h"

#include "storesupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>

namespace {

const QString HistorySection = QStringLiteral("search.cmbMask_Items");

void plantHistory(const QStringList &items)
{
    ValueMap values{{HistorySection + QStringLiteral("/Count"), QString::number(items.size())}};
    for (int i = 0; i < items.size(); ++i)
        values.insert(HistorySection + QStringLiteral("/Item%1").arg(i), items.at(i));
    plant(values);
}

QStringList storedHistory()
{
    QStringList items;
    const int count = storedValue(HistorySection + QStringLiteral("/Count")).toInt();
    for (int i = 0; i < count; ++i)
        items << storedValue(HistorySection + QStringLiteral("/Item%1").arg(i)).toString();
    return items;
}

// A store that can no longer be written: a directory in its place.
bool makeStoreUnwritable()
{
    QFile::remove(storePath());
    return QDir().mkpath(storePath());
}

QStringList items(const QComboBox *box)
{
    QStringList result;
    for (int i = 0; i < box->count(); ++i)
        result << box->itemText(i);
    return result;
}

enum class CloseWay { Search, CancelButton, Escape, CloseBox };

void closeDialog(TfrmFind &dialog, CloseWay way)
{
    switch (way) {
    case CloseWay::Search: QTest::keyClick(dialog.cmbMask, Qt::Key_Return); break;
    case CloseWay::CancelButton: QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton); break;
    case CloseWay::Escape: QTest::keyClick(dialog.cmbMask, Qt::Key_Escape); break;
    case CloseWay::CloseBox: dialog.close(); break;
    }
}

// An empty library in a temporary working directory, for as long as it lives.
struct EmptyLibrary
{
    EmptyLibrary() { writeFile(directory.filePath(QStringLiteral("books.xml")), cp1251(cataloguePacket({}))); }

    TemporaryWorkingDirectory directory;
};

// The main window on an empty library, for the tests of its placement;
// frameless, so that its frame and its client rectangle coincide.
class StoredWindow : private EmptyLibrary, public TfrmMain
{
public:
    StoredWindow() { setWindowFlag(Qt::FramelessWindowHint); }

    void showAndWait()
    {
        show();
        QVERIFY(QTest::qWaitForWindowExposed(this));
    }

    int treeWidth() const { return Splitter1->sizes().value(0); }
};

}  // namespace

Q_DECLARE_METATYPE(CloseWay)

class TestFindDialog : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeStore(); }

    void dialogOpensCentredWithAnEmptyBox()
    {
        plantHistory({"Толстой"});
        QMainWindow owner;
        owner.setGeometry(100, 120, 600, 400);
        owner.show();
        TfrmFind dialog(&owner);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.size(), QSize(362, 127));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY((dialog.geometry().center() - owner.geometry().center()).manhattanLength() <= 2);
        QCOMPARE(dialog.cmbMask->count(), 1);
        QCOMPARE(dialog.cmbMask->currentText(), QString());
        QVERIFY(!dialog.BitBtn1->isEnabled());
        QTRY_COMPARE(QApplication::focusWidget(), dialog.cmbMask);
        typeText(dialog.cmbMask, QString(300, u'ж'));
        QCOMPARE(dialog.cmbMask->currentText().size(), 255);
    }

    void enterSearchesOnlyForFourCharacters_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("three letters") << "абв" << false;
        QTest::newRow("four letters") << "абвг" << true;
        QTest::newRow("three letters between blanks") << " абв " << false;
        QTest::newRow("four letters between blanks") << " абвг " << true;
        QTest::newRow("blanks only") << "      " << false;
    }

    void enterSearchesOnlyForFourCharacters()
    {
        QFETCH(QString, typed);
        QFETCH(bool, enabled);
        TfrmFind dialog;
        dialog.show();
        typeText(dialog.cmbMask, typed);
        QCOMPARE(dialog.cmbMask->currentText(), typed);
        QCOMPARE(dialog.BitBtn1->isEnabled(), enabled);
        QTest::keyClick(dialog.cmbMask, Qt::Key_Return);
        QCOMPARE(dialog.isVisible(), !enabled);
        if (enabled) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.cmbMask->currentText(), typed);
            QCOMPARE(items(dialog.cmbMask), QStringList{trimText(typed)});
        }
    }

    void searchKeepsTheHistoryAcrossDialogs_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("first text") << QStringList() << "  Чехов" << QStringList{"Чехов"};
        QTest::newRow("case-different entry moves to the head")
            << QStringList{"Пушкин", "Гоголь", "Чехов", "Блок", "Бунин", "толстой"} << "Толстой"
            << QStringList{"толстой", "Пушкин", "Гоголь", "Чехов", "Блок", "Бунин"};
    }

    void searchKeepsTheHistoryAcrossDialogs()
    {
        QFETCH(QStringList, history);
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        plantHistory(history);
        {
            TfrmFind dialog;
            dialog.show();
            QCOMPARE(items(dialog.cmbMask), history);
            QCOMPARE(dialog.cmbMask->currentText(), QString());
            dialog.cmbMask->setEditText(typed);
            closeDialog(dialog, CloseWay::Search);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.cmbMask->currentText(), typed);
            QCOMPARE(items(dialog.cmbMask), expected);
        }
        QCOMPARE(storedHistory(), expected);
        QCOMPARE(storedValue(QStringLiteral("search/FormVersion")), QVariant("0"));
        TfrmFind next;
        next.show();
        QCOMPARE(items(next.cmbMask), expected);
        QCOMPARE(next.cmbMask->currentText(), QString());
    }

    void closingWithoutSearchWritesTheHistoryUnchanged_data()
    {
        QTest::addColumn<CloseWay>("way");
        QTest::newRow("Отмена") << CloseWay::CancelButton;
        QTest::newRow("Escape") << CloseWay::Escape;
        QTest::newRow("close box") << CloseWay::CloseBox;
    }

    void closingWithoutSearchWritesTheHistoryUnchanged()
    {
        QFETCH(CloseWay, way);
        plantHistory({"Толстой", "Чехов"});
        plant({{HistorySection + QStringLiteral("/Item7"), "left over"}});
        TfrmFind dialog;
        dialog.show();
        typeText(dialog.cmbMask, QStringLiteral("Бунин"));
        closeDialog(dialog, way);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(items(dialog.cmbMask), (QStringList{"Толстой", "Чехов"}));
        QCOMPARE(storedHistory(), (QStringList{"Толстой", "Чехов"}));
        QCOMPARE(storedValue(HistorySection + QStringLiteral("/Item7")), QVariant());
        QCOMPARE(storedValue(QStringLiteral("search/FormVersion")), QVariant("0"));
    }

    void eachCloseSavesOnce_data()
    {
        QTest::addColumn<CloseWay>("way");
        QTest::newRow("Искать") << CloseWay::Search;
        QTest::newRow("Отмена") << CloseWay::CancelButton;
        QTest::newRow("Escape") << CloseWay::Escape;
        QTest::newRow("close box") << CloseWay::CloseBox;
    }

    // A failing save shows one box: the save tried once more when the
    // dialog goes fails the same way and is not shown again.
    void eachCloseSavesOnce()
    {
        QFETCH(CloseWay, way);
        MessageBoxRecorder boxes;
        {
            TfrmFind dialog;
            dialog.show();
            if (!makeStoreUnwritable())
                QSKIP("cannot put a directory in place of the store");
            dialog.cmbMask->setEditText(QStringLiteral("Толстой"));
            closeDialog(dialog, way);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(boxes.boxes.size(), 1);
            QCOMPARE(boxes.boxes.at(0).text,
                     QStringLiteral("Failed to set data for 'FormVersion' in %1.").arg(storePath()));
            QCOMPARE(boxes.boxes.at(0).icon, QMessageBox::Critical);
        }
        QCOMPARE(boxes.boxes.size(), 1);
    }

    void completionFromTheHistoryIgnoresCase()
    {
        plantHistory({"Война и мир", "Толстой Лев", "Толстой Алексей"});
        TfrmFind dialog;
        dialog.show();
        typeText(dialog.cmbMask, QStringLiteral("тОЛ"));
        QCOMPARE(dialog.cmbMask->currentText(), QStringLiteral("тОЛстой Лев"));
        QCOMPARE(dialog.cmbMask->lineEdit()->selectedText(), QStringLiteral("стой Лев"));
        QVERIFY(dialog.BitBtn1->isEnabled());
        QTest::keyClick(dialog.cmbMask, Qt::Key_Backspace);
        QCOMPARE(dialog.cmbMask->currentText(), QStringLiteral("тОЛ"));
        QVERIFY(!dialog.BitBtn1->isEnabled());
        // Typing over the whole text shortens it, and still completes.
        dialog.cmbMask->lineEdit()->selectAll();
        typeText(dialog.cmbMask, QStringLiteral("В"));
        QCOMPARE(dialog.cmbMask->currentText(), QStringLiteral("Война и мир"));
    }

    void pickingFromTheListEnablesSearch()
    {
        plantHistory({"abc", "Толстой"});
        TfrmFind dialog;
        dialog.show();
        QTest::keyClick(dialog.cmbMask, Qt::Key_Down);
        QCOMPARE(dialog.cmbMask->currentText(), QStringLiteral("abc"));
        QVERIFY(!dialog.BitBtn1->isEnabled());
        QTest::keyClick(dialog.cmbMask, Qt::Key_Down);
        QCOMPARE(dialog.cmbMask->currentText(), QStringLiteral("Толстой"));
        QVERIFY(dialog.BitBtn1->isEnabled());
    }

    void windowPlacementRoundTrip()
    {
        {
            StoredWindow window;
            window.showAndWait();
            QVERIFY(QFileInfo(storePath()).isFile());
            window.setGeometry(50, 60, 500, 400);
            window.Splitter1->setSizes({200, 300});
            QVERIFY(window.close());
        }
        const QMap<QString, QString> expected{{"FormVersion", "0"},
                                              {"ShowCmd", "1"},
                                              {"NormPos", "50,60,550,460"},
                                              {"Visible", "0"},
                                              {"LibBooks_Width", "200"}};
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(storedValue(QStringLiteral("main/") + it.key()), QVariant(it.value()));

        {
            StoredWindow window;
            window.showAndWait();
            QCOMPARE(window.geometry(), QRect(50, 60, 500, 400));
            QCOMPARE(window.treeWidth(), 200);
        }
        // Gone without a close: saved once more while being destroyed.
        QCOMPARE(storedValue(QStringLiteral("main/Visible")), QVariant("1"));
    }

    void windowRestore_data()
    {
        QTest::addColumn<ValueMap>("stored");
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("maximised");
        QTest::addColumn<int>("treeWidth");
        const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize designedSize = TfrmMain::DesignedClientSize;
        const QPoint designedFitted = positionInWorkArea(QRect(TfrmMain::DesignedPosition, designedSize), workArea);
        QTest::newRow("first start: as designed, fitted")
            << ValueMap{} << designedFitted << designedSize << false << TfrmMain::DesignedTreeWidth;
        QTest::newRow("stored partly outside: fitted")
            << ValueMap{{"main/NormPos", "-20,100,480,400"}} << QPoint(workArea.left(), 100) << QSize(500, 300) << false
            << TfrmMain::DesignedTreeWidth;
        QTest::newRow("maximised: not fitted")
            << ValueMap{{"main/NormPos", "-20,100,480,400"}, {"main/ShowCmd", "3"}} << QPoint(-20, 100)
            << QSize(500, 300) << true << TfrmMain::DesignedTreeWidth;
        QTest::newRow("other pixels per inch: state only")
            << ValueMap{{"main/NormPos", "10,100,510,400"}, {"main/PixelsPerInch", "120"}, {"main/ShowCmd", "3"}}
            << TfrmMain::DesignedPosition << designedSize << true << TfrmMain::DesignedTreeWidth;
        QTest::newRow("version below ours: nothing, not fitted")
            << ValueMap{{"main/FormVersion", "-1"}, {"main/NormPos", "10,100,510,400"}, {"main/LibBooks_Width", "200"}}
            << TfrmMain::DesignedPosition << designedSize << false << TfrmMain::DesignedTreeWidth;
        QTest::newRow("width") << ValueMap{{"main/LibBooks_Width", " 222 "}} << designedFitted << designedSize << false
                               << 222;
        QTest::newRow("non-numeric width: the tree's minimum")
            << ValueMap{{"main/LibBooks_Width", "wide"}} << designedFitted << designedSize << false << 150;
        QTest::newRow("unreadable width: dropped")
            << ValueMap{{"main/LibBooks_Width", QStringList{"1", "2"}}, {"main/NormPos", "10,100,510,400"}}
            << QPoint(10, 100) << QSize(500, 300) << false << TfrmMain::DesignedTreeWidth;
    }

    void windowRestore()
    {
        QFETCH(ValueMap, stored);
        QFETCH(QPoint, position);
        QFETCH(QSize, size);
        QFETCH(bool, maximised);
        QFETCH(int, treeWidth);
        plant(stored);
        MessageBoxRecorder boxes;
        StoredWindow window;
        window.showAndWait();
        QCOMPARE(boxes.boxes.size(), 0);
        QVERIFY(window.fsMain->restored());
        QCOMPARE(window.isMaximized(), maximised);
        QCOMPARE(window.normalGeometry(), QRect(position, size));
        QCOMPARE(window.treeWidth(), treeWidth);
    }

    void minimisedMainWindowOpensNormalThenMinimises()
    {
        plant({{"main/ShowCmd", "2"}, {"main/NormPos", "-20,100,480,400"}});
        StoredWindow window;
        bool normalWhenShown = false;
        window.fsMain->onRestorePlacement = [&] {
            normalWhenShown = window.windowState() == Qt::WindowNoState;
            FitFormToWorkArea(&window);
        };
        window.show();
        QVERIFY(normalWhenShown);
        QCOMPARE(window.frameGeometry().left(), QGuiApplication::primaryScreen()->availableGeometry().left());
        QTRY_VERIFY(window.isMinimized());
        QVERIFY(window.close());
        QCOMPARE(storedValue(QStringLiteral("main/ShowCmd")), QVariant("2"));
    }

    void unreadablePlacementIsReportedAndNotOverwritten()
    {
        plant({{"main/NormPos", QStringList{"1", "2", "3", "4"}}});
        MessageBoxRecorder boxes;
        {
            StoredWindow window;
            window.showAndWait();
            QCOMPARE(boxes.boxes.size(), 1);
            QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Invalid data type for 'NormPos'"));
            QVERIFY(!window.fsMain->restored());
            QVERIFY(window.close());
        }
        QCOMPARE(boxes.boxes.size(), 1);
        QCOMPARE(rawStore()->allKeys(), QStringList{"main/NormPos"});
    }

    void unwritableStoreIsReportedAndTheWindowCloses()
    {
        MessageBoxRecorder boxes;
        {
            StoredWindow window;
            window.showAndWait();
            if (!makeStoreUnwritable())
                QSKIP("cannot put a directory in place of the store");
            QVERIFY(window.close());
            QVERIFY(!window.isVisible());
            QCOMPARE(boxes.boxes.size(), 1);
            QCOMPARE(boxes.boxes.at(0).text,
                     QStringLiteral("Failed to set data for 'FormVersion' in %1.").arg(storePath()));
            QCOMPARE(boxes.boxes.at(0).caption, QStringLiteral("Библиотека BRIMVEL"));
        }
        // Tried once more when the window goes, failing as before unshown.
        QCOMPARE(boxes.boxes.size(), 1);
    }
};

BRIMVEL_GUI_TEST_MAIN(TestFindDialog)
#include "tst_finddialog.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers shared by the tests: libraries written as real Windows-1251 files
// into temporary directories, and a main() for tests that need the GUI.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

inline QByteArray cp1251(const QString &text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

// One catalogue record; every field is written, empty ones as "".
struct BookRecord
{
    QString surname, name, lastName, label, path;
};

// A catalogue data packet with the catalogue's fields and one row per record.
inline QString cataloguePacket(const QList<BookRecord> &books)
{
    auto escaped = [](QString value) {
        return value.replace(u'&', QStringLiteral("&amp;"))
            .replace(u'"', QStringLiteral("&quot;"))
            .replace(u'<', QStringLiteral("&lt;"));
    };
    QString rows;
    int recId = 0;
    for (const BookRecord &book : books)
        rows += QStringLiteral("<ROW RecId=\"%1\" SURNAME=\"%2\" NAME=\"%3\" LASTNAME=\"%4\" LOCATION=\"\" "
                               "LABEL=\"%5\" PATH=\"%6\"/>")
                    .arg(++recId)
                    .arg(escaped(book.surname), escaped(book.name), escaped(book.lastName), escaped(book.label),
                         escaped(book.path));
    return QStringLiteral("<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                          "<FIELD attrname=\"RecId\" fieldtype=\"i4\"/>"
                          "<FIELD attrname=\"SURNAME\" fieldtype=\"string\" WIDTH=\"255\"/>"
                          "<FIELD attrname=\"NAME\" fieldtype=\"string\" WIDTH=\"255\"/>"
                          "<FIELD attrname=\"LASTNAME\" fieldtype=\"string\" WIDTH=\"255\"/>"
                          "<FIELD attrname=\"LOCATION\" fieldtype=\"string\" WIDTH=\"255\"/>"
                          "<FIELD attrname=\"LABEL\" fieldtype=\"string\" WIDTH=\"255\"/>"
                          "<FIELD attrname=\"PATH\" fieldtype=\"string\" WIDTH=\"50\"/>"
                          "</FIELDS><PARAMS/></METADATA><ROWDATA>%1</ROWDATA></DATAPACKET>")
        .arg(rows);
}

// Makes a temporary directory the working directory for as long as it lives.
class TemporaryWorkingDirectory
{
public:
    TemporaryWorkingDirectory() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~TemporaryWorkingDirectory() { QDir::setCurrent(m_previous); }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Records every message box the program shows and answers it with OK.
#ifdef BRIMVEL_GUI_TESTS
#include "ui/fFind.h"
#include "ui/fMain.h"
#include "ui/platform.h"

#include <QComboBox>
#include <QTimer>

// Types text key by key as a keyboard would, letters beyond ASCII included.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar character : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(character), Qt::NoModifier);
}

struct ShownMessageBox
{
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

class MessageBoxRecorder
{
public:
    MessageBoxRecorder()
    {
        setMessageBoxObserver([this](QMessageBox &box) {
            boxes.append({box.icon(), box.windowTitle(), box.text()});
            QTimer::singleShot(0, &box, &QMessageBox::accept);
        });
    }
    ~MessageBoxRecorder() { setMessageBoxObserver({}); }
    MessageBoxRecorder(const MessageBoxRecorder &) = delete;
    MessageBoxRecorder &operator=(const MessageBoxRecorder &) = delete;

    QList<ShownMessageBox> boxes;
};

// Runs Find for `text` from its action, confirming the find dialog.
inline void findThroughDialog(TfrmMain &window, const QString &text)
{
    QTimer::singleShot(0, [text] {
        auto *dialog = qobject_cast<TfrmFind *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->cmbMask->setEditText(text);
        dialog->accept();
    });
    window.actFind->trigger();
}

// main() of a test that shows windows: the application is made as the
// program makes it, with embedded web viewers allowed.
#define BRIMVEL_GUI_TEST_MAIN(TestObject)       \
    int main(int argc, char *argv[])            \
    {                                           \
        prepareWebEngine();                     \
        TApplication application(argc, argv);   \
        TestObject test;                        \
        return QTest::qExec(&test, argc, argv); \
    }
#endif

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/error.h"
#include "core/paths.h"
#include "core/text.h"
#include "core/textfile.h"
#include "testsupport.h"

#ifdef Q_OS_UNIX
#include <sys/wait.h>
#include <unistd.h>
#endif

class TestTextFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QByteArrayList readAll(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("lines.txt"));
        writeFile(path, bytes);
        TextFileReader reader(path);
        QByteArrayList lines;
        QByteArray line;
        while (reader.readLine(line))
            lines << line;
        return lines;
    }

    // The lines of the file read as one text.
    QByteArrayList splitText(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("text.txt"));
        writeFile(path, bytes);
        // readText leaves the carriage returns for its caller to drop.
        QByteArray text = TextFileReader(path).readText();
        text.removeIf([](char c) { return c == '\r'; });
        QByteArrayList lines = text.split('\n');
        if (lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    static QString openError(const QString &path)
    {
        try {
            TextFileReader reader(path);
        } catch (const AppError &error) {
            return error.message();
        }
        return QStringLiteral("opened");
    }

private slots:
    void lineRules_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("empty file") << QByteArray() << QByteArrayList();
        QTest::newRow("crlf and lf") << QByteArray("a\r\nb\nc") << QByteArrayList{"a", "b", "c"};
        QTest::newRow("last line ended") << QByteArray("a\r\n") << QByteArrayList{"a"};
        QTest::newRow("blank lines kept") << QByteArray("a\n\n\r\nb") << QByteArrayList{"a", "", "", "b"};
        QTest::newRow("lone carriage returns dropped") << QByteArray("a\rb\r\rc\r\nd\r") << QByteArrayList{"abc", "d"};
        QTest::newRow("bare carriage returns make one line") << QByteArray("a\rb\rc") << QByteArrayList{"abc"};
        QTest::newRow("ctrl-z inside a line ends it and the file") << QByteArray("ab\x1A"
                                                                                 "cd\nef")
                                                                   << QByteArrayList{"ab"};
        QTest::newRow("ctrl-z at a line's start ends the file") << QByteArray("a\n\x1A"
                                                                              "b\nc")
                                                                << QByteArrayList{"a"};
        QTest::newRow("ctrl-z first") << QByteArray("\x1A"
                                                    "abc")
                                      << QByteArrayList();
        QTest::newRow("bytes above 127 pass") << QByteArray("\xC0\xE1\n\xFF") << QByteArrayList{"\xC0\xE1", "\xFF"};
    }

    void lineRules()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArrayList, lines);
        QCOMPARE(readAll(bytes), lines);
        QCOMPARE(splitText(bytes), lines);
    }

    void linesLongerThanTheReadBuffer()
    {
        const QByteArray longLine(3 * 1024 * 1024 + 17, 'x');
        const QByteArrayList lines = readAll(longLine + "\r\n" + longLine + "\rz");
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), longLine);
        QCOMPARE(lines.at(1), longLine + "z");

        // A first line handed on in the reader's own buffer, and one it rewrote.
        const QString path = m_dir.filePath(QStringLiteral("first.txt"));
        for (const auto &[bytes, first] :
             {std::pair{longLine + "\r\n" + longLine, longLine}, std::pair{QByteArray("a\rb\nc"), QByteArray("ab")}}) {
            writeFile(path, bytes);
            TextFileReader reader(path);
            QByteArrayView line;
            QVERIFY(reader.readLineUpToNul(line));
            QCOMPARE(reader.releaseLine(line), first);
            QVERIFY(!reader.readLineUpToNul(line));
        }
    }

    void openErrors()
    {
        writeFile(m_dir.filePath(QStringLiteral("plain.txt")), "x");
        QCOMPARE(openError(m_dir.filePath(QStringLiteral("missing.txt"))), QStringLiteral("File not found"));
        QCOMPARE(openError(m_dir.filePath(QStringLiteral("no-such-dir/missing.txt"))),
                 QStringLiteral("Invalid filename"));
        QCOMPARE(openError(m_dir.filePath(QStringLiteral("plain.txt/inside.txt"))), QStringLiteral("Invalid filename"));
        QCOMPARE(openError(m_dir.path()), QStringLiteral("File access denied"));
        QCOMPARE(openErrorMessage(EMFILE, QString()), QStringLiteral("Too many open files"));
        QCOMPARE(openErrorMessage(EIO, QString()), QStringLiteral("I/O error %1").arg(EIO));
    }

    void unreadableFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("locked.txt"));
        writeFile(path, "x");
        QFile::setPermissions(path, QFileDevice::Permissions());
        if (!QFile(path).open(QIODevice::ReadOnly)) {
            QCOMPARE(openError(path), QStringLiteral("File access denied"));
            return;
        }
#ifdef Q_OS_UNIX
        // Rights that read any file (root, as in CI) are given up in a child
        // process, which then tries the file as any other user would.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFileDevice::ExeOther));
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const uid_t nobody = 65534;
            const bool dropped = setgid(nobody) == 0 && setuid(nobody) == 0;
            _exit(dropped && openError(path) == QStringLiteral("File access denied") ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
#else
        QSKIP("running with rights that read any file");
#endif
    }

    // Matched components keep their spelling on disk, the first one that
    // matches nothing stays as written with the rest, and opening the result
    // reports what is really missing.
    void windowsPathsResolveIgnoringCase_data()
    {
        QTest::addColumn<QString>("builtPath");
        QTest::addColumn<QString>("resolved");
        QTest::addColumn<QString>("openResult");
        const QString page = QStringLiteral("Library/Book One/Text/Глава.htm");
        QTest::newRow("as written") << "Library\\Book One\\Text\\Глава.htm" << page << "opened";
        QTest::newRow("case differs at every depth") << "LIBRARY\\book one\\TEXT\\ГЛАВА.HTM" << page << "opened";
        QTest::newRow("file missing") << "library\\BOOK ONE\\text\\a.htm"
                                      << "Library/Book One/Text/a.htm"
                                      << "File not found";
        QTest::newRow("file missing in an upper directory") << "LIBRARY\\book one\\sod.btf"
                                                            << "Library/Book One/sod.btf"
                                                            << "File not found";
        QTest::newRow("directory missing") << "library\\Missing\\a.htm"
                                           << "Library/Missing/a.htm"
                                           << "Invalid filename";
    }

    void windowsPathsResolveIgnoringCase()
    {
        QFETCH(QString, builtPath);
        QFETCH(QString, resolved);
        QFETCH(QString, openResult);
        writeFile(m_dir.filePath(QStringLiteral("Library/Book One/Text/Глава.htm")), "x");
        QCOMPARE(platformPath(m_dir.path(), builtPath), m_dir.filePath(resolved));
        QCOMPARE(openError(m_dir.filePath(resolved)), openResult);
    }

    void trimming()
    {
        QCOMPARE(trimText(QStringLiteral("\t\x01 Глава 1 \r\x1F")), QStringLiteral("Глава 1"));
        QCOMPARE(trimText(QStringLiteral(" \t ")), QString());
        QCOMPARE(trimText(QStringLiteral("\u00A0a\u00A0")), QStringLiteral("\u00A0a\u00A0"));
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "tst_textfile.moc"

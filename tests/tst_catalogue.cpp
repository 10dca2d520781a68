// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/catalogue.h"
#include "core/error.h"
#include "testsupport.h"

namespace {

const QString FolkTales = QStringLiteral("Народные сказки, мифы, легенды");

// The packet of cataloguePacket with one FIELD element replaced.
QByteArray packetWithField(const QString &field, const QString &replacement)
{
    QString packet =
        cataloguePacket({{QStringLiteral("А"), QString(), QString(), QStringLiteral("Б"), QStringLiteral("p")}});
    const qsizetype start = packet.indexOf(QStringLiteral("<FIELD attrname=\"%1\"").arg(field));
    const qsizetype end = packet.indexOf(u'>', start) + 1;
    return cp1251(packet.replace(start, end - start, replacement));
}

QString openError(const QByteArray &packet)
{
    BooksRecordSet books(QStringLiteral("cdsBooks"));
    try {
        if (!packet.isEmpty())
            books.open(packet);
        books.first();
    } catch (const AppError &error) {
        return error.message();
    }
    return QStringLiteral("opened");
}

}  // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void authorText_data()
    {
        QTest::addColumn<QString>("surname");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("lastName");
        QTest::addColumn<QString>("author");
        QTest::newRow("all parts") << "Пушкин"
                                   << "Александр"
                                   << "Сергеевич"
                                   << "Пушкин Александр Сергеевич";
        QTest::newRow("empty last name keeps its blank") << "Толстой"
                                                         << "Лев"
                                                         << ""
                                                         << "Толстой Лев ";
        QTest::newRow("whole name in surname") << "Толстой Лев"
                                               << ""
                                               << ""
                                               << "Толстой Лев  ";
        QTest::newRow("leading blanks stay") << ""
                                             << ""
                                             << "Гомер"
                                             << "  Гомер";
        QTest::newRow("all empty") << ""
                                   << ""
                                   << "" << FolkTales;
        QTest::newRow("blanks and controls only") << " "
                                                  << "\t"
                                                  << "\x01" << FolkTales;
    }

    void authorText()
    {
        QFETCH(QString, surname);
        QFETCH(QString, name);
        QFETCH(QString, lastName);
        QFETCH(QString, author);
        QCOMPARE(::composeAuthorText(surname, name, lastName), author);
    }

    void recordOrderAndValues()
    {
        const QString longLabel(300, u'Ж');
        const QString longPath(80, u'p');
        BooksRecordSet books(QStringLiteral("cdsBooks"));
        books.open(cp1251(cataloguePacket({
            {QStringLiteral("Чехов"), QStringLiteral("Антон"), QStringLiteral("Павлович"), QStringLiteral("Рассказы"),
             QStringLiteral("c2")},
            {QStringLiteral("ИВАНОВ"), QStringLiteral("Иван"), QString(), QStringLiteral("Вторая"),
             QStringLiteral("i2")},
            {QStringLiteral("Иванов"), QStringLiteral("Иван"), QString(), QStringLiteral("Первая"),
             QStringLiteral("i1")},
            {QStringLiteral("Чехов"), QStringLiteral("Антон"), QStringLiteral("Павлович"), longLabel, longPath},
            {QStringLiteral("Чехов"), QStringLiteral("Антон"), QStringLiteral("Павлович"), QStringLiteral("Каштанка"),
             QStringLiteral("c1")},
            {QString(), QString(), QString(), QStringLiteral("Колобок"), QStringLiteral("f")},
            {QStringLiteral("Иванов"), QStringLiteral("Иван"), QStringLiteral("Ильич"), QStringLiteral("Третья"),
             QStringLiteral("i3")},
        })));
        QCOMPARE(books.recordCount(), 7);

        QStringList paths;
        QStringList labels;
        for (books.first(); !books.eof(); books.next()) {
            paths << books.fieldText(BookField::Path);
            labels << books.fieldText(BookField::Label);
        }
        // Letter case counts: Иванов and ИВАНОВ are distinct keys, lower case first.
        QCOMPARE(paths, (QStringList{"f", "i1", "i3", "i2", longPath, "c1", "c2"}));
        // Values wider than their declared width are used in full.
        QCOMPARE(labels.at(4), longLabel);
        books.next();
        QVERIFY(books.eof());
    }

    // References may spell one text with its combining marks in another
    // order: the collation holds the two equal, so code points decide.
    void referencesToCombiningMarksAreNormalised()
    {
        QString packet = cataloguePacket({{QStringLiteral("Ф"), {}, {}, QStringLiteral("A"), QStringLiteral("a")},
                                          {QStringLiteral("Ф"), {}, {}, QStringLiteral("B"), QStringLiteral("b")}});
        packet.replace(QStringLiteral("LABEL=\"A\""), QStringLiteral("LABEL=\"&#1105;&#803;&#769;\""))
            .replace(QStringLiteral("LABEL=\"B\""), QStringLiteral("LABEL=\"&#1077;&#803;&#776;&#769;\""));
        BooksRecordSet books(QStringLiteral("cdsBooks"));
        books.open(cp1251(packet));
        books.first();
        QCOMPARE(books.fieldText(BookField::Path), QStringLiteral("b"));
    }

    void computedAuthorFollowsEachRecord()
    {
        BooksRecordSet books(QStringLiteral("cdsBooks"));
        books.onCalcFields = [](BooksRecordSet &set) {
            set.setAuthor(::composeAuthorText(set.fieldText(BookField::Surname), set.fieldText(BookField::Name),
                                              set.fieldText(BookField::LastName)));
        };
        books.open(cp1251(cataloguePacket({
            {QString(300, u'Я'), QString(), QString(), QStringLiteral("Длинный"), QStringLiteral("l")},
            {QStringLiteral("Бунин"), QStringLiteral("Иван"), QString(), QStringLiteral("Рассказы"),
             QStringLiteral("b")},
        })));
        books.first();
        QCOMPARE(books.author(), QStringLiteral("Бунин Иван "));
        books.next();
        QCOMPARE(books.author(), QString(255, u'Я'));
    }

    void fieldsBoundByNameAndKind_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing field") << packetWithField("NAME", QString()) << "cdsBooks: Field 'NAME' not found";
        QTest::newRow("names ignore letter case")
            << packetWithField("LABEL", "<FIELD attrname=\"label\" fieldtype=\"string\" WIDTH=\"10\"/>") << "opened";
        QTest::newRow("extra fields ignored")
            << packetWithField("PATH", "<FIELD attrname=\"PATH\" fieldtype=\"string\" WIDTH=\"50\"/>"
                                       "<FIELD attrname=\"NOTE\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\"/>")
            << "opened";
        QTest::newRow("small integer fits")
            << packetWithField("RecId", "<FIELD attrname=\"RecId\" fieldtype=\"i2\"/>") << "opened";
        QTest::newRow("wide text")
            << packetWithField("SURNAME", "<FIELD attrname=\"SURNAME\" fieldtype=\"string.uni\" WIDTH=\"510\"/>")
            << "cdsBooks: Type mismatch for field 'SURNAME', expecting: String actual: WideString";
        QTest::newRow("memo") << packetWithField("LABEL",
                                                 "<FIELD attrname=\"LABEL\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\"/>")
                              << "cdsBooks: Type mismatch for field 'LABEL', expecting: String actual: Memo";
        QTest::newRow("64-bit id") << packetWithField("RecId", "<FIELD attrname=\"RecId\" fieldtype=\"i8\"/>")
                                   << "cdsBooks: Type mismatch for field 'RecId', expecting: Integer actual: LargeInt";
        QTest::newRow("text id") << packetWithField("RecId",
                                                    "<FIELD attrname=\"RecId\" fieldtype=\"string\" WIDTH=\"5\"/>")
                                 << "cdsBooks: Type mismatch for field 'RecId', expecting: Integer actual: String";
        QTest::newRow("empty line is never opened")
            << QByteArray() << "cdsBooks: Cannot perform this operation on a closed dataset";
        QTest::newRow("21 bytes") << QByteArray(21, 'x') << "Invalid data packet";
        QTest::newRow("1 byte") << QByteArray("<") << "Invalid data packet";
    }

    void fieldsBoundByNameAndKind()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QString, message);
        QCOMPARE(openError(packet), message);
    }

    void packetWithoutRecords()
    {
        BooksRecordSet books(QStringLiteral("cdsBooks"));
        books.open(cp1251(cataloguePacket({})));
        books.first();
        QVERIFY(books.eof());
    }

    void authorIndexIgnoresLetterCase()
    {
        AuthorIndex index;
        QCOMPARE(index.find(QStringLiteral("Иванов Иван ")), -1);
        index.insert(QStringLiteral("Иванов Иван "), 1);
        index.insert(QStringLiteral("Ёлкин Пётр "), 2);
        index.insert(QStringLiteral("Smith John "), 3);
        QCOMPARE(index.find(QStringLiteral("ИВАНОВ иван ")), 1);
        QCOMPARE(index.find(QStringLiteral("ЁЛКИН ПЁТР ")), 2);
        QCOMPARE(index.find(QStringLiteral("SMITH JOHN ")), 3);
        QCOMPARE(index.find(QStringLiteral("Елкин Петр ")), -1);
        QCOMPARE(index.find(QStringLiteral("Иванов Иван")), -1);
        QCOMPARE(index.find(QStringLiteral("Иванов Иван  ")), -1);
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/datapacket.h"
#include "core/error.h"

#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

namespace {

const QString Declaration = QStringLiteral("<?xml version=\"1.0\" standalone=\"yes\"?>");

QByteArray cp1251(const QString &text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

QString packetText(const QString &fields, const QString &rows, const QString &declaration = Declaration)
{
    return declaration + QStringLiteral("<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>") + fields
           + QStringLiteral("</FIELDS><PARAMS/></METADATA><ROWDATA>") + rows
           + QStringLiteral("</ROWDATA></DATAPACKET>");
}

// A packet with one field of type `fieldType` and one row holding `value`
// (written into the packet as it is, references included).
QString oneValue(const QString &fieldType, const QString &value, const QString &declaration = Declaration)
{
    return packetText(QStringLiteral("<FIELD attrname=\"V\" fieldtype=\"%1\"/>").arg(fieldType),
                      QStringLiteral("<ROW V=\"%1\"/>").arg(value), declaration);
}

// The message a packet is refused with, or "accepted".
QString refusal(const QByteArray &packet, const QStringList &unread = {})
{
    try {
        DataPacket::parse(packet, unread);
    } catch (const AppError &error) {
        return error.message();
    }
    return QStringLiteral("accepted");
}

}  // namespace

class TestDataPacket : public QObject
{
    Q_OBJECT

private slots:
    void kinds_data();
    void kinds();
    void fieldsAndValues();
    void fieldIndexIgnoresCase();
    void characterReferences_data();
    void characterReferences();
    void referencesAmongPlainValues();
    void encodings_data();
    void encodings();
    void longValuesAreCut_data();
    void longValuesAreCut();
    void integers_data();
    void integers();
    void refusals_data();
    void refusals();
    void hostileInputs();
};

void TestDataPacket::kinds_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("kind");
    const QList<std::pair<const char *, const char *>> cases = {
        {R"(fieldtype="string")", "String"},
        {R"(fieldtype="string" SUBTYPE="FixedChar")", "FixedChar"},
        {R"(fieldtype="string" SUBTYPE="Guid")", "Guid"},
        {R"(fieldtype="string.uni")", "WideString"},
        {R"(fieldtype="i1")", "ShortInt"},
        {R"(fieldtype="ui1")", "Byte"},
        {R"(fieldtype="i2")", "SmallInt"},
        {R"(fieldtype="ui2")", "Word"},
        {R"(fieldtype="I4")", "Integer"},
        {R"(fieldtype="i4" SUBTYPE="Autoinc")", "AutoInc"},
        {R"(fieldtype="ui4")", "LongWord"},
        {R"(fieldtype="i8")", "LargeInt"},
        {R"(fieldtype="r4")", "Single"},
        {R"(fieldtype="r8")", "Float"},
        {R"(fieldtype="r8" SUBTYPE="Money")", "Currency"},
        {R"(fieldtype="fixed")", "BCD"},
        {R"(fieldtype="fixedFMT")", "FMTBcd"},
        {R"(fieldtype="boolean")", "Boolean"},
        {R"(fieldtype="date")", "Date"},
        {R"(fieldtype="time")", "Time"},
        {R"(fieldtype="datetime")", "DateTime"},
        {R"(fieldtype="SQLdateTime")", "TimeStamp"},
        {R"(fieldtype="bin.hex")", "Blob"},
        {R"(fieldtype="bin.hex" SUBTYPE="Text")", "Memo"},
        {R"(fieldtype="bin.hex" SUBTYPE="WideText")", "WideMemo"},
        {R"(fieldtype="bin.hex" SUBTYPE="Formatted")", "FmtMemo"},
        {R"(fieldtype="bin.hex" SUBTYPE="Graphics")", "Graphic"},
        {R"(fieldtype="nested")", "DataSet"},
        {R"(fieldtype="blob")", "Unknown"},
        {"", "Unknown"},
    };
    for (const auto &[attributes, kind] : cases)
        QTest::newRow(attributes) << QString::fromLatin1(attributes) << QString::fromLatin1(kind);
}

void TestDataPacket::kinds()
{
    QFETCH(QString, attributes);
    QFETCH(QString, kind);
    const DataPacket p =
        DataPacket::parse(cp1251(packetText(QStringLiteral("<FIELD attrname=\"F\" %1/>").arg(attributes), {})));
    QCOMPARE(p.fields().size(), 1);
    QCOMPARE(kindName(p.fields()[0].kind), kind);
}

void TestDataPacket::fieldsAndValues()
{
    const QString fields = QStringLiteral("<FIELD attrname=\"RecId\" fieldtype=\"i4\"/>"
                                          "<FIELD attrname=\"SURNAME\" fieldtype=\"string\" WIDTH=\"255\"/>"
                                          "<FIELD fieldname=\"Метка\" fieldtype=\"string\" WIDTH=\"50\"/>"
                                          "<FIELD attrname=\"PATH\" fieldtype=\"string\" WIDTH=\"x\"/>");
    const QString rows =
        QStringLiteral("<ROW RecId=\"1\" SURNAME=\"Пушкин\" Метка=\"Сказки\" PATH=\"p1\" RowState=\"4\"/>\n"
                       "<ROW RecId=\"2\" SURNAME=\"\" surname=\"lower\"/>\n"
                       "<NOTAROW RecId=\"3\"/>"
                       "<ROW SURNAME=\"Ёжик\tв тумане\"/>"
                       "<ROW SURNAME=\"Ёж\" PATH=\"Ёжик\"/><ROW SURNAME=\"Ёжок\"/><ROW SURNAME=\"Ёжик\" PATH=\"Ёжик\"/>"
                       "<ROW SURNAME=\"Ёжик\"/>");
    const DataPacket p = DataPacket::parse(cp1251(packetText(fields, rows)));

    QCOMPARE(p.fields().size(), 4);
    QCOMPARE(p.fields()[2].name, QStringLiteral("Метка"));
    QCOMPARE(p.fields()[1].width, 255);
    QCOMPARE(p.fields()[3].width, 0);
    QCOMPARE(p.rowCount(), 7);

    QCOMPARE(p.value(0, 1), QStringLiteral("Пушкин"));
    QCOMPARE(p.value(0, 2), QStringLiteral("Сказки"));
    QCOMPARE(p.value(1, 0), QStringLiteral("2"));
    // An empty attribute is an empty value; a missing one (or one spelled in
    // another case) is a null value.
    QVERIFY(p.value(1, 1).isEmpty() && !p.value(1, 1).isNull());
    QVERIFY(p.value(1, 2).isNull());
    QVERIFY(p.value(2, 0).isNull());
    // Attribute-value normalisation turns the tab into a blank.
    QCOMPARE(p.value(2, 1), QStringLiteral("Ёжик в тумане"));
    // Repeated values, each in its own column and row.
    const QStringList surnames = {QStringLiteral("Ёж"), QStringLiteral("Ёжок"), QStringLiteral("Ёжик"),
                                  QStringLiteral("Ёжик")};
    for (qsizetype row = 3; row < 7; ++row)
        QCOMPARE(p.value(row, 1), surnames[row - 3]);
    QCOMPARE(p.value(5, 3), QStringLiteral("Ёжик"));
    QVERIFY(p.value(4, 3).isNull() && p.value(6, 3).isNull());

    // The values of a field not kept are null; the others are as before.
    const DataPacket unread = DataPacket::parse(cp1251(packetText(fields, rows)), {QStringLiteral("surname")});
    QVERIFY(unread.value(0, 1).isNull() && unread.value(1, 1).isNull());
    QCOMPARE(unread.value(0, 2), QStringLiteral("Сказки"));
    QCOMPARE(unread.value(5, 3), QStringLiteral("Ёжик"));
}

void TestDataPacket::fieldIndexIgnoresCase()
{
    const DataPacket p = DataPacket::parse(cp1251(packetText(
        QStringLiteral("<FIELD attrname=\"Имя\" fieldtype=\"string\"/><FIELD attrname=\"ИМЯ\" fieldtype=\"string\"/>"
                       "<FIELD attrname=\"Имя\" fieldtype=\"string\"/>"),
        QStringLiteral("<ROW ИМЯ=\"b\" Имя=\"a\"/>"))));
    QCOMPARE(p.fieldIndex(QStringLiteral("имя")), 0);
    QCOMPARE(p.fieldIndex(QStringLiteral("ИМЯ")), 0);
    QCOMPARE(p.fieldIndex(QStringLiteral("PATH")), -1);
    // Values go by exact name; a repeated exact name leaves the later field empty.
    QCOMPARE(p.value(0, 0), QStringLiteral("a"));
    QCOMPARE(p.value(0, 1), QStringLiteral("b"));
    QVERIFY(p.value(0, 2).isNull());
}

void TestDataPacket::characterReferences_data()
{
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("expected");
    for (const bool utf8 : {false, true}) {
        const char *tag = utf8 ? "utf-8 " : "cp1251 ";
        auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s%s", tag, name) << utf8; };
        row("decimal") << QStringLiteral("Ж&#1046;ж") << QStringLiteral("ЖЖж");
        row("hex") << QStringLiteral("&#x416;&#x0416;&#x0041;") << QStringLiteral("ЖЖA");
        row("outside the code page") << QStringLiteral("&#x4E2D;&#128512;") << QStringLiteral("中\U0001F600");
        row("named") << QStringLiteral("&lt;&gt;&amp;&quot;&apos;") << QStringLiteral("<>&\"'");
        row("expanded once") << QStringLiteral("&amp;#1046;&amp;amp;") << QStringLiteral("&#1046;&amp;");
        row("line feed kept") << QStringLiteral("a&#10;b") << QStringLiteral("a\nb");
        // Written whitespace becomes one blank, also in a packet of one line.
        row("tab") << QStringLiteral("a\tb") << QStringLiteral("a b");
        row("lone CR") << QStringLiteral("a\rb") << QStringLiteral("a b");
        row("CR LF") << QStringLiteral("a\r\nb") << QStringLiteral("a b");
    }
}

void TestDataPacket::characterReferences()
{
    QFETCH(bool, utf8);
    QFETCH(QString, written);
    QFETCH(QString, expected);
    const QString text = oneValue(QStringLiteral("string"), written,
                                  utf8 ? QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") : Declaration);
    const DataPacket p = DataPacket::parse(utf8 ? text.toUtf8() : cp1251(text));
    QCOMPARE(p.value(0, 0), expected);
}

// Values with and without references, in the order of the packet's bytes;
// the line ends that become one blank each leave stale bytes behind a value.
void TestDataPacket::referencesAmongPlainValues()
{
    const QStringList written{"a", "&lt;b", "", "c", "d&amp;", "x\r\n\r\n&amp;", "e", "&#1046;", "f"};
    QString rows;
    for (qsizetype i = 0; i < written.size(); i += 3)
        rows += QStringLiteral("<ROW A=\"%1\" B=\"%2\" C=\"%3\"/>").arg(written[i], written[i + 1], written[i + 2]);
    const DataPacket p =
        DataPacket::parse(cp1251(packetText(QStringLiteral("<FIELD attrname=\"A\" fieldtype=\"string\"/>"
                                                           "<FIELD attrname=\"B\" fieldtype=\"string\"/>"
                                                           "<FIELD attrname=\"C\" fieldtype=\"string\"/>"),
                                            rows)));
    QStringList values;
    for (qsizetype row = 0; row < p.rowCount(); ++row)
        for (int field = 0; field < 3; ++field)
            values << p.value(row, field).toString();
    QCOMPARE(values, (QStringList{"a", "<b", "", "c", "d&", "x  &", "e", "Ж", "f"}));
}

void TestDataPacket::encodings_data()
{
    QTest::addColumn<QByteArray>("packet");
    const QString value = QStringLiteral("Пушкин «Ё»");
    auto declared = [&](const char *encoding) {
        return oneValue(QStringLiteral("string"), value,
                        QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>").arg(QLatin1String(encoding)));
    };
    QTest::newRow("no declaration") << cp1251(oneValue(QStringLiteral("string"), value, {}));
    QTest::newRow("no encoding") << cp1251(oneValue(QStringLiteral("string"), value));
    QTest::newRow("windows-1251") << cp1251(declared("Windows-1251"));
    QTest::newRow("cp1251") << cp1251(declared("CP1251"));
    QTest::newRow("UTF-8") << declared("UTF-8").toUtf8();
    QTest::newRow("utf-8, single quotes") << declared("utf-8").replace(QLatin1Char('"'), QLatin1Char('\'')).toUtf8();
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF") + oneValue(QStringLiteral("string"), value).toUtf8();
}

void TestDataPacket::encodings()
{
    QFETCH(QByteArray, packet);
    QCOMPARE(DataPacket::parse(packet).value(0, 0), QStringLiteral("Пушкин «Ё»"));
}

void TestDataPacket::longValuesAreCut_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("expected");
    const QString utf8Declaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    const QString string = QStringLiteral("string");
    const QString zhe(9000, QChar(u'Ж'));
    QTest::newRow("cp1251") << cp1251(oneValue(string, zhe)) << zhe.left(8192);
    QTest::newRow("cp1251, exactly the limit") << cp1251(oneValue(string, zhe.left(8192))) << zhe.left(8192);
    QTest::newRow("wide string") << cp1251(oneValue(QStringLiteral("string.uni"), zhe)) << zhe.left(8192);
    QTest::newRow("memo is not cut") << cp1251(oneValue(QStringLiteral("bin.hex\" SUBTYPE=\"Text"), zhe)) << zhe;
    QTest::newRow("utf-8 on a character boundary")
        << oneValue(string, QLatin1Char('a') + zhe, utf8Declaration).toUtf8() << QLatin1Char('a') + zhe.left(4095);
    QTest::newRow("references count as their characters")
        << cp1251(oneValue(string, QStringLiteral("&#1046;").repeated(9000))) << zhe.left(8192);
    QTest::newRow("utf-8 references")
        << oneValue(string, QStringLiteral("a&#1046;").repeated(3000), utf8Declaration).toUtf8()
        << QStringLiteral("aЖ").repeated(2730) + QLatin1Char('a');
}

void TestDataPacket::longValuesAreCut()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, expected);
    QCOMPARE(DataPacket::parse(packet).value(0, 0), expected);
}

void TestDataPacket::integers_data()
{
    QTest::addColumn<QString>("fieldType");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("valid");
    const QList<std::tuple<const char *, const char *, bool>> cases = {
        {"i4", "-2147483648", true},
        {"i4", "2147483647", true},
        {"i4", "2147483648", false},
        {"i4\" SUBTYPE=\"Autoinc", "+17", true},
        {"i4", "12x", false},
        {"i4", "", false},
        {"i4", "-", false},
        {"i1", "-129", false},
        {"ui1", "255", true},
        {"ui1", "-5", false},
        {"ui1", "-0", true},
        {"i2", "70000", false},
        {"ui4", "4294967296", false},
        {"i8", "-9223372036854775808", true},
        {"i8", "9223372036854775808", false},
        {"i8", "99999999999999999999999", false},
        {"r8", "not a number", true},
    };
    for (const auto &[type, value, valid] : cases)
        QTest::addRow("%s %s", type, value) << QString::fromLatin1(type) << QString::fromLatin1(value) << valid;
}

void TestDataPacket::integers()
{
    QFETCH(QString, fieldType);
    QFETCH(QString, value);
    QFETCH(bool, valid);
    const QString message = refusal(cp1251(oneValue(fieldType, value)));
    if (valid)
        QCOMPARE(message, QStringLiteral("accepted"));
    else
        QVERIFY2(message.startsWith(QStringLiteral("Invalid value '%1' for field 'V'").arg(value)),
                 qPrintable(message));
}

void TestDataPacket::refusals_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("message");  // the whole message, or its start when it ends in "..."
    const QByteArray good = cp1251(oneValue(QStringLiteral("string"), QStringLiteral("x")));
    QTest::newRow("empty") << QByteArray() << "Invalid data packet";
    QTest::newRow("21 bytes") << good.left(21) << "Invalid data packet";
    for (const int cut : {1, 8, 19, 30}) {
        QTest::addRow("cut %d bytes short", cut)
            << good.chopped(cut)
            << QStringLiteral("Invalid data packet: not well-formed XML (unexpected end of data at offset %1)")
                   .arg(good.size() - cut);
    }
    QTest::newRow("mismatched end tag") << QByteArray(good).replace(
        "</ROWDATA>",
        "</ROWDATA></FIELDS>") << "Invalid data packet: not well-formed XML (end tag does not match its start tag...";
    QTest::newRow("not xml") << QByteArray("this is not a data packet at all")
                             << "Invalid data packet: no DATAPACKET element";
    QTest::newRow("other root") << cp1251(QStringLiteral("<?xml version=\"1.0\"?><PACKET><METADATA/></PACKET>"))
                                << "Invalid data packet: no DATAPACKET element";
    QTest::newRow("no fields") << cp1251(Declaration + QStringLiteral("<DATAPACKET><METADATA/><ROWDATA/></DATAPACKET>"))
                               << "Invalid data packet: no METADATA/FIELDS element";
    QTest::newRow("field without name") << cp1251(
        packetText(QStringLiteral("<FIELD attrname=\"A\" fieldtype=\"string\"/><FIELD fieldtype=\"i4\"/>"), {}))
                                        << "Invalid data packet: field 2 has no name";
    QTest::newRow("bad integer") << cp1251(oneValue(QStringLiteral("i4"), QStringLiteral("7a")))
                                 << "Invalid value '7a' for field 'V' (Integer) in row 1";
    QTest::newRow("bad integer after the same text") << cp1251(packetText(
        QStringLiteral("<FIELD attrname=\"S\" fieldtype=\"string\"/><FIELD attrname=\"V\" fieldtype=\"i4\"/>"),
        QStringLiteral("<ROW S=\"7a\" V=\"7a\"/>"))) << "Invalid value '7a' for field 'V' (Integer) in row 1";
    // The same, with the fields far apart: values are shared by field.
    QString between;
    for (int f = 1; f < 256; ++f)
        between += QStringLiteral("<FIELD attrname=\"F%1\"/>").arg(f);
    QTest::newRow("bad integer after the same text far away") << cp1251(packetText(
        QStringLiteral("<FIELD attrname=\"S\" fieldtype=\"string\"/>%1<FIELD attrname=\"V\" fieldtype=\"i4\"/>")
            .arg(between),
        QStringLiteral("<ROW S=\"7a\" V=\"7a\"/>"))) << "Invalid value '7a' for field 'V' (Integer) in row 1";
    QTest::newRow("koi8-r") << cp1251(
        oneValue(QStringLiteral("string"), {}, QStringLiteral("<?xml version=\"1.0\" encoding=\"KOI8-R\"?>")))
                            << "Invalid data packet: unsupported encoding 'KOI8-R'";
    QByteArray utf16;
    for (const QChar c : oneValue(QStringLiteral("string"), QStringLiteral("x")))
        utf16 += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
    QTest::newRow("utf-16") << utf16 << "Invalid data packet: unsupported encoding 'UTF-16'";
    QTest::newRow("NUL byte") << QByteArray(good).replace("\"x\"", QByteArray("\"x\0\"", 4))
                              << "Invalid data packet: NUL byte at...";
    QTest::newRow("repeated attribute") << cp1251(
        packetText(QStringLiteral("<FIELD attrname=\"A\"/>"), QStringLiteral("<ROW A=\"1\" A=\"\"/>")))
                                        << "Invalid data packet: field 'A' appears twice in row 1";
    QTest::newRow("too many values") << cp1251(packetText(
        QStringLiteral("<FIELD attrname=\"F%1\"/>").repeated(2000).arg(1), QStringLiteral("<ROW/>").repeated(20000)))
                                     << "Invalid data packet: too many values (2000 fields in 20000 rows)";
    QTest::newRow("bad declaration") << QByteArray("<?xml version=\"1.0><DATAPACKET/>")
                                     << "Invalid data packet: malformed XML declaration";
    for (const char *reference :
         {"&foo;", "&#;", "&#x;", "&#12a;", "&amp", "&#0;", "&#xD800;", "&#x110000;", "&#99999999999;"}) {
        QTest::addRow("reference %s", reference)
            << cp1251(packetText(QStringLiteral("<FIELD attrname=\"Поле\"/>"),
                                 QStringLiteral("<ROW/><ROW Поле=\"Ж%1\"/>").arg(QLatin1String(reference))))
            << QStringLiteral("Invalid data packet: invalid character reference '%1...")
                   .arg(QLatin1String(reference).left(4));
    }
}

void TestDataPacket::refusals()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, message);
    const QString actual = refusal(packet);
    if (message.endsWith(QStringLiteral("...")))
        QVERIFY2(actual.startsWith(message.chopped(3)), qPrintable(actual));
    else
        QCOMPARE(actual, message);
    // Values that are not kept are checked all the same.
    QCOMPARE(refusal(packet, {"V", "S", "A", "Поле"}), actual);
}

void TestDataPacket::hostileInputs()
{
    // 100,000 nested elements inside ROWDATA, between two rows.
    const int depth = 100000;
    const QByteArray deep = QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
    const QByteArray head = cp1251(Declaration
                                   + QStringLiteral("<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"A\"/>"
                                                    "</FIELDS></METADATA><ROWDATA><ROW A=\"1\"/>"));
    const DataPacket p = DataPacket::parse(head + deep + "<ROW A=\"2\"/></ROWDATA></DATAPACKET>");
    QCOMPARE(p.rowCount(), 2);
    QCOMPARE(p.value(1, 0), QStringLiteral("2"));
    QVERIFY(refusal(head + QByteArray("<a>").repeated(depth)).startsWith(QStringLiteral("Invalid data packet: ")));

    // Garbage: random bytes, and a valid packet with random bytes written into it.
    QRandomGenerator random(1251);
    const QByteArray good =
        cp1251(packetText(QStringLiteral("<FIELD attrname=\"A\" fieldtype=\"i4\"/><FIELD attrname=\"B\"/>"),
                          QStringLiteral("<ROW A=\"1\" B=\"&amp;Ж\"/>").repeated(20)));
    for (int i = 0; i < 2000; ++i) {
        QByteArray bytes = good;
        if (i % 2 == 0) {
            bytes.resize(random.bounded(1, 600));
            for (char &c : bytes)
                c = char(random.bounded(256));
        } else {
            for (int j = random.bounded(1, 8); j > 0; --j)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
        }
        const QString message = refusal(bytes);
        QVERIFY2(message == QStringLiteral("accepted") || message.startsWith(QStringLiteral("Invalid ")),
                 qPrintable(message));
    }
}

QTEST_APPLESS_MAIN(TestDataPacket)
#include "tst_datapacket.moc"

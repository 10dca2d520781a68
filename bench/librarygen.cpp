// SPDX-License-Identifier: GPL-3.0-or-later
#include "librarygen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringEncoder>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

const QStringList Surnames{"Иванов", "Петров",  "Сидоров", "Кузнецов", "Смирнов",  "Попов",    "Лебедев",
                           "Козлов", "Новиков", "Морозов", "Волков",   "Соловьёв", "Васильев", "Зайцев"};
const QStringList Names{"Александр", "Алексей", "Анна", "Борис", "Вера",    "Григорий", "Дарья",
                        "Евгений",   "Ёлка",    "Иван", "Мария", "Николай", "Ольга",    "Пётр"};
const QStringList Words{"Повесть", "Рассказы", "Записки", "Дорога", "Сад",  "Море", "Зима", "Письма",
                        "Огонь",   "Ночь",     "Город",   "Степь",  "Река", "Лес",  "Дом",  "Весна"};

QString authorRow(int author, QRandomGenerator &random)
{
    // Every author is distinct: a numbered surname, and one in eight is
    // written in upper case to exercise the grouping that ignores case.
    QString surname = Surnames.at(author % Surnames.size()) + QString::number(author);
    if (author % 8 == 0)
        surname = surname.toUpper();
    return QStringLiteral(" SURNAME=\"%1\" NAME=\"%2\" LASTNAME=\"%3\"")
        .arg(surname, Names.at(int(random.bounded(Names.size()))),
             Names.at(int(random.bounded(Names.size()))) + QStringLiteral("ович"));
}

}  // namespace

qint64 generateLibrary(const QString &directory, int books, int authors)
{
    QRandomGenerator random(20261209);
    std::vector<QString> authorRows;
    authorRows.reserve(static_cast<size_t>(authors));
    for (int author = 0; author < authors; ++author)
        authorRows.push_back(authorRow(author, random));

    std::vector<int> order(static_cast<size_t>(books));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);

    QString packet = QStringLiteral(
        "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
        "<FIELD attrname=\"RecId\" fieldtype=\"i4\"/><FIELD attrname=\"SURNAME\" fieldtype=\"string\" WIDTH=\"255\"/>"
        "<FIELD attrname=\"NAME\" fieldtype=\"string\" WIDTH=\"255\"/><FIELD attrname=\"LASTNAME\" "
        "fieldtype=\"string\" WIDTH=\"255\"/>"
        "<FIELD attrname=\"LOCATION\" fieldtype=\"string\" WIDTH=\"255\"/><FIELD attrname=\"LABEL\" "
        "fieldtype=\"string\" WIDTH=\"255\"/>"
        "<FIELD attrname=\"PATH\" fieldtype=\"string\" WIDTH=\"50\"/></FIELDS><PARAMS/></METADATA><ROWDATA>");
    for (int book : order) {
        const QString label = Words.at(book % Words.size()) + QLatin1Char(' ')
                              + Words.at((book / Words.size()) % Words.size()) + QLatin1Char(' ')
                              + QString::number(book);
        packet += QStringLiteral("<ROW RecId=\"%1\"%2 LOCATION=\"Полка %3\" LABEL=\"%4\" PATH=\"book%1\"/>")
                      .arg(book + 1)
                      .arg(authorRows[size_t(book % authors)])
                      .arg(book % 100)
                      .arg(label);
    }
    packet += QStringLiteral("</ROWDATA></DATAPACKET>\r\n");

    QDir().mkpath(directory);
    QStringEncoder encoder("windows-1251");
    QFile catalogue(QDir(directory).filePath(QStringLiteral("books.xml")));
    if (!catalogue.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(catalogue.fileName()));
    catalogue.write(encoder.encode(packet));
    QFile start(QDir(directory).filePath(QStringLiteral("brimvel_library.htm")));
    if (start.open(QIODevice::WriteOnly | QIODevice::Truncate))
        start.write(encoder.encode(QStringLiteral("<html><body><h1>Библиотека</h1></body></html>")));
    return catalogue.size();
}

qint64 generateContents(const QString &path, int entries)
{
    QStringList lines{QStringLiteral("ITEMS{")};
    auto addEntry = [&](int number, const QString &indent) {
        lines << indent + QStringLiteral("ITEM{")
              << indent + QStringLiteral("  NAME=") + Words.at(number % Words.size()) + QLatin1Char(' ')
                     + QString::number(number)
              << indent + QStringLiteral("  LOCAL=text\\p") + QString::number(number) + QStringLiteral(".htm")
              << indent + QStringLiteral("  ID=") + QString::number(number);
    };
    for (int chapter = 0; chapter < entries; chapter += 10) {
        addEntry(chapter, QStringLiteral("  "));
        lines << QStringLiteral("    ITEMS{");
        for (int section = chapter + 1; section < chapter + 10; ++section) {
            addEntry(section, QStringLiteral("      "));
            lines << QStringLiteral("      }");
        }
        lines << QStringLiteral("    }") << QStringLiteral("  }");
    }
    lines << QStringLiteral("}");
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    QStringEncoder encoder("windows-1251");
    file.write(encoder.encode(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
    return lines.size();
}

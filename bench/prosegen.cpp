// SPDX-License-Identifier: GPL-3.0-or-later
#include "prosegen.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <cmath>

namespace {

struct Paradigm
{
    QStringList stems;
    QStringList endings;
};

const Paradigm Nouns{{"дорог", "город", "лес", "стран", "дом",  "окн",   "рек",   "пол",  "стол", "книг",
                      "гор",   "друг",  "сад", "вечер", "свет", "голос", "берег", "ветр", "мост", "народ"},
                     {"", "а", "у", "ом", "е", "ы", "ов", "ам", "ами", "ах"}};
const Paradigm Verbs{
    {"говор", "смотр", "ход", "дума", "писа", "чита", "зна", "дела", "слуша", "жда", "помн", "люб", "стро", "вер"},
    {"ил", "ила", "или", "ит", "ят", "ать", "ет", "ю", "ешь", "ем"}};
const Paradigm Adjectives{
    {"стар", "нов", "бел", "тих", "долг", "молод", "добр", "тёмн", "ясн", "сер", "зелён", "широк"},
    {"ый", "ая", "ое", "ые", "ого", "ой", "ому", "ую", "ыми", "ых"}};
const QStringList FunctionWords{"и",  "в",      "не",  "на",  "что",   "он", "она", "с",  "как",  "а",
                                "но", "по",     "его", "к",   "у",     "же", "из",  "за", "было", "так",
                                "от", "только", "ещё", "всё", "когда", "мы", "уже", "бы", "для",  "вот"};
const QStringList Syllables{"ка", "ло", "ми", "ре", "ту", "на", "во", "зе", "ши", "пу", "да", "ро", "ле", "ны",
                            "го", "бе", "со", "ти", "ча", "жу", "вы", "ку", "мо", "ра", "се", "ля", "дё", "фи",
                            "хо", "цы", "ще", "ба", "пе", "ги", "зо", "ню", "ря", "сы", "то", "ве"};
constexpr int MadeUpWords = 60000;

QString wordOf(const Paradigm &paradigm, QRandomGenerator &random)
{
    return paradigm.stems.at(int(random.bounded(paradigm.stems.size())))
           + paradigm.endings.at(int(random.bounded(paradigm.endings.size())));
}

// A made-up word of a rank drawn so that rank r comes about 1/r as often.
QString rareWord(QRandomGenerator &random)
{
    return madeUpWord(int(std::pow(double(MadeUpWords), random.generateDouble())) - 1);
}

QString nextWord(QRandomGenerator &random)
{
    const int kind = int(random.bounded(100));
    if (kind < 35)
        return FunctionWords.at(int(random.bounded(FunctionWords.size())));
    if (kind < 60)
        return wordOf(Nouns, random);
    if (kind < 75)
        return wordOf(Verbs, random);
    if (kind < 87)
        return wordOf(Adjectives, random);
    return rareWord(random);
}

QString sentence(QRandomGenerator &random)
{
    const int length = 5 + int(random.bounded(11));
    QString text;
    for (int i = 0; i < length; ++i) {
        QString word = nextWord(random);
        if (i == 0)
            word[0] = word[0].toUpper();
        else
            text += random.bounded(8) == 0 ? QStringLiteral(", ") : QStringLiteral(" ");
        text += random.bounded(40) == 0 ? QStringLiteral("<i>%1</i>").arg(word) : word;
    }
    return text + (random.bounded(10) == 0 ? QStringLiteral("&hellip; ") : QStringLiteral(". "));
}

QString pageHtml(int number, int pageBytes, QRandomGenerator &random)
{
    QString html = QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                                  "charset=windows-1251\"><title>Глава %1</title>"
                                  "<style>p { text-indent: 2em }</style></head><body><h2>Глава %1</h2>\n")
                       .arg(number);
    while (html.size() < pageBytes) {
        html += QStringLiteral("<p>");
        if (random.bounded(5) == 0)
            html += QStringLiteral("&mdash; ");
        for (int count = 2 + int(random.bounded(5)); count > 0; --count)
            html += sentence(random);
        html += QStringLiteral("</p>\n");
    }
    return html + QStringLiteral("</body></html>\n");
}

}  // namespace

QStringList commonWordForms()
{
    return {"дорога", "городом", "лесах", "старый", "белая", "говорил", "смотрит", "читать", "книгу", "домах"};
}

QString madeUpWord(int rank)
{
    QString word;
    int rest = rank + int(Syllables.size());  // at least two syllables
    while (rest > 0) {
        word += Syllables.at(rest % Syllables.size());
        rest /= int(Syllables.size());
    }
    return word + QStringLiteral("н");
}

qint64 generatePages(const QString &bookDirectory, int entries, int book, int pageBytes)
{
    QRandomGenerator random(quint32(20261210 + book));
    QStringEncoder encoder("windows-1251");
    const QDir directory(bookDirectory + QStringLiteral("/text"));
    QDir().mkpath(directory.path());
    qint64 written = 0;
    for (int number = 0; number < entries; ++number) {
        QFile page(directory.filePath(QStringLiteral("p%1.htm").arg(number)));
        if (!page.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(page.fileName()));
        written += page.write(encoder.encode(pageHtml(number, pageBytes, random)));
    }
    return written;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fulltextquery.h"

#include "fulltextindex.h"
#include "stemmingtokenizer.h"

#include <QStringList>

namespace {

// The shortest start of a word searched as a prefix: shorter ones match
// too many words to be of use, and make the search slow.
constexpr int ShortestPrefix = 2;

// One piece of a query: a term (a word, a prefix or a phrase) or OR.
struct Lexeme
{
    QString text;  // the term's text, without quotes, minus or star
    bool excluded = false;
    bool prefix = false;
    bool phrase = false;
    bool isOr = false;
};

[[noreturn]] void malformed(const char *message)
{
    throw QueryError(message);
}

// Splits the query into terms and ORs: a phrase runs from a quote to the
// next, anything else to the next blank or quote.
QList<Lexeme> lexemesOf(const QString &query)
{
    QList<Lexeme> lexemes;
    qsizetype at = 0;
    while (at < query.size()) {
        if (query[at].isSpace()) {
            ++at;
            continue;
        }
        Lexeme lexeme;
        if (query[at] == u'-' && at + 1 < query.size() && !query[at + 1].isSpace()) {
            lexeme.excluded = true;
            ++at;
        }
        if (query[at] == u'"') {
            const qsizetype close = query.indexOf(u'"', at + 1);
            if (close < 0)
                malformed("Фраза в запросе не закрыта кавычкой.");
            lexeme.phrase = true;
            lexeme.text = query.mid(at + 1, close - at - 1);
            at = close + 1;
        } else {
            const qsizetype begin = at;
            while (at < query.size() && !query[at].isSpace() && query[at] != u'"')
                ++at;
            lexeme.text = query.mid(begin, at - begin);
            lexeme.isOr = !lexeme.excluded && lexeme.text == QLatin1String("OR");
            lexeme.prefix = !lexeme.isOr && lexeme.text.endsWith(u'*');
            if (lexeme.prefix)
                lexeme.text.chop(1);
        }
        lexemes.append(lexeme);
    }
    return lexemes;
}

// The words of a term as the index knows them.
int wordCount(const QString &text)
{
    int count = 0;
    tokenize(text.toStdString(), Stemming::None, [&](std::string_view, int, int) { ++count; });
    return count;
}

// The term quoted for FTS5; nothing when it holds no word.
QString quotedTerm(const Lexeme &term)
{
    const int words = wordCount(term.text);
    if (term.prefix && (words != 1 || term.text.size() < ShortestPrefix))
        malformed("Перед звёздочкой должно стоять начало одного слова, не короче двух букв.");
    if (words == 0)
        return {};
    QString quoted = u'"' + QString(term.text).replace(u'"', QLatin1String("\"\"")) + u'"';
    return term.prefix ? quoted + u'*' : quoted;
}

// The alternatives that an OR joins, and the terms to exclude, gathered.
struct Groups
{
    QStringList required;  // each an FTS5 expression: one term, or alternatives joined by OR
    QStringList excluded;
};

Groups groupsOf(const QList<Lexeme> &lexemes)
{
    Groups groups;
    for (qsizetype i = 0; i < lexemes.size(); ++i) {
        const Lexeme &lexeme = lexemes[i];
        const bool orFollows = i + 1 < lexemes.size() && lexemes[i + 1].isOr;
        if (lexeme.isOr)
            malformed("OR должно стоять между двумя словами или фразами.");
        if (lexeme.excluded && orFollows)
            malformed("Исключённое слово не может быть одной из альтернатив OR.");
        const QString term = quotedTerm(lexeme);
        if (lexeme.excluded) {
            if (!term.isEmpty())
                groups.excluded.append(term);
            continue;
        }
        QStringList alternatives{term};
        while (i + 1 < lexemes.size() && lexemes[i + 1].isOr) {
            if (i + 2 >= lexemes.size() || lexemes[i + 2].isOr || lexemes[i + 2].excluded)
                malformed("OR должно стоять между двумя словами или фразами.");
            alternatives.append(quotedTerm(lexemes[i + 2]));
            i += 2;
        }
        alternatives.removeAll(QString());
        if (!alternatives.isEmpty())
            groups.required.append(u'(' + alternatives.join(QLatin1String(" OR ")) + u')');
    }
    return groups;
}

}  // namespace

QString fts5Expression(const QString &query)
{
    const Groups groups = groupsOf(lexemesOf(query));
    if (groups.required.isEmpty())
        malformed(groups.excluded.isEmpty() ? "Введите слова, которые нужно найти."
                                            : "В запросе нет ни одного слова без минуса: исключать не из чего.");
    QString expression = groups.required.join(QLatin1String(" AND "));
    if (!groups.excluded.isEmpty())
        expression = u'(' + expression + QLatin1String(") NOT (") + groups.excluded.join(QLatin1String(" OR ")) + u')';
    return expression;
}

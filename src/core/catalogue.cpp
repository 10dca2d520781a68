// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue.h"

#include "error.h"
#include "librarytree.h"
#include "text.h"
#include "textfile.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <numeric>

namespace {

struct FieldRule
{
    const char *name;
    bool integer;  // an integer of up to 32 bits; otherwise single-byte text
};

// The catalogue's fields in BookField order.
constexpr std::array<FieldRule, 7> BookFields{{
    {"RecId", true},
    {"SURNAME", false},
    {"NAME", false},
    {"LASTNAME", false},
    {"LOCATION", false},
    {"LABEL", false},
    {"PATH", false},
}};

bool kindFits(FieldKind kind, bool integer)
{
    if (integer) {
        switch (kind) {
        case FieldKind::ShortInt:
        case FieldKind::Byte:
        case FieldKind::SmallInt:
        case FieldKind::Word:
        case FieldKind::Integer:
        case FieldKind::AutoInc: return true;
        default: return false;
        }
    }
    return kind == FieldKind::String || kind == FieldKind::FixedChar;
}

QCollator russianCollator(Qt::CaseSensitivity sensitivity)
{
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
    collator.setCaseSensitivity(sensitivity);
    return collator;
}

// Ranks the values of one column: equal ranks for identical texts, and rank
// order following the collation, letter case counting. Texts the collation
// holds equal are ordered by their code points.
std::vector<int> rankColumn(const DataPacket &packet, int column, const QCollator &collator)
{
    const qsizetype rows = packet.rowCount();
    QHash<QString, int> distinctIndex;
    std::vector<int> valueOfRow(static_cast<size_t>(rows));
    std::vector<QString> distinct;
    for (qsizetype row = 0; row < rows; ++row) {
        const QString &value = packet.value(row, column);
        auto it = distinctIndex.constFind(value);
        if (it == distinctIndex.constEnd()) {
            it = distinctIndex.insert(value, int(distinct.size()));
            distinct.push_back(value);
        }
        valueOfRow[size_t(row)] = *it;
    }

    std::vector<QCollatorSortKey> keys;
    keys.reserve(distinct.size());
    for (const QString &value : distinct)
        keys.push_back(collator.sortKey(value));
    std::vector<int> byKey(distinct.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::sort(byKey.begin(), byKey.end(), [&](int a, int b) {
        const int order = keys[size_t(a)].compare(keys[size_t(b)]);
        return order != 0 ? order < 0 : distinct[size_t(a)] < distinct[size_t(b)];
    });
    std::vector<int> rankOfDistinct(distinct.size());
    for (size_t rank = 0; rank < byKey.size(); ++rank)
        rankOfDistinct[size_t(byKey[rank])] = int(rank);

    for (int &value : valueOfRow)
        value = rankOfDistinct[size_t(value)];
    return valueOfRow;
}

}  // namespace

QByteArray readCatalogueLine(const QString &path)
{
    TextFileReader file(path);
    if (file.size() > MaxCatalogueBytes)
        throw AppError(
            QStringLiteral("The catalogue file is larger than %1 MB, more than the data-packet engine can hold")
                .arg(MaxCatalogueBytes >> 20));
    QByteArrayView line;
    file.readLineUpToNul(line);
    return line.toByteArray();
}

QString composeAuthorText(const QString &surname, const QString &name, const QString &lastName)
{
    QString joined = surname + QLatin1Char(' ') + name + QLatin1Char(' ') + lastName;
    if (trimmedView(QStringView(joined)).isEmpty())
        return QStringLiteral("Народные сказки, мифы, легенды");
    return joined;
}

BooksRecordSet::BooksRecordSet(QString name) : m_name(std::move(name)) {}

void BooksRecordSet::fail(const QString &message) const
{
    throw AppError(QStringLiteral("%1: %2").arg(m_name, message));
}

void BooksRecordSet::open(const QByteArray &packet)
{
    m_open = false;
    m_order.clear();
    m_packet = DataPacket::parse(packet);
    bindFields();
    orderRecords();
    m_position = 0;
    m_open = true;
}

void BooksRecordSet::bindFields()
{
    m_fieldColumns.clear();
    for (const FieldRule &rule : BookFields) {
        const QString name = QString::fromLatin1(rule.name);
        const int column = m_packet.fieldIndex(name);
        if (column < 0)
            fail(QStringLiteral("Field '%1' not found").arg(name));
        const FieldKind kind = m_packet.fields().at(column).kind;
        if (!kindFits(kind, rule.integer))
            fail(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                     .arg(name, rule.integer ? QStringLiteral("Integer") : QStringLiteral("String"), kindName(kind)));
        m_fieldColumns.push_back(column);
    }
}

void BooksRecordSet::orderRecords()
{
    const QCollator collator = russianCollator(Qt::CaseSensitive);
    std::vector<std::vector<int>> ranks;
    for (BookField field : {BookField::Surname, BookField::Name, BookField::LastName})
        ranks.push_back(rankColumn(m_packet, m_fieldColumns[size_t(field)], collator));
    auto sameAuthor = [&](qsizetype a, qsizetype b) {
        for (const std::vector<int> &rank : ranks) {
            if (rank[size_t(a)] != rank[size_t(b)])
                return false;
        }
        return true;
    };

    m_order.resize(size_t(m_packet.rowCount()));
    std::iota(m_order.begin(), m_order.end(), 0);
    std::stable_sort(m_order.begin(), m_order.end(), [&](qsizetype a, qsizetype b) {
        for (const std::vector<int> &rank : ranks) {
            if (rank[size_t(a)] != rank[size_t(b)])
                return rank[size_t(a)] < rank[size_t(b)];
        }
        return false;
    });

    // Labels are nearly all distinct and an author has few books, so they
    // are compared within each author's run rather than ranked beforehand.
    const int labelColumn = m_fieldColumns[size_t(BookField::Label)];
    auto labelLess = [&](qsizetype a, qsizetype b) {
        const QString &left = m_packet.value(a, labelColumn);
        const QString &right = m_packet.value(b, labelColumn);
        const int order = collator.compare(left, right);
        return order != 0 ? order < 0 : left < right;
    };
    for (auto run = m_order.begin(); run != m_order.end();) {
        auto runEnd = std::find_if(run, m_order.end(), [&](qsizetype row) { return !sameAuthor(*run, row); });
        std::stable_sort(run, runEnd, labelLess);
        run = runEnd;
    }
}

void BooksRecordSet::produceRecord()
{
    m_author.clear();
    if (!eof() && onCalcFields)
        onCalcFields(*this);
}

void BooksRecordSet::first()
{
    if (!m_open)
        fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
    m_position = 0;
    produceRecord();
}

void BooksRecordSet::next()
{
    if (!m_open)
        fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (eof())
        return;
    ++m_position;
    produceRecord();
}

QString BooksRecordSet::fieldText(BookField field) const
{
    if (!m_open)
        fail(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (eof())
        return {};
    return m_packet.value(m_order[size_t(m_position)], m_fieldColumns[size_t(field)]);
}

void BooksRecordSet::setAuthor(const QString &author)
{
    if (author.size() <= AuthorWidth) {
        m_author = author;
        return;
    }
    qsizetype length = AuthorWidth;
    // Never keep half of a character that takes two code units.
    if (author.at(length - 1).isHighSurrogate())
        --length;
    m_author = author.left(length);
}

AuthorIndex::AuthorIndex() : m_collator(russianCollator(Qt::CaseInsensitive)) {}

std::vector<AuthorIndex::Entry>::iterator AuthorIndex::lowerBound(const QString &text)
{
    // Authors arrive nearly in order, so most new texts belong at the end.
    if (m_entries.empty() || m_collator.compare(m_entries.back().text, text) < 0)
        return m_entries.end();
    return std::lower_bound(m_entries.begin(), m_entries.end(), text, [this](const Entry &entry, const QString &t) {
        return m_collator.compare(entry.text, t) < 0;
    });
}

int AuthorIndex::find(const QString &authorText)
{
    if (m_lastNode >= 0 && authorText == m_lastText)
        return m_lastNode;
    const auto it = lowerBound(authorText);
    if (it == m_entries.end() || m_collator.compare(it->text, authorText) != 0)
        return -1;
    m_lastText = authorText;
    m_lastNode = it->node;
    return m_lastNode;
}

void AuthorIndex::insert(const QString &authorText, int node)
{
    m_entries.insert(lowerBound(authorText), Entry{authorText, node});
    m_lastText = authorText;
    m_lastNode = node;
}

QString GetAuthorText(const BooksRecordSet &books)
{
    return composeAuthorText(books.fieldText(BookField::Surname), books.fieldText(BookField::Name),
                             books.fieldText(BookField::LastName));
}

QString GetBookLabel(const BooksRecordSet &books)
{
    return books.fieldText(BookField::Label);
}

void calculateAuthor(BooksRecordSet &books)
{
    books.setAuthor(GetAuthorText(books));
}

void addAuthorsAndBooks(BooksRecordSet &books, LibraryTree &tree)
{
    AuthorIndex authors;
    for (books.first(); !books.eof(); books.next()) {
        const QString &author = books.author();
        TExtInfoLib info(books.fieldText(BookField::Path));
        LibraryTree::Node parent = authors.find(author);
        if (parent == LibraryTree::NoNode) {
            parent = tree.addRoot(author);
            authors.insert(author, parent);
        }
        const LibraryTree::Node book = tree.addChild(parent, GetBookLabel(books), std::move(info));
        tree.setHasChildrenMark(book, true);
    }
}

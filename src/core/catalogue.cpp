// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue.h"

#include "error.h"
#include "librarytree.h"
#include "text.h"
#include "textfile.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <tuple>

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

// Ranks the values of one column: equal ranks for identical texts, and rank
// order following the collation, letter case counting. Texts the collation
// holds equal are ordered by their code points.
std::vector<int> rankColumn(const DataPacket &packet, int column, const Collator &collator)
{
    const qsizetype rows = packet.rowCount();
    QHash<QStringView, int> distinctIndex;
    std::vector<int> valueOfRow(static_cast<size_t>(rows));
    std::vector<QStringView> distinct;
    for (qsizetype row = 0; row < rows; ++row) {
        const QStringView value = packet.value(row, column);
        auto it = distinctIndex.constFind(value);
        if (it == distinctIndex.constEnd()) {
            it = distinctIndex.insert(value, int(distinct.size()));
            distinct.push_back(value);
        }
        valueOfRow[size_t(row)] = *it;
    }

    // The sort keys end to end in one block.
    std::string keys;
    std::vector<size_t> keyStart;
    keyStart.reserve(distinct.size());
    for (const QStringView value : distinct) {
        keyStart.push_back(keys.size());
        collator.appendSortKey(value, keys);
    }
    std::vector<int> byKey(distinct.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::sort(byKey.begin(), byKey.end(), [&](int a, int b) {
        const int order = std::strcmp(keys.data() + keyStart[size_t(a)], keys.data() + keyStart[size_t(b)]);
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

QString composeAuthorText(QStringView surname, QStringView name, QStringView lastName)
{
    QString joined;
    joined.reserve(surname.size() + name.size() + lastName.size() + 2);
    joined.append(surname).append(u' ').append(name).append(u' ').append(lastName);
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
    const Collator collator(Qt::CaseSensitive, collatorInput());
    const auto rankOf = [&](BookField field) { return rankColumn(m_packet, m_fieldColumns[size_t(field)], collator); };
    const std::vector<int> surname = rankOf(BookField::Surname);
    const std::vector<int> name = rankOf(BookField::Name);
    const std::vector<int> lastName = rankOf(BookField::LastName);

    // The three ranks side by side with the row, which breaks ties so that
    // the sort keeps the packet's order of equal names.
    struct Key
    {
        int surname, name, lastName;
        qsizetype row;
        bool operator<(const Key &o) const
        {
            return std::tie(surname, name, lastName, row) < std::tie(o.surname, o.name, o.lastName, o.row);
        }
        bool sameNames(const Key &o) const { return surname == o.surname && name == o.name && lastName == o.lastName; }
    };
    const auto rows = size_t(m_packet.rowCount());
    std::vector<Key> keys(rows);
    for (size_t row = 0; row < rows; ++row)
        keys[row] = {surname[row], name[row], lastName[row], qsizetype(row)};
    std::sort(keys.begin(), keys.end());

    m_order.resize(rows);
    m_authorOfRow.resize(rows);
    int author = -1;
    for (size_t i = 0; i < rows; ++i) {
        if (i == 0 || !keys[i].sameNames(keys[i - 1]))
            ++author;
        m_order[i] = keys[i].row;
        m_authorOfRow[size_t(keys[i].row)] = author;
    }

    // Labels are nearly all distinct and an author has few books, so they
    // are compared within each author's run rather than ranked beforehand.
    const int labelColumn = m_fieldColumns[size_t(BookField::Label)];
    auto labelLess = [&](qsizetype a, qsizetype b) {
        const QStringView left = m_packet.value(a, labelColumn);
        const QStringView right = m_packet.value(b, labelColumn);
        const int order = collator.compare(left, right);
        return order != 0 ? order < 0 : left < right;
    };
    for (auto run = m_order.begin(); run != m_order.end();) {
        const int runAuthor = m_authorOfRow[size_t(*run)];
        auto runEnd =
            std::find_if(run, m_order.end(), [&](qsizetype row) { return m_authorOfRow[size_t(row)] != runAuthor; });
        std::stable_sort(run, runEnd, labelLess);
        run = runEnd;
    }
}

Collator::Input BooksRecordSet::collatorInput() const
{
    return m_packet.mayHoldCombiningMarks() ? Collator::Input::AnyText : Collator::Input::NoCombiningMarks;
}

bool BooksRecordSet::sameNamesAsPrevious() const
{
    if (m_position == 0 || eof())
        return false;
    return m_authorOfRow[size_t(m_order[size_t(m_position)])] == m_authorOfRow[size_t(m_order[size_t(m_position - 1)])];
}

void BooksRecordSet::produceRecord()
{
    m_author.swap(m_previousAuthor);
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

QStringView BooksRecordSet::fieldView(BookField field) const
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

AuthorIndex::AuthorIndex(Collator::Input input) : m_collator(Qt::CaseInsensitive, input) {}

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
    if (it == m_entries.end() || m_collator.compare(it->text, authorText) != 0) {
        m_missedText = authorText;
        m_missedPosition = it - m_entries.begin();
        return -1;
    }
    m_lastText = authorText;
    m_lastNode = it->node;
    return m_lastNode;
}

void AuthorIndex::insert(const QString &authorText, int node)
{
    // An author is inserted right after find() missed it: its place is known.
    const auto position = m_missedPosition >= 0 && authorText == m_missedText ? m_entries.begin() + m_missedPosition
                                                                              : lowerBound(authorText);
    m_entries.insert(position, Entry{authorText, node});
    m_missedPosition = -1;
    m_lastText = authorText;
    m_lastNode = node;
}

QString GetAuthorText(const BooksRecordSet &books)
{
    return composeAuthorText(books.fieldView(BookField::Surname), books.fieldView(BookField::Name),
                             books.fieldView(BookField::LastName));
}

QStringView GetBookLabel(const BooksRecordSet &books)
{
    return books.fieldView(BookField::Label);
}

void calculateAuthor(BooksRecordSet &books)
{
    // An author's records come one after another: the text is composed once
    // for each author, not for each of its books.
    books.setAuthor(books.sameNamesAsPrevious() ? books.previousAuthor() : GetAuthorText(books));
}

void addAuthorsAndBooks(BooksRecordSet &books, LibraryTree &tree)
{
    AuthorIndex authors(books.collatorInput());
    for (books.first(); !books.eof(); books.next()) {
        const QString &author = books.author();
        LibraryTree::Node parent = authors.find(author);
        if (parent == LibraryTree::NoNode) {
            parent = tree.addRoot(author);
            authors.insert(author, parent);
        }
        tree.addBook(parent, GetBookLabel(books), books.fieldView(BookField::Path));
    }
}

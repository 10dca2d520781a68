// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue.h"

#include "error.h"
#include "heap.h"
#include "librarytree.h"
#include "text.h"
#include "textfile.h"

#include <QHash>
#include <QStringBuilder>
#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <span>
#include <tuple>

namespace {

struct FieldRule
{
    const char *name;
    bool integer;  // an integer of up to 32 bits; otherwise single-byte text
    bool read;     // whether its values are read; the others are only bound
};

// The catalogue's fields in BookField order.
constexpr std::array<FieldRule, 7> BookFields{{
    {"RecId", true, false},
    {"SURNAME", false, true},
    {"NAME", false, true},
    {"LASTNAME", false, true},
    {"LOCATION", false, false},
    {"LABEL", false, true},
    {"PATH", false, true},
}};

// The names of the fields whose values are not read.
QStringList unreadFields()
{
    QStringList names;
    for (const FieldRule &rule : BookFields)
        if (!rule.read)
            names.append(QString::fromLatin1(rule.name));
    return names;
}

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

// Ranks `values`: equal ranks for identical texts, and rank order following
// the collation, letter case counting. Texts the collation holds equal are
// ordered by their code points.
std::vector<int> rankTexts(const std::vector<QStringView> &values, const Collator &collator)
{
    // Room for every value up front: QHash does not keep the hashes, and
    // each growth would hash every text again.
    QHash<QStringView, int> distinctIndex;
    distinctIndex.reserve(qsizetype(values.size()));
    std::vector<int> ranks(values.size());
    std::vector<QStringView> distinct;
    for (size_t i = 0; i < values.size(); ++i) {
        auto it = distinctIndex.constFind(values[i]);
        if (it == distinctIndex.constEnd()) {
            it = distinctIndex.insert(values[i], int(distinct.size()));
            distinct.push_back(values[i]);
        }
        ranks[i] = *it;
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

    for (int &rank : ranks)
        rank = rankOfDistinct[size_t(rank)];
    return ranks;
}

// An author's three names, as the packet holds them.
struct AuthorNames
{
    QStringView surname, name, lastName;
    bool operator==(const AuthorNames &) const = default;
};

// Each name's hash seeds the next: qHashMulti hashes each with seed 0, and
// Qt hashes text with a zero seed in a way three times slower.
size_t qHash(const AuthorNames &names, size_t seed)
{
    return qHash(names.lastName, qHash(names.name, qHash(names.surname, seed)));
}

// Sorts `run` stably. Most authors have a few books, and for a few items a
// binary search for each one's place makes fewer compares than
// std::stable_sort's insertion sort (7 against 9.5 for five): compares are
// the collation's, the costliest step of the order.
template <typename Less>
void sortRun(std::span<qsizetype> run, Less less)
{
    constexpr size_t ShortRun = 16;
    if (run.size() > ShortRun) {
        std::stable_sort(run.begin(), run.end(), less);
        return;
    }
    for (auto next = run.begin(); next != run.end(); ++next)
        std::rotate(std::upper_bound(run.begin(), next, *next, less), next, next + 1);
}

// A catalogue of about 200,000 books or more.
constexpr qint64 LargeCatalogueBytes = qint64(32) << 20;

// Loading a catalogue takes up to about six times its size at its peak: a
// million books in 144 MB peaked at 755 MB in the viewer.
constexpr int LoadPeakPerCatalogueByte = 6;
// Of which the heap took 3.3 times its size; pages for three times it are
// faulted in ahead. A catalogue of much longer rows writes less of the heap
// per byte, and the pages faulted in but not written then count in the
// process's memory until it ends.
constexpr int LoadHeapPerCatalogueByte = 3;

}  // namespace

QByteArray readCatalogueLine(const QString &path)
{
    TextFileReader file(path);
    if (file.size() > MaxCatalogueBytes)
        throw AppError(
            QStringLiteral("The catalogue file is larger than %1 MB, more than the data-packet engine can hold")
                .arg(MaxCatalogueBytes >> 20));
    // A large catalogue's bytes get room of their own first, so that the
    // heap prepared next does not serve them, and its pages are faulted in
    // on another core while they are read. Smaller catalogues keep glibc's
    // own rules: for 100,000 books they were 50 ms sooner and peaked 20 MiB
    // lower than large blocks kept in the heap.
    if (file.size() > LargeCatalogueBytes) {
        file.reserveLine(file.size());
        prepareHeapForLargeLoad(file.size() * LoadPeakPerCatalogueByte, file.size() * LoadHeapPerCatalogueByte);
    }
    QByteArrayView line;
    file.readLineUpToNul(line);
    return file.releaseLine(line);
}

QString composeAuthorText(QStringView surname, QStringView name, QStringView lastName)
{
    QString joined = surname % u' ' % name % u' ' % lastName;
    if (trimmedView(QStringView(joined)).isEmpty())
        return QStringLiteral("Народные сказки, мифы, легенды");
    return joined;
}

BooksRecordSet::BooksRecordSet(QString name) : m_name(std::move(name)) {}

void BooksRecordSet::fail(const QString &message) const
{
    throw AppError(QStringLiteral("%1: %2").arg(m_name, message));
}

void BooksRecordSet::open(QByteArray packet)
{
    m_open = false;
    m_order.clear();
    // Values nobody reads are checked but not kept: a million books then
    // peak 42 MiB lower.
    m_packet = DataPacket::parse(std::move(packet), unreadFields());
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
    const auto rows = size_t(m_packet.rowCount());
    const auto column = [&](BookField field) { return m_fieldColumns[size_t(field)]; };

    // The distinct authors, numbered as their first records come. Room up
    // front, as in rankTexts, for an author in every four records: a
    // library's authors have a few books each.
    QHash<AuthorNames, int> authorIndex;
    authorIndex.reserve(qsizetype(rows / 4));
    std::vector<AuthorNames> authors;
    m_authorOfRow.resize(rows);
    for (size_t row = 0; row < rows; ++row) {
        const auto value = [&](BookField field) { return m_packet.value(qsizetype(row), column(field)); };
        const AuthorNames names{value(BookField::Surname), value(BookField::Name), value(BookField::LastName)};
        auto it = authorIndex.constFind(names);
        if (it == authorIndex.constEnd()) {
            it = authorIndex.insert(names, int(authors.size()));
            authors.push_back(names);
        }
        m_authorOfRow[row] = *it;
    }

    // The authors in order of their three names; distinct authors differ in
    // at least one rank.
    const Collator collator(Qt::CaseSensitive, collatorInput());
    const auto rankOf = [&](QStringView AuthorNames::*part) {
        std::vector<QStringView> texts(authors.size());
        std::transform(authors.begin(), authors.end(), texts.begin(), [&](const AuthorNames &a) { return a.*part; });
        return rankTexts(texts, collator);
    };
    const std::vector<int> surname = rankOf(&AuthorNames::surname);
    const std::vector<int> name = rankOf(&AuthorNames::name);
    const std::vector<int> lastName = rankOf(&AuthorNames::lastName);
    std::vector<int> byNames(authors.size());
    std::iota(byNames.begin(), byNames.end(), 0);
    std::sort(byNames.begin(), byNames.end(), [&](int a, int b) {
        return std::tie(surname[size_t(a)], name[size_t(a)], lastName[size_t(a)])
               < std::tie(surname[size_t(b)], name[size_t(b)], lastName[size_t(b)]);
    });
    std::vector<int> numberOfAuthor(authors.size());
    for (size_t number = 0; number < byNames.size(); ++number)
        numberOfAuthor[size_t(byNames[number])] = int(number);

    // Each author's records in one run, in the packet's order: where each
    // run starts, then the rows dealt into their runs.
    std::vector<size_t> runStart(authors.size() + 1);
    for (int &author : m_authorOfRow) {
        author = numberOfAuthor[size_t(author)];
        ++runStart[size_t(author) + 1];
    }
    std::partial_sum(runStart.begin(), runStart.end(), runStart.begin());
    m_order.resize(rows);
    std::vector<size_t> runEnd(runStart.begin(), runStart.end() - 1);
    for (size_t row = 0; row < rows; ++row)
        m_order[runEnd[size_t(m_authorOfRow[row])]++] = qsizetype(row);

    // Labels are nearly all distinct and an author has few books, so they
    // are compared within each author's run rather than ranked beforehand.
    auto labelLess = [&](qsizetype a, qsizetype b) {
        const QStringView left = m_packet.value(a, column(BookField::Label));
        const QStringView right = m_packet.value(b, column(BookField::Label));
        const int order = collator.compare(left, right);
        return order != 0 ? order < 0 : left < right;
    };
    for (size_t author = 0; author < authors.size(); ++author)
        sortRun(std::span(m_order).subspan(runStart[author], runStart[author + 1] - runStart[author]), labelLess);
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

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "collator.h"
#include "datapacket.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

// The catalogue's fields, in the order the record set binds them.
enum class BookField { RecId, Surname, Name, LastName, Location, Label, Path };

// The largest catalogue file read: its parse alone would take several times
// as much memory, more than the engine can hold.
constexpr qint64 MaxCatalogueBytes = qint64(1) << 30;

// Reads the first line of the catalogue file at `path` (a path of this
// platform) by the text-file rules. Throws AppError when it cannot be read
// or is larger than MaxCatalogueBytes. A line with a NUL byte is refused by
// the engine, so it is not read beyond the first read that finds one.
QByteArray readCatalogueLine(const QString &path);

// The author text of a record: SURNAME, NAME and LASTNAME joined by single
// blanks (kept even around empty parts), or "Народные сказки, мифы, легенды"
// when nothing but blanks and control characters is left of the joined text.
QString composeAuthorText(QStringView surname, QStringView name, QStringView lastName);

// The catalogue's record set: the books of the data packet, bound to the
// catalogue's fields and kept in ascending order of SURNAME, NAME, LASTNAME
// and LABEL, letter case counting.
class BooksRecordSet
{
public:
    // The longest computed AUTHOR value, in characters.
    static constexpr qsizetype AuthorWidth = 255;

    explicit BooksRecordSet(QString name);

    const QString &name() const { return m_name; }

    // Hands `packet` to the engine, binds the fields and orders the records.
    // Throws AppError; errors about the fields come in the record set's form
    // ("cdsBooks: Field 'NAME' not found").
    void open(QByteArray packet);
    bool isOpen() const { return m_open; }

    // The walk over the records in record order. first() on a closed record
    // set throws "cdsBooks: Cannot perform this operation on a closed dataset".
    void first();
    void next();
    bool eof() const { return m_position >= qsizetype(m_order.size()); }
    qsizetype recordCount() const { return qsizetype(m_order.size()); }

    // A field of the record at hand, as text (empty for a null value, and
    // for RecId and LOCATION, which are bound but never read); the view
    // lives as long as the record set stays open on the same packet.
    QStringView fieldView(BookField field) const;
    QString fieldText(BookField field) const { return fieldView(field).toString(); }

    // The computed AUTHOR of the record at hand.
    const QString &author() const { return m_author; }
    // The computed AUTHOR of the record produced before, and whether that
    // record has the same SURNAME, NAME and LASTNAME as the one at hand.
    const QString &previousAuthor() const { return m_previousAuthor; }
    bool sameNamesAsPrevious() const;

    // How the open packet's texts are to be collated.
    Collator::Input collatorInput() const;

    // Stores the computed AUTHOR, keeping its first AuthorWidth characters.
    void setAuthor(const QString &author);

    // Called whenever the record set produces a record, to compute AUTHOR.
    std::function<void(BooksRecordSet &)> onCalcFields;

private:
    [[noreturn]] void fail(const QString &message) const;
    void bindFields();
    void orderRecords();
    void produceRecord();

    QString m_name;
    DataPacket m_packet;
    std::vector<int> m_fieldColumns;  // packet column of each BookField
    std::vector<qsizetype> m_order;   // packet rows in record order
    // Of each packet row: the number of its SURNAME, NAME and LASTNAME in
    // record order, the same for rows with the same three.
    std::vector<int> m_authorOfRow;
    qsizetype m_position = 0;
    QString m_author;
    QString m_previousAuthor;
    bool m_open = false;
};

class LibraryTree;

// The author text of the record at hand (see composeAuthorText).
QString GetAuthorText(const BooksRecordSet &books);
// The LABEL of the record at hand, the text of its book node.
QStringView GetBookLabel(const BooksRecordSet &books);
// Computes the record's AUTHOR: the record set's calculated field.
void calculateAuthor(BooksRecordSet &books);

// Adds to `tree` one author node per author and under it one book node per
// record, in record order; each book node carries its PATH and the
// has-children mark. Authors whose texts differ only in letter case are one.
void addAuthorsAndBooks(BooksRecordSet &books, LibraryTree &tree);

// The author index used while the tree is built: author texts and their
// nodes, sorted by text ignoring letter case by the user's collation, so
// that texts differing only in letter case name one author.
class AuthorIndex
{
public:
    explicit AuthorIndex(Collator::Input input = Collator::Input::AnyText);

    // The node stored for a text equal to `authorText` ignoring letter
    // case, or -1 when there is none.
    int find(const QString &authorText);
    void insert(const QString &authorText, int node);

private:
    struct Entry
    {
        QString text;
        int node;
    };
    // The entries from the position where `text` is or belongs.
    std::vector<Entry>::iterator lowerBound(const QString &text);

    Collator m_collator;
    std::vector<Entry> m_entries;  // sorted by text, ignoring letter case
    // The text found or inserted last, with its node: the records of one
    // author come one after another.
    QString m_lastText;
    int m_lastNode = -1;
    // The text find() missed last, and where it belongs.
    QString m_missedText;
    qsizetype m_missedPosition = -1;
};

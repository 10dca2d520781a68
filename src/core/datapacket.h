// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "textarena.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <limits>
#include <vector>

// The data-packet engine: turns an XML data packet into field definitions
// and rows of text values.
//
// A packet is DATAPACKET > METADATA > FIELDS > FIELD (attrname, fieldtype,
// WIDTH, SUBTYPE) and DATAPACKET > ROWDATA > ROW, one attribute per non-null
// value. A packet with no encoding declaration, or one naming windows-1251,
// holds Windows-1251 text; one declaring UTF-8 holds UTF-8.

// The kinds a packet's field can have, named as the engine names them in
// messages (see kindName).
enum class FieldKind {
    String,
    FixedChar,
    WideString,
    Guid,
    ShortInt,
    Byte,
    SmallInt,
    Word,
    Integer,
    AutoInc,
    LongWord,
    LargeInt,
    Single,
    Float,
    Currency,
    BCD,
    FMTBcd,
    Boolean,
    Date,
    Time,
    DateTime,
    TimeStamp,
    Memo,
    WideMemo,
    FmtMemo,
    Graphic,
    Blob,
    Bytes,
    VarBytes,
    DataSet,
    Unknown
};

// "String", "WideString", "Integer", "SmallInt", "LargeInt", "Memo", ...
QString kindName(FieldKind kind);

struct PacketField
{
    QString name;  // attrname, as the packet spells it
    FieldKind kind = FieldKind::Unknown;
    int width = 0;  // WIDTH, 0 when absent
};

class DataPacket
{
public:
    // The longest text value the engine delivers, in bytes of the packet;
    // longer values are cut to it.
    static constexpr qsizetype MaxValueBytes = 8192;

    // Parses `packet`. Throws AppError: "Invalid data packet" for a packet
    // of 1 to 21 bytes, and a clear message of the engine's own for any
    // packet it refuses (not XML, no DATAPACKET, no METADATA/FIELDS, a field
    // without a name, a row value that is not valid for its field, an
    // encoding it cannot read). An empty packet is refused too. The packet
    // is parsed in place: a packet moved in is never copied. The values of
    // the fields named in `unread` (ignoring letter case) are checked as any
    // other, but not kept: value() gives a null view for them.
    static DataPacket parse(QByteArray packet, const QStringList &unread = {});

    const QList<PacketField> &fields() const { return m_fields; }

    // The index of the field named `name`, compared ignoring letter case;
    // the first such field when several match; -1 when none does.
    int fieldIndex(const QString &name) const;

    qsizetype rowCount() const { return m_rowCount; }

    // The value of field `field` in row `row`, decoded and with character
    // references expanded; a null view when the row has no value for it or
    // the field's values are not kept. It lives as long as the packet.
    QStringView value(qsizetype row, int field) const;

    // Whether a value may hold a combining mark: the packet is UTF-8, or a
    // character reference in it may name one. A Windows-1251 packet without
    // references holds the code page's characters only, none of them one.
    bool mayHoldCombiningMarks() const { return m_mayHoldCombiningMarks; }

private:
    friend class PacketReader;

    // The place of a value the row does not have.
    static constexpr TextArena::Ref NullValue{std::numeric_limits<quint32>::max(), 0};

    QList<PacketField> m_fields;
    TextArena m_texts;  // every value's text, end to end
    // One column per field, one entry per row; none for a field whose
    // values are not kept.
    std::vector<std::vector<TextArena::Ref>> m_columns;
    qsizetype m_rowCount = 0;
    bool m_mayHoldCombiningMarks = true;
};

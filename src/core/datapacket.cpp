// SPDX-License-Identifier: GPL-3.0-or-later
#include "datapacket.h"

#include "error.h"
#include "text.h"
#include "textfile.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <pugixml.hpp>

#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string_view>
#include <unordered_map>

// How the engine reads a packet
// -----------------------------
// pugixml parses a copy of the packet's bytes as if they were UTF-8
// (pugi::encoding_utf8), so Windows-1251 bytes pass through it untouched.
// Escapes are NOT expanded by pugixml: a character reference names a Unicode
// character, and expanding it before the bytes are decoded would write UTF-8
// bytes into Windows-1251 text. The engine therefore decodes every value
// itself and expands &lt; &gt; &amp; &quot; &apos; &#N; and &#xN; on the way.
// Any other reference, a reference without its ';', and a reference to a code
// point that is no character (0, a surrogate, beyond U+10FFFF) makes the
// packet refused: it is not well-formed XML, and passing it through literally
// would show the user text that the packet never meant. Entities declared in
// a DTD are never expanded.
//
// Line ends and tabs inside attribute values become blanks, as XML's
// attribute-value normalisation asks (pugixml does that); a &#10; reference
// stays a line feed.

namespace {

// A packet this short cannot even hold the DATAPACKET element.
constexpr qsizetype ShortPacketLimit = 21;

// The longest piece of a value or reference quoted in a message.
constexpr qsizetype QuoteLimit = 40;

constexpr qsizetype NoLimit = std::numeric_limits<qsizetype>::max();

// The most value slots (fields times rows) a packet may need: far above a
// catalogue of a million books, far below what would exhaust memory.
constexpr qsizetype MaxValueSlots = qsizetype(1) << 25;

enum class Charset { Windows1251, Utf8 };

[[noreturn]] void refuse(const QString &detail)
{
    throw AppError(QStringLiteral("Invalid data packet: ") + detail);
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool sameAsciiIgnoringCase(QByteArrayView a, const char *b)
{
    return a.size() == qsizetype(std::strlen(b)) && qstrnicmp(a.data(), b, size_t(a.size())) == 0;
}

// The bytes of a packet that are outside the engine's reach, quoted for a
// message: printable ASCII as it is, every other byte as \xNN.
QString quoteBytes(QByteArrayView bytes)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size() && i < QuoteLimit; ++i) {
        const auto b = uchar(bytes[i]);
        if (b >= 0x20 && b < 0x7F)
            text += QLatin1Char(char(b));
        else
            text += QStringLiteral("\\x%1").arg(uint(b), 2, 16, QLatin1Char('0'));
    }
    if (bytes.size() > QuoteLimit)
        text += QStringLiteral("...");
    return text;
}

QString quoteText(const QString &text)
{
    return text.size() > QuoteLimit ? text.left(QuoteLimit) + QStringLiteral("...") : text;
}

// ---------------------------------------------------------------------------
// The prolog: byte order marks and the XML declaration.

struct Prolog
{
    Charset charset = Charset::Windows1251;
    qsizetype bodyOffset = 0;  // where the XML starts, past a UTF-8 byte order mark
};

bool startsWith(QByteArrayView data, std::initializer_list<uchar> bytes)
{
    if (data.size() < qsizetype(bytes.size()))
        return false;
    qsizetype i = 0;
    for (uchar b : bytes)
        if (uchar(data[i++]) != b)
            return false;
    return true;
}

// Refuses a packet in a 16- or 32-bit encoding, which would otherwise only
// be reported as a NUL byte or as a mess of XML errors.
void refuseWideEncodings(QByteArrayView data)
{
    if (startsWith(data, {0x00, 0x00, 0xFE, 0xFF}) || startsWith(data, {0xFF, 0xFE, 0x00, 0x00})
        || startsWith(data, {0x00, 0x00, 0x00, '<'}) || startsWith(data, {'<', 0x00, 0x00, 0x00}))
        refuse(QStringLiteral("unsupported encoding 'UTF-32'"));
    if (startsWith(data, {0xFE, 0xFF}) || startsWith(data, {0xFF, 0xFE}) || startsWith(data, {0x00, '<'})
        || startsWith(data, {'<', 0x00}))
        refuse(QStringLiteral("unsupported encoding 'UTF-16'"));
}

[[noreturn]] void malformed()
{
    refuse(QStringLiteral("malformed XML declaration"));
}

// Reads the encoding named by the XML declaration at `pos`, if there is a
// declaration; returns a null view when there is none or it names none.
QByteArrayView declaredEncoding(QByteArrayView data, qsizetype pos)
{
    if (!data.sliced(pos).startsWith("<?xml") || data.size() <= pos + 5 || !isXmlSpace(data[pos + 5]))
        return {};
    QByteArrayView encoding;
    qsizetype p = pos + 5;
    for (;;) {
        while (p < data.size() && isXmlSpace(data[p]))
            ++p;
        if (p >= data.size())
            malformed();
        if (data[p] == '?') {
            if (p + 1 >= data.size() || data[p + 1] != '>')
                malformed();
            return encoding;
        }
        const qsizetype nameStart = p;
        while (p < data.size() && ((data[p] >= 'a' && data[p] <= 'z') || (data[p] >= 'A' && data[p] <= 'Z')))
            ++p;
        const QByteArrayView name = data.sliced(nameStart, p - nameStart);
        while (p < data.size() && isXmlSpace(data[p]))
            ++p;
        if (name.isEmpty() || p >= data.size() || data[p] != '=')
            malformed();
        ++p;
        while (p < data.size() && isXmlSpace(data[p]))
            ++p;
        if (p >= data.size() || (data[p] != '"' && data[p] != '\''))
            malformed();
        const char quote = data[p++];
        const qsizetype valueStart = p;
        while (p < data.size() && data[p] != quote && data[p] != '>')
            ++p;
        if (p >= data.size() || data[p] != quote)
            malformed();
        if (name == QByteArrayView("encoding"))
            encoding = data.sliced(valueStart, p - valueStart);
        ++p;
    }
}

Prolog readProlog(QByteArrayView data)
{
    refuseWideEncodings(data);
    Prolog prolog;
    const bool utf8Bom = startsWith(data, {0xEF, 0xBB, 0xBF});
    if (utf8Bom) {
        prolog.charset = Charset::Utf8;
        prolog.bodyOffset = 3;
    }
    const QByteArrayView encoding = declaredEncoding(data, prolog.bodyOffset);
    if (encoding.isNull())
        return prolog;
    if (sameAsciiIgnoringCase(encoding, "utf-8") || sameAsciiIgnoringCase(encoding, "utf8")) {
        prolog.charset = Charset::Utf8;
    } else if (sameAsciiIgnoringCase(encoding, "windows-1251") || sameAsciiIgnoringCase(encoding, "cp1251")) {
        if (utf8Bom)
            refuse(QStringLiteral("the packet starts with a UTF-8 byte order mark but declares encoding '%1'")
                       .arg(quoteBytes(encoding)));
        prolog.charset = Charset::Windows1251;
    } else {
        refuse(QStringLiteral("unsupported encoding '%1'").arg(quoteBytes(encoding)));
    }
    return prolog;
}

// ---------------------------------------------------------------------------
// Values: decoding, character references, the length limit.

int digitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Parses the reference that starts with the '&' at `amp`. Returns the
// position after its ';' and sets `c`, or nullptr when it is not a valid one.
const char *parseReference(const char *amp, const char *end, char32_t &c)
{
    const char *q = amp + 1;
    if (q < end && *q == '#') {
        ++q;
        const bool hex = q < end && *q == 'x';
        if (hex)
            ++q;
        char32_t code = 0;
        int digits = 0;
        for (; q < end && *q != ';'; ++q, ++digits) {
            const int d = digitValue(*q, hex);
            if (d < 0)
                return nullptr;
            code = code * (hex ? 16u : 10u) + char32_t(d);
            if (code > 0x10FFFF)
                return nullptr;
        }
        if (q == end || digits == 0 || code == 0 || (code >= 0xD800 && code <= 0xDFFF))
            return nullptr;
        c = code;
        return q + 1;
    }
    static constexpr struct
    {
        std::string_view name;
        char32_t c;
    } Named[] = {
        {"lt;", U'<'}, {"gt;", U'>'}, {"amp;", U'&'}, {"quot;", U'"'}, {"apos;", U'\''},
    };
    const std::string_view rest(q, size_t(end - q));
    for (const auto &entity : Named) {
        if (rest.starts_with(entity.name)) {
            c = entity.c;
            return q + entity.name.size();
        }
    }
    return nullptr;
}

class ValueDecoder
{
public:
    explicit ValueDecoder(Charset charset)
        : m_charset(charset),
          m_utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom)
    {}

    // Decodes the `length` bytes of value `raw` (NUL-terminated) into `out`,
    // keeping no more than `limit` bytes of its text. Returns nullptr, or the
    // position of a character reference that is not valid.
    const char *decode(const char *raw, qsizetype length, qsizetype limit, QString &out)
    {
        out = QString(decodedRoom(length, limit), Qt::Uninitialized);
        qsizetype written = 0;
        const bool holdsReference = std::memchr(raw, '&', size_t(length));
        const char *bad = decode(raw, length, limit, holdsReference, reinterpret_cast<char16_t *>(out.data()), written);
        out.truncate(written);
        return bad;
    }

    // As above, into `out`, which has room for decodedRoom(length, limit)
    // characters; `written` tells how many it holds. `holdsReference` tells
    // whether the value has an '&'. Inline: every value of a catalogue
    // passes through it, and a call cost more than its common path.
    Q_ALWAYS_INLINE const char *decode(const char *raw, qsizetype length, qsizetype limit, bool holdsReference,
                                       char16_t *out, qsizetype &written)
    {
        if (holdsReference) {
            m_sawReference = true;
            return decodeWithReferences(raw, length, limit, out, written);
        }
        const qsizetype kept = length > limit ? cutPoint(raw, limit) : length;
        written = appendRun(out, raw, kept) - out;
        return nullptr;
    }

    // The room a value of `length` bytes may need: no byte run decodes to
    // more characters than it has bytes, and a reference is at least four
    // bytes and becomes at most two UTF-16 units, each costing at least one
    // byte of the limit.
    static qsizetype decodedRoom(qsizetype length, qsizetype limit)
    {
        return limit == NoLimit ? length : std::min(length, 2 * limit);
    }

    // Whether any text decoded so far held a character reference.
    bool sawReference() const { return m_sawReference; }

    // Decodes bytes of the packet for a message.
    QString decodeForMessage(QByteArrayView bytes)
    {
        QString text(bytes.size(), Qt::Uninitialized);
        auto *begin = reinterpret_cast<char16_t *>(text.data());
        text.truncate(appendRun(begin, bytes.data(), bytes.size()) - begin);
        return text;
    }

    // How many bytes the character `c` takes in the packet's encoding.
    qsizetype encodedLength(char32_t c) const
    {
        if (m_charset == Charset::Windows1251)
            return 1;
        return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }

private:
    // Where to cut `length` > `limit` bytes: at `limit`, or for UTF-8 at the
    // start of the character that `limit` falls into.
    qsizetype cutPoint(const char *bytes, qsizetype limit) const
    {
        qsizetype cut = limit;
        if (m_charset == Charset::Utf8) {
            for (int back = 0; back < 3 && cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80; ++back)
                --cut;
        }
        return cut;
    }

    char16_t *appendRun(char16_t *out, const char *bytes, qsizetype length)
    {
        if (m_charset == Charset::Utf8)
            return reinterpret_cast<char16_t *>(
                m_utf8.appendToBuffer(reinterpret_cast<QChar *>(out), QByteArrayView(bytes, length)));
        decodeWindows1251(QByteArrayView(bytes, length), out);
        return out + length;
    }

    // Once the limit is reached the rest is still scanned so that an invalid
    // reference is never missed.
    const char *decodeWithReferences(const char *raw, qsizetype length, qsizetype limit, char16_t *out,
                                     qsizetype &written)
    {
        char16_t *dst = out;
        qsizetype budget = limit;
        bool full = false;
        const char *p = raw;
        const char *const end = raw + length;
        while (p < end) {
            const auto *amp = static_cast<const char *>(std::memchr(p, '&', size_t(end - p)));
            const char *runEnd = amp ? amp : end;
            if (!full) {
                qsizetype run = runEnd - p;
                if (run > budget) {
                    run = cutPoint(p, budget);
                    full = true;
                }
                dst = appendRun(dst, p, run);
                budget -= run;
            }
            if (!amp)
                break;
            char32_t c = 0;
            p = parseReference(amp, end, c);
            if (!p) {
                written = 0;
                return amp;
            }
            if (!full) {
                const qsizetype cost = encodedLength(c);
                if (cost > budget) {
                    full = true;
                } else {
                    budget -= cost;
                    if (QChar::requiresSurrogates(c)) {
                        *dst++ = QChar::highSurrogate(c);
                        *dst++ = QChar::lowSurrogate(c);
                    } else {
                        *dst++ = char16_t(c);
                    }
                }
            }
        }
        written = dst - out;
        return nullptr;
    }

    Charset m_charset;
    QStringDecoder m_utf8;
    bool m_sawReference = false;
};

// The text of the reference at `amp` for a message: up to its ';'.
QByteArrayView referenceText(const char *amp)
{
    qsizetype n = 1;
    while (n < QuoteLimit && amp[n] != '\0' && amp[n] != ';')
        ++n;
    if (amp[n] == ';')
        ++n;
    return QByteArrayView(amp, n);
}

// ---------------------------------------------------------------------------
// Fields.

FieldKind kindOf(const char *fieldType, const char *subType)
{
    const auto is = [](const char *a, const char *b) { return qstricmp(a, b) == 0; };
    if (is(fieldType, "string"))
        return is(subType, "FixedChar") ? FieldKind::FixedChar
               : is(subType, "Guid")    ? FieldKind::Guid
                                        : FieldKind::String;
    if (is(fieldType, "string.uni"))
        return FieldKind::WideString;
    if (is(fieldType, "i1"))
        return FieldKind::ShortInt;
    if (is(fieldType, "ui1"))
        return FieldKind::Byte;
    if (is(fieldType, "i2"))
        return FieldKind::SmallInt;
    if (is(fieldType, "ui2"))
        return FieldKind::Word;
    if (is(fieldType, "i4"))
        return is(subType, "Autoinc") ? FieldKind::AutoInc : FieldKind::Integer;
    if (is(fieldType, "ui4"))
        return FieldKind::LongWord;
    if (is(fieldType, "i8"))
        return FieldKind::LargeInt;
    if (is(fieldType, "r4"))
        return FieldKind::Single;
    if (is(fieldType, "r8"))
        return is(subType, "Money") ? FieldKind::Currency : FieldKind::Float;
    if (is(fieldType, "fixed"))
        return FieldKind::BCD;
    if (is(fieldType, "fixedFMT"))
        return FieldKind::FMTBcd;
    if (is(fieldType, "boolean"))
        return FieldKind::Boolean;
    if (is(fieldType, "date"))
        return FieldKind::Date;
    if (is(fieldType, "time"))
        return FieldKind::Time;
    if (is(fieldType, "dateTime"))
        return FieldKind::DateTime;
    if (is(fieldType, "SQLdateTime"))
        return FieldKind::TimeStamp;
    if (is(fieldType, "bin.hex")) {
        if (is(subType, "Text"))
            return FieldKind::Memo;
        if (is(subType, "WideText"))
            return FieldKind::WideMemo;
        if (is(subType, "Formatted"))
            return FieldKind::FmtMemo;
        if (is(subType, "Graphics"))
            return FieldKind::Graphic;
        return FieldKind::Blob;
    }
    if (is(fieldType, "nested"))
        return FieldKind::DataSet;
    return FieldKind::Unknown;
}

// Text fields are the ones whose values are cut to DataPacket::MaxValueBytes.
bool isTextKind(FieldKind kind)
{
    return kind == FieldKind::String || kind == FieldKind::FixedChar || kind == FieldKind::WideString
           || kind == FieldKind::Guid;
}

struct IntegerRange
{
    qint64 minimum;
    qint64 maximum;
};

// The range of an integer kind, or nullptr for any other kind.
const IntegerRange *integerRange(FieldKind kind)
{
    static constexpr IntegerRange I8{-128, 127}, U8{0, 255}, I16{-32768, 32767}, U16{0, 65535},
        I32{std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()},
        U32{0, std::numeric_limits<quint32>::max()},
        I64{std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};
    switch (kind) {
    case FieldKind::ShortInt: return &I8;
    case FieldKind::Byte: return &U8;
    case FieldKind::SmallInt: return &I16;
    case FieldKind::Word: return &U16;
    case FieldKind::Integer:
    case FieldKind::AutoInc: return &I32;
    case FieldKind::LongWord: return &U32;
    case FieldKind::LargeInt: return &I64;
    default: return nullptr;
    }
}

// WIDTH as a number; 0 when absent or not a plain non-negative number (the
// width is informative only, so an odd one is no reason to refuse a packet).
int widthOf(const char *text)
{
    return int(decimalInteger(QString::fromLatin1(text), 0, std::numeric_limits<int>::max()).value_or(0));
}

// Finds the field a ROW attribute belongs to, by its exact name. Attributes
// mostly come in field order, so the field after the last one matched is
// tried first.
class FieldMatcher
{
public:
    void add(QByteArray key) { m_keys.push_back(std::move(key)); }

    // Builds the index once all fields are added. A field whose exact name
    // an earlier field already has never gets a value: the earlier field
    // takes it.
    void finish()
    {
        for (size_t i = 0; i < m_keys.size(); ++i) {
            const std::string_view key(m_keys[i].constData(), size_t(m_keys[i].size()));
            if (!m_index.emplace(key, int(i)).second)
                m_keys[i].clear();
        }
    }

    int find(const char *name, int hint) const
    {
        if (size_t(hint) < m_keys.size()) {
            const QByteArray &key = m_keys[size_t(hint)];
            if (!key.isEmpty() && std::strcmp(key.constData(), name) == 0)
                return hint;
        }
        const auto it = m_index.find(std::string_view(name));
        return it == m_index.end() ? -1 : it->second;
    }

private:
    std::vector<QByteArray> m_keys;  // bytes of each field's name as ROW attributes spell it
    std::unordered_map<std::string_view, int> m_index;
};

QString parseErrorText(const pugi::xml_parse_result &result, qsizetype offset, bool atEnd)
{
    const char *what = "not well-formed";
    switch (result.status) {
    case pugi::status_unrecognized_tag: what = "unrecognized tag"; break;
    case pugi::status_bad_pi: what = "bad processing instruction"; break;
    case pugi::status_bad_comment: what = "bad comment"; break;
    case pugi::status_bad_cdata: what = "bad CDATA section"; break;
    case pugi::status_bad_doctype: what = "bad document type declaration"; break;
    case pugi::status_bad_pcdata: what = "bad character data"; break;
    case pugi::status_bad_start_element: what = "bad start tag"; break;
    case pugi::status_bad_attribute: what = "bad attribute"; break;
    case pugi::status_bad_end_element: what = "bad end tag"; break;
    case pugi::status_end_element_mismatch: what = "end tag does not match its start tag"; break;
    default: break;
    }
    if (atEnd)
        what = "unexpected end of data";
    return QStringLiteral("not well-formed XML (%1 at offset %2)").arg(QLatin1String(what)).arg(offset);
}

bool isElement(const pugi::xml_node &node, const char *name)
{
    return node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

}  // namespace

QString kindName(FieldKind kind)
{
    switch (kind) {
    case FieldKind::String: return QStringLiteral("String");
    case FieldKind::FixedChar: return QStringLiteral("FixedChar");
    case FieldKind::WideString: return QStringLiteral("WideString");
    case FieldKind::Guid: return QStringLiteral("Guid");
    case FieldKind::ShortInt: return QStringLiteral("ShortInt");
    case FieldKind::Byte: return QStringLiteral("Byte");
    case FieldKind::SmallInt: return QStringLiteral("SmallInt");
    case FieldKind::Word: return QStringLiteral("Word");
    case FieldKind::Integer: return QStringLiteral("Integer");
    case FieldKind::AutoInc: return QStringLiteral("AutoInc");
    case FieldKind::LongWord: return QStringLiteral("LongWord");
    case FieldKind::LargeInt: return QStringLiteral("LargeInt");
    case FieldKind::Single: return QStringLiteral("Single");
    case FieldKind::Float: return QStringLiteral("Float");
    case FieldKind::Currency: return QStringLiteral("Currency");
    case FieldKind::BCD: return QStringLiteral("BCD");
    case FieldKind::FMTBcd: return QStringLiteral("FMTBcd");
    case FieldKind::Boolean: return QStringLiteral("Boolean");
    case FieldKind::Date: return QStringLiteral("Date");
    case FieldKind::Time: return QStringLiteral("Time");
    case FieldKind::DateTime: return QStringLiteral("DateTime");
    case FieldKind::TimeStamp: return QStringLiteral("TimeStamp");
    case FieldKind::Memo: return QStringLiteral("Memo");
    case FieldKind::WideMemo: return QStringLiteral("WideMemo");
    case FieldKind::FmtMemo: return QStringLiteral("FmtMemo");
    case FieldKind::Graphic: return QStringLiteral("Graphic");
    case FieldKind::Blob: return QStringLiteral("Blob");
    case FieldKind::Bytes: return QStringLiteral("Bytes");
    case FieldKind::VarBytes: return QStringLiteral("VarBytes");
    case FieldKind::DataSet: return QStringLiteral("DataSet");
    case FieldKind::Unknown: break;
    }
    return QStringLiteral("Unknown");
}

QStringView DataPacket::value(qsizetype row, int field) const
{
    const std::vector<TextArena::Ref> &column = m_columns[size_t(field)];
    if (column.empty())
        return {};
    const TextArena::Ref ref = column[size_t(row)];
    if (ref.length == 0)
        return ref.position == NullValue.position ? QStringView() : QStringView(u"");
    return m_texts.view(ref);
}

int DataPacket::fieldIndex(const QString &name) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

namespace {

// Finds the '&' of a packet's values in one pass over its bytes. Values are
// read in the order of the bytes, so each search runs from the value at hand
// to the next '&', and the values before that one need no search at all:
// most values of a catalogue have none, and a search of their own cost more
// than their decoding.
class AmpersandFinder
{
public:
    explicit AmpersandFinder(QByteArrayView bytes) : m_begin(bytes.data()), m_end(bytes.data() + bytes.size()) {}

    // Whether the `length` bytes at `raw` hold an '&'.
    bool holdsOne(const char *raw, qsizetype length)
    {
        if (raw < m_begin || raw + length > m_end)  // not in the packet's bytes
            return std::memchr(raw, '&', size_t(length));
        if (raw < m_searchedFrom || raw > m_next) {
            m_searchedFrom = raw;
            const void *found = std::memchr(raw, '&', size_t(m_end - raw));
            m_next = found ? static_cast<const char *>(found) : m_end;
        }
        return m_next < raw + length;
    }

private:
    const char *m_begin;
    const char *m_end;
    const char *m_searchedFrom = nullptr;
    const char *m_next = nullptr;  // the first '&' from m_searchedFrom on
};

}  // namespace

// Reads a packet into a DataPacket, one step after another; each step
// refuses what it finds wrong.
class PacketReader
{
public:
    // Takes the packet's bytes for its own: the parse writes into them.
    PacketReader(QByteArray packet, const QStringList &unread) : m_bytes(detached(std::move(packet))), m_unread(unread)
    {}

    DataPacket read()
    {
        checkBytes();
        parseXml();
        const pugi::xml_node root = document();
        readFields(root);
        const pugi::xml_node rowData = root.child("ROWDATA");
        allocateRows(countRows(rowData));
        readRows(rowData);
        m_packet.m_mayHoldCombiningMarks = m_prolog.charset == Charset::Utf8 || m_decoder->sawReference();
        return std::move(m_packet);
    }

private:
    // How the values of one field are read.
    struct FieldReading
    {
        qsizetype limit = NoLimit;            // of each value, in bytes
        const IntegerRange *range = nullptr;  // of an integer field
        bool kept = true;                     // whether the values are kept
        qsizetype rowOfLast = -1;             // the row of the last value read
    };

    // The packet's size, its prolog and its encoding, and no NUL byte.
    void checkBytes()
    {
        const QByteArrayView data = m_bytes;
        if (data.size() <= ShortPacketLimit)
            throw AppError(QStringLiteral("Invalid data packet"));
        m_prolog = readProlog(data);
        if (const void *nul = std::memchr(data.data(), '\0', size_t(data.size())))
            refuse(QStringLiteral("NUL byte at offset %1").arg(static_cast<const char *>(nul) - data.data()));
        m_decoder.emplace(m_prolog.charset);
    }

    // pugixml parses the bytes in place, which spares a copy as large as
    // the catalogue. Without parse_escapes the values keep their references
    // for ValueDecoder.
    void parseXml()
    {
        const QByteArrayView body = QByteArrayView(m_bytes).sliced(m_prolog.bodyOffset);
        char *const bytes = m_bytes.data() + m_prolog.bodyOffset;
        const char last = body.back();
        const pugi::xml_parse_result result =
            m_document.load_buffer_inplace(bytes, size_t(body.size()), parseOptions(body), pugi::encoding_utf8);
        // Memory that ran out is reported as it is anywhere else, not as a
        // fault of the packet.
        if (result.status == pugi::status_out_of_memory)
            throw std::bad_alloc();
        if (result.status == pugi::status_no_document_element)
            refuse(QStringLiteral("no DATAPACKET element"));
        if (result)
            return;
        // pugixml ends the text with a NUL in place of its last byte, which
        // the search for the end of a cut-off tag below must see.
        bytes[body.size() - 1] = last;
        // pugixml puts the error of a cut-off packet on its last byte, or for
        // a cut-off end tag on the tag's name; either is the end of the data.
        const auto offset = qsizetype(result.offset);
        const bool atEnd = offset >= body.size() - 1
                           || (result.status == pugi::status_end_element_mismatch
                               && !std::memchr(body.data() + offset, '>', size_t(body.size() - offset)));
        refuse(parseErrorText(result, atEnd ? m_bytes.size() : m_prolog.bodyOffset + offset, atEnd));
    }

    // Attribute values have their tabs and line ends turned into spaces, a
    // CR LF into one. A body without those bytes, as a packet written on one
    // line is, needs no conversion, and pugixml's plain scan of the values
    // then spares an eighth of the parse.
    static unsigned parseOptions(QByteArrayView body)
    {
        const auto holds = [&](char c) { return std::memchr(body.data(), c, size_t(body.size())) != nullptr; };
        if (holds('\n') || holds('\r') || holds('\t'))
            return pugi::parse_wconv_attribute | pugi::parse_eol;
        return pugi::parse_minimal;
    }

    // The DATAPACKET element, which must hold METADATA/FIELDS.
    pugi::xml_node document() const
    {
        const pugi::xml_node root = m_document.document_element();
        if (!isElement(root, "DATAPACKET"))
            refuse(QStringLiteral("no DATAPACKET element"));
        if (!root.child("METADATA").child("FIELDS"))
            refuse(QStringLiteral("no METADATA/FIELDS element"));
        return root;
    }

    void readFields(const pugi::xml_node &root)
    {
        for (pugi::xml_node f = root.child("METADATA").child("FIELDS").first_child(); f; f = f.next_sibling()) {
            if (isElement(f, "FIELD"))
                readField(f);
        }
        m_matcher.finish();
    }

    void readField(const pugi::xml_node &f)
    {
        const int number = int(m_packet.m_fields.size()) + 1;
        pugi::xml_attribute nameAttribute = f.attribute("attrname");
        if (!nameAttribute)
            nameAttribute = f.attribute("fieldname");
        if (!nameAttribute || *nameAttribute.value() == '\0')
            refuse(QStringLiteral("field %1 has no name").arg(number));

        PacketField field;
        const char *rawName = nameAttribute.value();
        if (const char *bad = m_decoder->decode(rawName, qsizetype(std::strlen(rawName)), NoLimit, field.name))
            refuse(QStringLiteral("invalid character reference '%1' in the name of field %2")
                       .arg(m_decoder->decodeForMessage(referenceText(bad)))
                       .arg(number));
        field.kind = kindOf(f.attribute("fieldtype").value(), f.attribute("SUBTYPE").value());
        field.width = widthOf(f.attribute("WIDTH").value());

        // ROW attribute names hold characters, never references, so a name
        // written with references is matched in its encoded form.
        if (!std::strchr(rawName, '&'))
            m_matcher.add(QByteArray(rawName));
        else if (m_prolog.charset == Charset::Utf8)
            m_matcher.add(field.name.toUtf8());
        else
            m_matcher.add(QStringEncoder("windows-1251").encode(field.name));
        FieldReading reading;
        reading.limit = isTextKind(field.kind) ? DataPacket::MaxValueBytes : NoLimit;
        reading.range = integerRange(field.kind);
        reading.kept = !m_unread.contains(field.name, Qt::CaseInsensitive);
        m_readings.push_back(reading);
        m_packet.m_fields.append(std::move(field));
    }

    // ROWDATA seldom holds anything but rows; readRows then need not look
    // at the elements' names again.
    qsizetype countRows(const pugi::xml_node &rowData)
    {
        qsizetype rowCount = 0;
        qsizetype childCount = 0;
        for (pugi::xml_node r = rowData.first_child(); r; r = r.next_sibling(), ++childCount)
            if (isElement(r, "ROW"))
                ++rowCount;
        m_onlyRows = rowCount == childCount;
        return rowCount;
    }

    // Every row holds a slot for every field, null or not, so a small packet
    // of many fields and many empty rows could ask for more memory than any
    // catalogue needs; such a packet is refused before anything is allocated.
    void allocateRows(qsizetype rowCount)
    {
        const auto fieldCount = qsizetype(m_packet.m_fields.size());
        if (fieldCount > 0 && rowCount > MaxValueSlots / fieldCount)
            refuse(QStringLiteral("too many values (%1 fields in %2 rows)").arg(fieldCount).arg(rowCount));
        m_packet.m_rowCount = rowCount;
        m_packet.m_columns.resize(size_t(fieldCount));
        for (size_t f = 0; f < size_t(fieldCount); ++f)
            if (m_readings[f].kept)
                m_packet.m_columns[f].assign(size_t(rowCount), DataPacket::NullValue);
    }

    void readRows(const pugi::xml_node &rowData)
    {
        qsizetype row = 0;
        for (pugi::xml_node r = rowData.first_child(); r; r = r.next_sibling()) {
            if (!m_onlyRows && !isElement(r, "ROW"))
                continue;
            int hint = 0;
            for (pugi::xml_attribute a = r.first_attribute(); a; a = a.next_attribute()) {
                const int f = m_matcher.find(a.name(), hint);
                if (f < 0)
                    continue;  // RowState and other attributes that are no field
                hint = f + 1;
                readValue(a.value(), f, row);
            }
            ++row;
        }
    }

    // Values recur in a column (the same first names, the same shelf); a
    // value spelled exactly as a recent one of its column shares that one's
    // decoded text instead of being decoded again. Values are decoded
    // straight into the packet's one block of texts. Inline: a call for
    // each value cost 13 M instructions on 100,000 books.
    Q_ALWAYS_INLINE void readValue(const char *raw, int f, qsizetype row)
    {
        FieldReading &field = m_readings[size_t(f)];
        if (field.rowOfLast == row)
            refuse(QStringLiteral("field '%1' appears twice in row %2").arg(fieldName(f)).arg(row + 1));
        field.rowOfLast = row;
        const auto length = qsizetype(std::strlen(raw));
        const bool holdsReference = m_ampersands.holdsOne(raw, length);
        if (!field.kept) {
            // Decoded only to be checked: for the references it holds, or as
            // an integer its bytes do not spell plainly. Digits and signs are
            // the same bytes in every encoding.
            const IntegerRange *range = field.range;
            if (holdsReference
                || (range && !decimalInteger(QLatin1StringView(raw, length), range->minimum, range->maximum))) {
                m_scratch.resize(std::max(m_scratch.size(), size_t(length)));
                decodeChecked(raw, length, holdsReference, f, row, m_scratch.data());
            }
            return;
        }
        TextArena::Ref &value = m_packet.m_columns[size_t(f)][size_t(row)];
        KeptValue &recent = recentSlot(raw, length, f);
        if (length == recent.length && recent.field == f && std::memcmp(raw, recent.raw, size_t(length)) == 0) {
            value = recent.text;
            return;
        }
        char16_t *room = m_packet.m_texts.reserve(ValueDecoder::decodedRoom(length, field.limit));
        value = m_packet.m_texts.keep(decodeChecked(raw, length, holdsReference, f, row, room));
        recent = {raw, length, f, value};
    }

    // A value kept lately, as spelled and as decoded.
    struct KeptValue
    {
        const char *raw = nullptr;  // in the packet's bytes, NUL-terminated
        qsizetype length = -1;
        int field = -1;
        TextArena::Ref text;
    };

    // The slot of a value of field `f` spelled in the `length` bytes at
    // `raw`: its length, first and middle bytes tell most values apart.
    KeptValue &recentSlot(const char *raw, qsizetype length, int f)
    {
        const size_t hash = size_t(length) * 7 + size_t(uchar(raw[0])) * 31 + uchar(raw[length / 2]) + size_t(f) * 101;
        return m_recent[hash % m_recent.size()];
    }

    // Decodes value `raw` of `length` bytes of field `f` in `row` into
    // `room` and checks it; returns the characters written.
    Q_ALWAYS_INLINE qsizetype decodeChecked(const char *raw, qsizetype length, bool holdsReference, int f,
                                            qsizetype row, char16_t *room)
    {
        const FieldReading &field = m_readings[size_t(f)];
        qsizetype written = 0;
        if (const char *bad = m_decoder->decode(raw, length, field.limit, holdsReference, room, written))
            refuse(QStringLiteral("invalid character reference '%1' in field '%2' of row %3")
                       .arg(m_decoder->decodeForMessage(referenceText(bad)), fieldName(f))
                       .arg(row + 1));
        if (field.range && !decimalInteger(QStringView(room, written), field.range->minimum, field.range->maximum))
            throw AppError(QStringLiteral("Invalid value '%1' for field '%2' (%3) in row %4")
                               .arg(quoteText(QString(reinterpret_cast<const QChar *>(room), written)), fieldName(f),
                                    kindName(std::as_const(m_packet.m_fields)[f].kind))
                               .arg(row + 1));
        return written;
    }

    // Read only for a message: the list's non-const access costs a check for
    // sharing on every value.
    const QString &fieldName(int f) const { return std::as_const(m_packet.m_fields)[f].name; }

    // The bytes held by this array alone, so that writing into them neither
    // copies them nor moves them away from the views taken of them.
    static QByteArray detached(QByteArray bytes)
    {
        bytes.detach();
        return bytes;
    }

    QByteArray m_bytes;  // parsed in place from parseXml() on
    Prolog m_prolog;
    std::optional<ValueDecoder> m_decoder;
    pugi::xml_document m_document;
    AmpersandFinder m_ampersands{m_bytes};
    DataPacket m_packet;
    FieldMatcher m_matcher;
    QStringList m_unread;                  // the names of the fields whose values are not kept
    std::vector<FieldReading> m_readings;  // of each field
    std::vector<char16_t> m_scratch;       // a value checked but not kept
    bool m_onlyRows = false;               // whether ROWDATA holds nothing but ROW elements
    std::array<KeptValue, 256> m_recent;   // values kept lately, by recentSlot()
};

DataPacket DataPacket::parse(QByteArray packet, const QStringList &unread)
{
    return PacketReader(std::move(packet), unread).read();
}

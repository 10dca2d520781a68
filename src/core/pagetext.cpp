// SPDX-License-Identifier: GPL-3.0-or-later
#include "pagetext.h"

#include "textfile.h"

#include <QByteArrayList>
#include <QString>
#include <algorithm>
#include <array>
#include <cctype>
#include <libxml/HTMLparser.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <limits>
#include <memory>

namespace {

constexpr QByteArrayView DefaultCharset("windows-1251");
// How far into a page its charset declaration is looked for.
constexpr qsizetype CharsetScanLength = 1024;

bool isSkipped(const xmlNode *element)
{
    const auto *name = reinterpret_cast<const char *>(element->name);
    return qstricmp(name, "head") == 0 || qstricmp(name, "script") == 0 || qstricmp(name, "style") == 0
           || qstricmp(name, "noscript") == 0 || qstricmp(name, "template") == 0;
}

// Elements after which no word goes on: blocks, table cells, line breaks.
bool isBlock(const xmlNode *element)
{
    static const QByteArrayList blocks = {
        "address", "article", "aside", "blockquote", "body",       "br",     "caption", "center", "dd",
        "div",     "dl",      "dt",    "fieldset",   "figcaption", "figure", "footer",  "form",   "h1",
        "h2",      "h3",      "h4",    "h5",         "h6",         "header", "hr",      "html",   "li",
        "main",    "nav",     "ol",    "option",     "p",          "pre",    "section", "table",  "tbody",
        "td",      "tfoot",   "th",    "thead",      "tr",         "ul"};
    const QByteArrayView name(reinterpret_cast<const char *>(element->name));
    return std::any_of(blocks.begin(), blocks.end(), [&](const QByteArray &block) { return block == name; });
}

// Gathers text, every run of white space and soft hyphens made one blank
// or nothing.
class TextCollector
{
public:
    void addText(const xmlChar *content)
    {
        const auto *c = reinterpret_cast<const char *>(content);
        while (c && *c) {
            const char *run = c;
            while (static_cast<unsigned char>(*c) > ' ' && *c != '\xC2')
                ++c;
            if (c != run) {
                m_text.append(run, c - run);
                m_pendingBreak = false;
            }
            if (*c == '\0')
                break;
            if (*c == '\xC2' && c[1] == '\xAD') {  // U+00AD, the soft hyphen
                c += 2;
            } else if (*c == '\xC2' && c[1] == '\xA0') {  // U+00A0, the no-break space
                addBreak();
                c += 2;
            } else if (*c == '\xC2') {
                m_text += *c++;
                m_pendingBreak = false;
            } else {
                addBreak();
                ++c;
            }
        }
    }
    void addBreak()
    {
        if (!m_pendingBreak && !m_text.isEmpty())
            m_text += ' ';
        m_pendingBreak = true;
    }
    QByteArray take()
    {
        if (m_text.endsWith(' '))
            m_text.chop(1);
        return std::move(m_text);
    }

private:
    QByteArray m_text;
    bool m_pendingBreak = true;
};

// Walks the document without recursion: first child, else next sibling,
// else back up to a parent's next sibling.
QByteArray textOf(const xmlNode *root)
{
    TextCollector collector;
    const xmlNode *node = root;
    while (node) {
        const bool element = node->type == XML_ELEMENT_NODE;
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE)
            collector.addText(node->content);
        const bool descend = node->children && (!element || !isSkipped(node));
        if (element && isBlock(node))
            collector.addBreak();
        if (descend) {
            node = node->children;
            continue;
        }
        while (node && !node->next) {
            node = node->parent;
            if (node && node->type == XML_ELEMENT_NODE && isBlock(node))
                collector.addBreak();
            if (node == root)
                node = nullptr;
        }
        if (node)
            node = node->next;
    }
    return collector.take();
}

bool isWindows1251(const QByteArray &charset)
{
    return charset == DefaultCharset || charset == "cp1251";
}

// Windows-1251 as UTF-8 by a table of each byte's UTF-8 bytes: several
// times quicker than the parser's own conversion through iconv.
QByteArray windows1251ToUtf8(QByteArrayView bytes)
{
    struct Sequence
    {
        char bytes[3];
        unsigned char length;
    };
    static const std::array<Sequence, 256> table = [] {
        std::array<Sequence, 256> sequences{};
        for (int byte = 0; byte < 256; ++byte) {
            const QByteArray utf8 = QString(QChar(windows1251Table()[size_t(byte)])).toUtf8();
            Sequence &sequence = sequences[size_t(byte)];
            sequence.length = static_cast<unsigned char>(utf8.size());
            std::copy(utf8.begin(), utf8.end(), sequence.bytes);
        }
        return sequences;
    }();
    QByteArray utf8(bytes.size() * 3, Qt::Uninitialized);
    char *out = utf8.data();
    for (const char byte : bytes) {
        const Sequence &sequence = table[static_cast<unsigned char>(byte)];
        for (unsigned i = 0; i < sequence.length; ++i)
            *out++ = sequence.bytes[i];
    }
    utf8.truncate(out - utf8.constData());
    return utf8;
}

void ignoreParserMessage(void *, const char *, ...) {}

// Makes libxml2 ready for use on this thread. Its initialisation must not
// run on two threads at once (the index's workers raced to it, and a mutex
// leaked), so it runs once, guarded as a static's initialisation is. And it
// reports a page's bad bytes on standard error even when told not to report
// errors; a page's faults are not the user's, so its per-thread handlers
// send them nowhere.
void prepareParser()
{
    static const bool initialized = [] {
        xmlInitParser();
        return true;
    }();
    thread_local const bool silenced = [] {
        xmlSetGenericErrorFunc(nullptr, ignoreParserMessage);
        xmlSetStructuredErrorFunc(nullptr, [](void *, xmlErrorPtr) {});
        return true;
    }();
    Q_UNUSED(initialized);
    Q_UNUSED(silenced);
}

struct DocumentDeleter
{
    void operator()(xmlDoc *document) const { xmlFreeDoc(document); }
};

}  // namespace

QByteArray pageCharset(QByteArrayView html)
{
    prepareParser();
    if (html.startsWith("\xEF\xBB\xBF"))
        return "UTF-8";
    const QByteArray head = html.first(std::min(html.size(), CharsetScanLength)).toByteArray().toLower();
    const qsizetype at = head.indexOf("charset=");
    if (at < 0)
        return DefaultCharset.toByteArray();
    qsizetype begin = at + 8;
    while (begin < head.size() && (head[begin] == '"' || head[begin] == '\'' || head[begin] == ' '))
        ++begin;
    qsizetype end = begin;
    while (end < head.size()
           && (std::isalnum(static_cast<unsigned char>(head[end])) || head[end] == '-' || head[end] == '_'
               || head[end] == ':' || head[end] == '.'))
        ++end;
    QByteArray name = head.mid(begin, end - begin);
    xmlCharEncodingHandler *handler = name.isEmpty() ? nullptr : xmlFindCharEncodingHandler(name.constData());
    if (!handler)
        return DefaultCharset.toByteArray();
    xmlCharEncCloseFunc(handler);
    return name;
}

QByteArray pageText(QByteArrayView html)
{
    // The parser keeps to the encoding it is given, whatever the page declares.
    QByteArray charset = pageCharset(html);
    QByteArray converted;
    if (isWindows1251(charset)) {
        converted = windows1251ToUtf8(html);
        html = converted;
        charset = "UTF-8";
    }
    const int size = int(std::min<qsizetype>(html.size(), std::numeric_limits<int>::max()));
    const std::unique_ptr<xmlDoc, DocumentDeleter> document(htmlReadMemory(
        html.data(), size, nullptr, charset.constData(),
        HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_COMPACT));
    const xmlNode *root = document ? xmlDocGetRootElement(document.get()) : nullptr;
    return root ? textOf(root) : QByteArray();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "search.h"

namespace {

// A letter of the library's code page in upper case: basic Latin, and
// Cyrillic with its additional letters (ё, і, ї, є, ў, ђ, ..., ґ); every
// other character as it is. The same as QChar::toUpper for these letters,
// without a look-up in Unicode's tables: the walk tests a million captions.
constexpr char16_t upperInCodePage(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0x0430 && c <= 0x044F))
        return char16_t(c - 32);
    if (c >= 0x0450 && c <= 0x045F)
        return char16_t(c - 80);
    return c == 0x0491 ? char16_t(0x0490) : c;
}

}  // namespace

QString searchForm(QStringView text)
{
    QString upper = text.toString();
    for (QChar &c : upper)
        c = QChar(upperInCodePage(c.unicode()));
    return upper;
}

// Compares in place rather than on an upper-cased copy of every text: no
// allocation per node.
bool textMatches(QStringView text, const QString &searchFormOfText)
{
    const qsizetype length = searchFormOfText.size();
    for (qsizetype start = 0; start + length <= text.size(); ++start) {
        qsizetype matched = 0;
        while (matched < length
               && upperInCodePage(text[start + matched].unicode()) == searchFormOfText[matched].unicode())
            ++matched;
        if (matched == length)
            return true;
    }
    return false;
}

LibraryTree::Node findInTree(const LibraryTree &tree, LibraryTree::Node from, const QString &searchText,
                             const std::function<void(LibraryTree::Node)> &expand)
{
    const QString wanted = searchForm(searchText);
    for (LibraryTree::Node node = from; node != LibraryTree::NoNode; node = tree.nextInPreorder(node)) {
        if (tree.childCount(node) > 0 || tree.hasChildrenMark(node))
            expand(node);
        if (textMatches(tree.textView(node), wanted))
            return node;
    }
    return LibraryTree::NoNode;
}

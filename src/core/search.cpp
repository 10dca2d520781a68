// SPDX-License-Identifier: GPL-3.0-or-later
#include "search.h"

namespace {

// Letters of the library's code page that have a case: basic Latin, and
// Cyrillic with its additional letters (ё, і, ї, є, ў, ґ, ђ, ...).
bool hasCodePageCase(QChar c)
{
    const char16_t code = c.unicode();
    return (code >= u'a' && code <= u'z') || (code >= 0x0400 && code <= 0x045F) || code == 0x0491;
}

}  // namespace

QString searchForm(QStringView text)
{
    QString upper = text.toString();
    for (QChar &c : upper) {
        if (hasCodePageCase(c))
            c = c.toUpper();
    }
    return upper;
}

bool textMatches(QStringView text, const QString &searchFormOfText)
{
    return searchForm(text).contains(searchFormOfText);
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

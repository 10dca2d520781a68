// SPDX-License-Identifier: GPL-3.0-or-later
#include "library.h"

#include "contents.h"
#include "paths.h"
#include "search.h"

#include <QDir>

namespace {

// The folder as AppDir: absolute, with the platform's separator at its end.
QString appDirOf(const QString &folder)
{
    QString appDir = QDir::toNativeSeparators(QDir(folder).absolutePath());
    if (!appDir.endsWith(QDir::separator()))
        appDir += QDir::separator();
    return appDir;
}

}  // namespace

Library::Library(const QString &folder) : m_appDir(appDirOf(folder))
{
    m_books.onCalcFields = calculateAuthor;
}

void Library::readCatalogue()
{
    loadCatalogue(readCatalogueLine(filePath(QStringLiteral("books.xml"))));
}

void Library::loadCatalogue(const QByteArray &firstLine)
{
    // An empty line leaves the record set closed, which the walk over its
    // records then reports.
    if (!firstLine.isEmpty())
        m_books.open(firstLine);
    addAuthorsAndBooks(m_books, m_tree);
}

bool Library::contentsPending(Node node) const
{
    return m_tree.level(node) == 1 && m_tree.childCount(node) == 0;
}

void Library::expand(Node node)
{
    if (contentsPending(node))
        LoadContents(filePath(contentsFilePath(*m_tree.info(node))), addingTo(m_tree), node);
}

QString Library::pagePath(Node node) const
{
    return m_tree.level(node) < 2 ? QString() : m_tree.info(node)->FPath;
}

QString Library::filePath(const QString &builtPath) const
{
    return platformPath(m_appDir, builtPath);
}

EntryAddress Library::entryAddress(Node node) const
{
    EntryAddress address;
    for (; node != LibraryTree::NoNode; node = m_tree.parent(node))
        address.steps.prepend({m_tree.row(node), m_tree.text(node)});
    return address;
}

Library::Node Library::childAt(Node parent, const EntryAddress::Step &step) const
{
    const int count = m_tree.childCount(parent);
    if (step.row >= 0 && step.row < count && m_tree.textView(m_tree.child(parent, step.row)) == step.text)
        return m_tree.child(parent, step.row);
    for (int row = 0; row < count; ++row) {
        if (m_tree.textView(m_tree.child(parent, row)) == step.text)
            return m_tree.child(parent, row);
    }
    return LibraryTree::NoNode;
}

Library::Node Library::nodeAt(const EntryAddress &address, const Expander &expand)
{
    Node node = LibraryTree::NoNode;
    for (const EntryAddress::Step &step : address.steps) {
        if (node != LibraryTree::NoNode)
            expand(node);
        node = childAt(node, step);
        if (node == LibraryTree::NoNode)
            break;
    }
    return node;
}

Library::Node Library::walkFrom(Node from, const Expander &expand) const
{
    return findInTree(m_tree, from, m_searchText, expand);
}

Library::Node Library::findFirst(const QString &searchText, const Expander &expand)
{
    m_searchText = searchText;
    // Cleared first: a walk that ends in an error leaves no found node.
    m_foundNode = LibraryTree::NoNode;
    m_foundNode = walkFrom(m_tree.firstRoot(), expand);
    return m_foundNode;
}

Library::Node Library::findNext(const Expander &expand)
{
    if (m_foundNode == LibraryTree::NoNode)
        return LibraryTree::NoNode;
    // The found node changes only once the walk has ended without an error.
    const Node found = walkFrom(m_tree.nextInPreorder(m_foundNode), expand);
    m_foundNode = found;
    return found;
}

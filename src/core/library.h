// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "catalogue.h"
#include "entryaddress.h"
#include "librarytree.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

// The library's start page, a file in its folder, shown for authors and books.
inline const QString StartPage = QStringLiteral("brimvel_library.htm");

// One open library: its folder, the catalogue's record set, the tree built
// from them, the loading of a book's contents when it is expanded, and the
// tree search with the position of its last match. The viewer, the
// command-line tool and the fuzz targets all work through it.
//
// Paths inside the library are kept as the library builds them, relative to
// its folder and with backslashes; the folder is added only when a file is
// opened (filePath). Errors are AppError with the message the user sees.
class Library
{
public:
    using Node = LibraryTree::Node;
    // Expands a node for the tree search; the viewer also shows it expanded.
    using Expander = std::function<void(Node)>;

    // The library in `folder`, a directory of this platform; nothing is read yet.
    explicit Library(const QString &folder);

    // The library folder with the platform's separator at its end. It never
    // changes: another library is another object.
    const QString &AppDir() const { return m_appDir; }

    // Reads the first line of "books.xml" and builds the author and book
    // levels from it (loadCatalogue). Throws AppError when the file cannot be
    // read or the record set refuses it; the tree keeps what was built.
    void readCatalogue();
    // Builds the author and book levels from the catalogue's first line.
    // Throws AppError as the record set does; an empty line leaves it closed
    // and ends in "cdsBooks: Cannot perform this operation on a closed dataset".
    void loadCatalogue(QByteArray firstLine);

    const LibraryTree &tree() const { return m_tree; }

    // True for a book node whose contents are not loaded yet.
    bool contentsPending(Node node) const;
    // Loads the contents of a book node that has none yet and does nothing
    // for any other node. Throws AppError with the contents file's open
    // error or the index error; entries added before an error stay.
    void expand(Node node);

    // The node caption: the texts from the author down to `node` joined by " | ".
    QString caption(Node node) const { return m_tree.caption(node); }
    // The page of a contents node as built, relative to the folder; empty
    // for an author or book node.
    QString pagePath(Node node) const;
    // The file at `builtPath` (relative to the folder, backslashes allowed)
    // as a path of this platform, resolved ignoring letter case.
    QString filePath(const QString &builtPath) const;

    // Where `node` stands: the texts and positions from its author down.
    EntryAddress entryAddress(Node node) const;
    // The node at `address`, or NoNode when the tree no longer holds it.
    // Each step takes the child at the stored position when its text still
    // matches, or else the first child of that text. `expand` is called on
    // each node on the way before its children are looked at (loading a
    // book's contents), and on nothing else; its errors go on to the caller.
    Node nodeAt(const EntryAddress &address, const Expander &expand);

    // Find: walks the tree from its first node for `searchText` (trimmed
    // already), calling `expand` on each node with children before testing
    // it; returns the match, or NoNode. The match becomes the found node
    // even when it is NoNode. An error from `expand` ends the walk and
    // leaves no found node.
    Node findFirst(const QString &searchText, const Expander &expand);
    // Find next: walks on from the node after the found node; the result
    // becomes the found node. An error from `expand` leaves the found node
    // as it was.
    Node findNext(const Expander &expand);
    // The node of the last match (FFoundNode), or NoNode.
    Node foundNode() const { return m_foundNode; }
    const QString &searchText() const { return m_searchText; }

    // The contents entry of the book whose PATH is `bookPath` that shows
    // `page`, as the full-text index names it: the entry at pre-order
    // position `entry` among the book's contents (0 for the first) when it
    // names `page`, else the book's first entry that does (the contents may
    // have changed since the index was made). Calls `expand` on the path from
    // the author down to the entry's parent, which loads the book's contents;
    // returns NoNode when the book or the page is not in the tree. Errors of
    // `expand` go on to the caller.
    Node entryOfPage(const QString &bookPath, int entry, const QString &page, const Expander &expand) const;

private:
    Node walkFrom(Node from, const Expander &expand) const;
    Node childAt(Node parent, const EntryAddress::Step &step) const;
    // The first book node whose PATH is `bookPath`, or NoNode.
    Node bookNode(const QString &bookPath) const;
    // The entries below a book, in pre-order.
    std::vector<Node> contentsOf(Node book) const;
    // Calls `expand` on each ancestor of `node` below `top` (NoNode for
    // all), from the top down.
    void expandBetween(Node top, Node node, const Expander &expand) const;

    QString m_appDir;
    BooksRecordSet m_books{QStringLiteral("cdsBooks")};
    LibraryTree m_tree;
    QString m_searchText;
    Node m_foundNode = LibraryTree::NoNode;
};

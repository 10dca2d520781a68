// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "librarytree.h"

#include <QString>
#include <functional>

// The shortest search text, in characters after trimming.
constexpr int ShortestSearchText = 4;

// The search text as the tree search compares it: Latin and Cyrillic
// letters (ё among them) in upper case, every other character as it is.
QString searchForm(QStringView text);

// True when `text` contains the search text, given in its search form,
// ignoring letter case. No character is special: "*" and "?" match only
// themselves.
bool textMatches(QStringView text, const QString &searchFormOfText);

// Walks the tree in pre-order from `from` on, expanding each node through
// `expand` before testing it, so that nodes the expansion adds are walked
// too. Returns the first node whose text contains `searchText`, or NoNode.
// An error from `expand` ends the walk and goes on to the caller.
LibraryTree::Node findInTree(const LibraryTree &tree, LibraryTree::Node from, const QString &searchText,
                             const std::function<void(LibraryTree::Node)> &expand);

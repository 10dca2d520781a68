// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// Where a node stands in the library tree, in terms that outlive the tree:
// from the author down, each node's text and its position among its
// siblings. Stored in the settings store, it finds the node again in a
// later run (Library::nodeAt), also after the catalogue or a contents file
// has changed around it.
struct EntryAddress
{
    struct Step
    {
        int row = 0;
        QString text;
        bool operator==(const Step &) const = default;
    };

    QList<Step> steps;
    bool operator==(const EntryAddress &) const = default;
};

// The address as one line of text for the settings store (a JSON array of
// [row, text] pairs), and back. Text that is no such array, damaged or
// planted, gives an empty address, which locates nothing.
QString addressText(const EntryAddress &address);
EntryAddress addressOfText(const QString &text);

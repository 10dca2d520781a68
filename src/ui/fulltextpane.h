// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/fulltextindex.h"

#include <QWidget>

class LibraryIndex;
class QLabel;
class QLineEdit;
class QListView;
class QStandardItemModel;
class QToolButton;

// The full-text search pane: a query field, a line that counts the pages
// found or says what went wrong, and the pages found, best first, each with
// its caption and the passage around the words, the words in bold; more
// are listed as the list is scrolled to its end. Moving to a result chooses
// it, as Enter or a double click does again.
class FullTextPane : public QWidget
{
    Q_OBJECT

public:
    // Results are listed this many at a time: each needs its page read for
    // its snippet.
    static constexpr int BatchSize = 50;

    explicit FullTextPane(const LibraryIndex *index, QWidget *parent = nullptr);

    // Shows the pane with the query field focused and its text selected.
    void open();
    // Searches the index for `query` and lists what it finds.
    void search(const QString &query);
    // Shows `text` on the pane's message line, as a fault when `fault`.
    void showMessage(const QString &text, bool fault = false);

    QLineEdit *queryField = nullptr;
    QLabel *messageLine = nullptr;
    QListView *results = nullptr;
    QToolButton *closeButton = nullptr;

signals:
    // The user chose `hit`; `words` are the words found on its page.
    void hitChosen(const PageHit &hit, const QStringList &words);

private:
    void clear();
    // Lists the next batch of results of the current query.
    void listMore();
    // "Найдено страниц: N", and whether the index is still incomplete.
    QString countText(qsizetype total) const;
    void choose(int row);

    const LibraryIndex *m_index;
    QStandardItemModel *m_model;
    QString m_query;
    bool m_more = false;  // the query may have results not listed yet
    std::vector<PageHit> m_hits;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class Library;

// The full-text index of one library: every page its books' contents name,
// searchable by any word form. It lives in the user's cache, never inside
// the library, in an SQLite database with an FTS5 table whose tokenizer
// lower-cases, folds ё to е and stems Russian (and Latin words as English)
// with the Snowball stemmers.

// The marks around each matched word in a snippet.
inline constexpr char16_t MatchStart = u'\x02';
inline constexpr char16_t MatchEnd = u'\x03';

// One page found.
struct PageHit
{
    QString bookPath;  // the book's PATH in the catalogue
    QString page;      // the page as the library builds it (Library::pagePath)
    int entry = 0;     // pre-order position in the book's contents of the first entry naming the page
    QString caption;   // "Author | Book | Chapter", as Library::caption composes it
    QString snippet;   // the passage around the words, matched words between MatchStart and MatchEnd
};

struct SearchResults
{
    qsizetype total = 0;        // pages that match
    std::vector<PageHit> hits;  // best first, at most the number asked for
};

// A query the index cannot take; what() is the Russian message the user sees.
class QueryError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// How an update of the index went.
struct UpdateSummary
{
    int books = 0;         // books indexed (changed or added)
    qint64 pages = 0;      // pages indexed
    double seconds = 0;    // wall time
    bool stopped = false;  // ended by the stop flag; what was committed stays
};

class FullTextIndex
{
public:
    // The index file of the library in `libraryFolder`, in the cache location.
    static QString fileFor(const QString &libraryFolder);

    // Opens the index at `file`, creating it when there is none. A damaged or
    // foreign file is set aside (renamed) and a new one created.
    explicit FullTextIndex(const QString &file);
    ~FullTextIndex();
    FullTextIndex(const FullTextIndex &) = delete;
    FullTextIndex &operator=(const FullTextIndex &) = delete;

    // True when opening set a damaged or foreign file aside.
    bool wasSetAside() const;
    // True when the last update ran to its end.
    bool complete() const;

    // Pages that hold the query's words, best first: their number, and at
    // most `limit` of them from the `offset`th on, each with its snippet.
    // Query syntax: words (all must occur, any form), "a phrase", prefix*,
    // -excluded, OR between alternatives. Throws QueryError for a malformed
    // query.
    SearchResults search(const QString &query, int limit, qsizetype offset = 0) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// Brings an index up to date with a library: books whose signature (sizes
// and modification times of the contents file and its pages) changed, or
// that were added, are indexed again; removed books leave the index. Pages
// are read and stemmed on a pool of worker threads, one writer commits.
class IndexUpdate
{
public:
    using Progress = std::function<void(int done, int total)>;

    // Takes what it needs from `library` (its folder, and each book's PATH and
    // caption) now, so that run() may go on on another thread.
    IndexUpdate(const Library &library, QString indexFile);
    ~IndexUpdate();

    // Runs the update; `stop` is looked at between books and pages, and
    // `progress` is called on the calling thread as books are committed.
    UpdateSummary run(const std::atomic_bool &stop, const Progress &progress);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

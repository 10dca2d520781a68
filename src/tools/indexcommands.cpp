// SPDX-License-Identifier: GPL-3.0-or-later
#include "indexcommands.h"

#include "librarycommands.h"

#include "core/fulltextindex.h"
#include "core/library.h"

#include <QTextStream>
#include <cstdio>
#include <limits>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool standardErrorIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// The snippet with its marks as brackets, and everything else visible.
QString markedSnippet(const QString &snippet)
{
    QString marked;
    qsizetype from = 0;
    for (qsizetype at = 0; at <= snippet.size(); ++at) {
        if (at < snippet.size() && snippet[at] != MatchStart && snippet[at] != MatchEnd)
            continue;
        marked += visibleText(QStringView(snippet).sliced(from, at - from));
        if (at < snippet.size())
            marked += snippet[at] == MatchStart ? u'[' : u']';
        from = at + 1;
    }
    return marked;
}

}  // namespace

int indexLibrary(const Library &library, QTextStream &out, QTextStream &err)
{
    const bool showProgress = standardErrorIsTerminal();
    IndexUpdate update(library, FullTextIndex::fileFor(library.AppDir()));
    const std::atomic_bool stop = false;
    const UpdateSummary summary = update.run(stop, [&](int done, int total) {
        if (showProgress)
            err << "\rindexing: " << done << " of " << total << " books" << Qt::flush;
    });
    if (showProgress)
        err << '\n';
    out << summary.books << " books indexed, " << summary.pages << " pages, "
        << QString::number(summary.seconds, 'f', 1) << " s\n";
    return ExitSuccess;
}

int searchLibrary(const Library &library, const QString &query, QTextStream &out, QTextStream &err)
{
    const FullTextIndex index(FullTextIndex::fileFor(library.AppDir()));
    if (!index.complete())
        err << "brimvel-library: the index is not complete; 'brimvel-library index' completes it\n";
    SearchResults results;
    try {
        results = index.search(query, std::numeric_limits<int>::max());
    } catch (const QueryError &error) {
        err << QString::fromUtf8(error.what()) << '\n';
        return ExitFailure;
    }
    for (const PageHit &hit : results.hits)
        out << visibleText(hit.caption) << '\t' << markedSnippet(hit.snippet) << '\n';
    return results.hits.empty() ? ExitShortfall : ExitSuccess;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fulltextbench.h"

#include "benchsupport.h"
#include "librarygen.h"
#include "prosegen.h"

#include "core/fulltextindex.h"
#include "core/library.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr double MiB = 1024.0 * 1024.0;

// The generated library and the index beside it.
struct Setup
{
    QString library;
    QString index;
    int books = 0;
};

void generate(const Setup &setup, int pages)
{
    if (QFileInfo::exists(setup.library + QStringLiteral("/books.xml")))
        return;
    std::printf("generating %d books of %d pages...\n", setup.books, pages);
    std::fflush(stdout);
    generateLibrary(setup.library, setup.books, std::max(1, setup.books / 5));
    for (int book = 1; book <= setup.books; ++book) {
        const QString directory = setup.library + QStringLiteral("/Library/book%1").arg(book);
        generateContents(directory + QStringLiteral("/sod.btf"), pages);
        generatePages(directory, pages, book);
    }
}

QStringList pageFiles(const Setup &setup)
{
    QStringList files;
    QDirIterator it(setup.library + QStringLiteral("/Library"), {QStringLiteral("*.htm")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

qint64 directoryBytes(const QString &directory)
{
    qint64 bytes = 0;
    QDirIterator it(directory, QDir::Files);
    while (it.hasNext())
        bytes += QFileInfo(it.next()).size();
    return bytes;
}

UpdateSummary updateIndex(const Setup &setup)
{
    Library library(setup.library);
    library.readCatalogue();
    const std::atomic_bool stop = false;
    return IndexUpdate(library, setup.index).run(stop, {});
}

void removeIndex(const Setup &setup)
{
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(setup.index + QLatin1String(suffix));
}

// The floors: every page's bytes read, and grep -c of a word over them.
// Returns the reading time in milliseconds.
double measureFloors(const Setup &setup, const QStringList &files, qint64 htmlBytes, int runs)
{
    std::vector<double> reading, grep;
    for (int run = 0; run < runs; ++run) {
        reading.push_back(milliseconds([&] {
            for (const QString &file : files) {
                QFile page(file);
                if (page.open(QIODevice::ReadOnly))
                    page.readAll();
            }
        }));
        grep.push_back(milliseconds([&] {
            QProcess process;
            process.start(QStringLiteral("grep"),
                          {QStringLiteral("-r"), QStringLiteral("-c"), QStringLiteral("--include=*.htm"),
                           QStringLiteral("Глава"), setup.library + QStringLiteral("/Library")});
            process.waitForFinished(-1);
        }));
    }
    report("floor: reading every page", reading);
    report("floor: grep -c of one word", grep);
    std::printf("reading: %.0f MB/s\n", double(htmlBytes) / 1e6 / (median(reading) / 1000));
    return median(reading);
}

void benchBuild(const Setup &setup, qint64 htmlBytes, double readingMs, int runs)
{
    std::vector<double> builds;
    UpdateSummary summary;
    for (int run = 0; run < runs; ++run) {
        removeIndex(setup);
        builds.push_back(milliseconds([&] { summary = updateIndex(setup); }));
        std::printf("build %d: %.1f s, %.1f MB/s\n", run + 1, builds.back() / 1000,
                    double(htmlBytes) / 1e6 / (builds.back() / 1000));
        std::fflush(stdout);
    }
    report("full build", builds);
    const double build = median(builds);
    std::printf("full build: %d books, %lld pages, %.1f MB/s of page HTML, build / reading %.1f\n", summary.books,
                qlonglong(summary.pages), double(htmlBytes) / 1e6 / (build / 1000), build / readingMs);
    std::printf("peak memory after the build: %.1f MiB\n", peakMemoryMiB());
    const qint64 indexBytes = directoryBytes(QFileInfo(setup.index).absolutePath());
    std::printf("index: %.1f MiB, %.0f %% of %.1f MiB page HTML\n", double(indexBytes) / MiB,
                100.0 * double(indexBytes) / double(htmlBytes), double(htmlBytes) / MiB);
}

void ensureIndex(const Setup &setup)
{
    if (!QFileInfo::exists(setup.index) || !FullTextIndex(setup.index).complete())
        updateIndex(setup);
}

void benchFresh(const Setup &setup, double readingMs, int runs)
{
    ensureIndex(setup);
    std::vector<double> opening, fresh;
    for (int run = 0; run < runs; ++run) {
        opening.push_back(milliseconds([&] {
            Library library(setup.library);
            library.readCatalogue();
        }));
        fresh.push_back(milliseconds([&] {
            if (updateIndex(setup).books != 0)
                std::printf("an unchanged library was indexed again\n");
        }));
    }
    report("catalogue read (for comparison)", opening);
    report("update of an unchanged library", fresh);
    std::printf("unchanged update / reading every page: %.2f\n", median(fresh) / readingMs);
}

void benchChange(const Setup &setup, int pages, int runs)
{
    ensureIndex(setup);
    std::vector<double> changed;
    for (int run = 0; run < runs; ++run) {
        const int book = 1 + (run * 7919) % setup.books;
        generatePages(setup.library + QStringLiteral("/Library/book%1").arg(book), pages, book + 100000 * (run + 1));
        changed.push_back(milliseconds([&] {
            if (updateIndex(setup).books != 1)
                std::printf("not exactly one book was indexed again\n");
        }));
    }
    report("update after one book changed", changed);
}

// A hundred queries: common and rare words, phrases, prefixes, and the
// operators mixed in.
QStringList variedQueries()
{
    const QStringList common = commonWordForms();
    QStringList queries = common;
    for (int i = 0; i < 25; ++i)
        queries << madeUpWord(20000 + i * 1597);
    for (int i = 0; i < 10; ++i)
        queries << madeUpWord(100 + i * 97);
    for (int i = 0; i < 15; ++i)
        queries << QStringLiteral("\"%1 %2\"").arg(common.at(i % 10), madeUpWord(i * 3));
    for (int i = 0; i < 15; ++i)
        queries << (i < 5 ? common.at(i).left(4) : madeUpWord(50 + i * 300).left(4)) + u'*';
    for (int i = 0; i < 10; ++i)
        queries << common.at(i) + u' ' + madeUpWord(5000 + i * 11);
    for (int i = 0; i < 8; ++i)
        queries << madeUpWord(30000 + i) + QStringLiteral(" OR ") + madeUpWord(40000 + i);
    for (int i = 0; i < 7; ++i)
        queries << common.at(i) + QStringLiteral(" -") + madeUpWord(i);
    return queries;
}

// Each query's best time of `runs`, asking for `limit` pages with snippets.
void timeQueries(const FullTextIndex &index, const QStringList &queries, int limit, int runs)
{
    std::vector<double> times(size_t(queries.size()), 1e300);
    qint64 found = 0;
    for (int run = 0; run <= runs; ++run) {  // the first run warms the cache
        for (qsizetype i = 0; i < queries.size(); ++i) {
            const double ms = milliseconds([&] { found += index.search(queries.at(i), limit).total; });
            if (run > 0)
                times[size_t(i)] = std::min(times[size_t(i)], ms);
        }
    }
    const auto slowest = std::max_element(times.begin(), times.end());
    std::printf("%lld queries, %d snippets: median %.1f ms, slowest %.1f ms (%s), %lld pages found in all\n",
                qlonglong(queries.size()), limit, median(times), *slowest,
                qPrintable(queries.at(slowest - times.begin())), qlonglong(found / (runs + 1)));
}

void benchQueries(const Setup &setup, int runs)
{
    ensureIndex(setup);
    const FullTextIndex index(setup.index);
    const QStringList queries = variedQueries();
    for (int limit : {20, 50})  // 50: a batch of the viewer's pane
        timeQueries(index, queries, limit, runs);
}

}  // namespace

void benchFullText(const QString &what, int books, int pages, int runs, const QString &kept)
{
    QTemporaryDir temporary;
    const QString base = kept.isEmpty() ? temporary.path() : kept;
    const Setup setup{base + QStringLiteral("/library"), base + QStringLiteral("/index/index.db"), books};
    generate(setup, pages);
    const QStringList files = pageFiles(setup);
    qint64 htmlBytes = 0;
    for (const QString &file : files)
        htmlBytes += QFileInfo(file).size();
    std::printf("full text: %d books, %lld pages, %.1f MiB of page HTML\n", books, qlonglong(files.size()),
                double(htmlBytes) / MiB);
    const bool all = what == QLatin1String("index");
    const double readingMs = measureFloors(setup, files, htmlBytes, std::max(3, runs));
    if (all || what == QLatin1String("index-build"))
        benchBuild(setup, htmlBytes, readingMs, runs);
    if (all || what == QLatin1String("index-fresh"))
        benchFresh(setup, readingMs, std::max(3, runs));
    if (all || what == QLatin1String("index-change"))
        benchChange(setup, pages, std::max(3, runs));
    if (all || what == QLatin1String("index-query"))
        benchQueries(setup, std::max(3, runs));
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fulltextindex.h"

#include "contents.h"
#include "error.h"
#include "fulltextquery.h"
#include "library.h"
#include "pagetext.h"
#include "paths.h"
#include "regularfile.h"
#include "sqlitedb.h"
#include "stemmingtokenizer.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>
#include <deque>
#include <optional>
#include <sqlite3.h>

namespace {

// The database's marks: 'BRMV' as its application id, and the layout's version.
constexpr int ApplicationId = 0x42524D56;
constexpr int SchemaVersion = 3;

// Pages are read up to this size; the rest of a larger one is not indexed.
constexpr qsizetype LongestPage = qsizetype(16) * 1024 * 1024;
// Matches up to this many are ranked; beyond it ranking every row would
// make a query of a common word slow, so such matches come in page order.
constexpr qint64 RankedMatches = 5000;
// A transaction of the update is committed after this long.
constexpr qint64 CommitInterval = 500;  // milliseconds
// The words around the match in a snippet.
constexpr int SnippetWords = 24;
// Once the words of removed pages outnumber a quarter of the pages indexed,
// the next update starts the index afresh.
constexpr qint64 RemovedPagesPerLivePage = 4;

// The index keeps no page's text: that would make it larger than the
// library's pages. The FTS5 table takes its content from the view that reads
// each page from the library, which snippets need. A page's words cannot be
// removed from FTS5 without the text they were taken from, so removing a book
// removes only its rows in "pages": its words stay, under ids never used
// again (AUTOINCREMENT), and every query joins "pages", so they are never
// found. "removed" in meta counts such pages.
constexpr const char *Schema = R"(
CREATE TABLE books(path TEXT PRIMARY KEY, signature INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE pages(id INTEGER PRIMARY KEY AUTOINCREMENT, book TEXT NOT NULL, page TEXT NOT NULL,
                   entry INTEGER NOT NULL, caption TEXT NOT NULL, file TEXT NOT NULL);
CREATE INDEX pages_by_book ON pages(book);
CREATE VIEW page_text(id, text) AS SELECT id, brimvel_page_text(file) FROM pages;
CREATE VIRTUAL TABLE page_index USING fts5(text, content='page_text', content_rowid='id', tokenize='brimvel');
CREATE TABLE meta(key TEXT PRIMARY KEY, value) WITHOUT ROWID;
)";

// The bytes of the page at `file`, up to LongestPage.
QByteArray readPage(const QString &file)
{
    RegularFile page(file);
    QByteArray bytes(qsizetype(std::min<qint64>(page.size(), LongestPage)), Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const qsizetype read = page.read(bytes.data() + filled, bytes.size() - filled);
        if (read == 0)
            break;
        filled += read;
    }
    bytes.truncate(filled);
    return bytes;
}

// brimvel_page_text(file): the text of the page at `file`, empty when it
// cannot be read.
void pageTextFunction(sqlite3_context *context, int, sqlite3_value **arguments)
{
    const auto *file = reinterpret_cast<const char *>(sqlite3_value_text(arguments[0]));
    QByteArray text;
    try {
        text = pageText(readPage(QString::fromUtf8(file)));
    } catch (const AppError &) {
    }
    sqlite3_result_text64(context, text.constData(), sqlite3_uint64(text.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void prepareConnection(SqliteDatabase &db)
{
    if (!registerTokenizer(db.handle()))
        throw SqliteError(QStringLiteral("SQLite has no FTS5"), SQLITE_ERROR);
    db.check(sqlite3_create_function_v2(db.handle(), "brimvel_page_text", 1, SQLITE_UTF8, nullptr, pageTextFunction,
                                        nullptr, nullptr, nullptr));
    db.execute("PRAGMA busy_timeout = 10000; PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;");
}

qint64 pragmaValue(const SqliteDatabase &db, const char *sql)
{
    SqliteStatement statement(db, sql);
    return statement.step() ? statement.integer(0) : 0;
}

bool isEmpty(const SqliteDatabase &db)
{
    return pragmaValue(db, "SELECT count(*) FROM sqlite_schema") == 0;
}

enum class Adoption { Ours, Outdated, Foreign };

// Creates the tables in an empty database and tells whose the database is:
// ours, ours in an earlier layout, or another program's. Only an empty
// database is locked for writing, so that opening the index while it is
// being updated does not wait for the update.
Adoption adoptDatabase(SqliteDatabase &db)
{
    if (isEmpty(db)) {
        db.execute("BEGIN IMMEDIATE");
        if (isEmpty(db)) {
            db.execute(Schema);
            db.execute(QStringLiteral("PRAGMA application_id = %1; PRAGMA user_version = %2;")
                           .arg(ApplicationId)
                           .arg(SchemaVersion)
                           .toUtf8()
                           .constData());
        }
        db.execute("COMMIT");
    }
    if (pragmaValue(db, "PRAGMA application_id") != ApplicationId)
        return Adoption::Foreign;
    return pragmaValue(db, "PRAGMA user_version") == SchemaVersion ? Adoption::Ours : Adoption::Outdated;
}

// The index at `file`, or nothing when it is not ours in this layout
// (`adoption` tells why).
std::unique_ptr<SqliteDatabase> tryOpen(const QString &file, Adoption &adoption)
{
    auto db = std::make_unique<SqliteDatabase>(file);
    prepareConnection(*db);
    adoption = adoptDatabase(*db);
    if (adoption != Adoption::Ours)
        return nullptr;
    // Reading the tables finds most damage before the first search does.
    pragmaValue(*db, "SELECT count(*) FROM books");
    return db;
}

// Moves a damaged or foreign file out of the way, keeping it beside the
// index for a look, or removes an index of an earlier layout; either way
// its journal files go.
void clearAway(const QString &file, Adoption adoption)
{
    bool keptAside = false;
    if (adoption != Adoption::Outdated) {
        const QString aside = file + QStringLiteral(".damaged");
        QFile::remove(aside);
        keptAside = QFile::rename(file, aside);
    }
    if (!keptAside)
        QFile::remove(file);
    QFile::remove(file + QStringLiteral("-wal"));
    QFile::remove(file + QStringLiteral("-shm"));
}

// Opens the index at `file`. What is there is set aside when it is damaged
// or foreign, and `setAsideFlag` tells whether it was; an index of an
// earlier layout is quietly started afresh.
std::unique_ptr<SqliteDatabase> openIndex(const QString &file, bool &setAsideFlag)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    Adoption adoption = Adoption::Foreign;
    try {
        if (auto db = tryOpen(file, adoption))
            return db;
    } catch (const SqliteError &) {
        adoption = Adoption::Foreign;
    }
    clearAway(file, adoption);
    setAsideFlag = adoption != Adoption::Outdated;
    auto db = tryOpen(file, adoption);
    if (!db)
        throw SqliteError(QStringLiteral("cannot create the index %1").arg(file), SQLITE_CANTOPEN);
    return db;
}

QString metaValue(const SqliteDatabase &db, const char *key)
{
    SqliteStatement statement(db, "SELECT value FROM meta WHERE key = ?1");
    statement.bind(1, QString::fromLatin1(key));
    return statement.step() ? statement.text(0) : QString();
}

void setMetaValue(const SqliteDatabase &db, const char *key, const QString &value)
{
    SqliteStatement statement(db, "INSERT OR REPLACE INTO meta(key, value) VALUES(?1, ?2)");
    statement.bind(1, QString::fromLatin1(key)).bind(2, value).run();
}

}  // namespace

// ---------------------------------------------------------------- searching

struct FullTextIndex::Private
{
    std::unique_ptr<SqliteDatabase> db;
    bool setAside = false;
};

QString FullTextIndex::fileFor(const QString &libraryFolder)
{
    const QByteArray key = QDir(libraryFolder).absolutePath().toUtf8();
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex());
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/index/") + hash
           + QStringLiteral(".db");
}

FullTextIndex::FullTextIndex(const QString &file) : d(std::make_unique<Private>())
{
    d->db = openIndex(file, d->setAside);
    // Queries read the index through a mapping: a third quicker than
    // through reads, whose system calls dominate a query's own work.
    d->db->execute("PRAGMA mmap_size = 1073741824");
}

FullTextIndex::~FullTextIndex() = default;

bool FullTextIndex::wasSetAside() const
{
    return d->setAside;
}

bool FullTextIndex::complete() const
{
    return metaValue(*d->db, "complete") == QLatin1String("1");
}

SearchResults FullTextIndex::search(const QString &query, int limit, qsizetype offset) const
{
    const QString expression = fts5Expression(query);
    SearchResults results;
    try {
        SqliteStatement count(*d->db, "SELECT count(*) FROM page_index JOIN pages AS p ON p.id = page_index.rowid "
                                      "WHERE page_index MATCH ?1");
        count.bind(1, expression);
        results.total = count.step() ? count.integer(0) : 0;
        if (results.total == 0)
            return results;
        const QString ordering = results.total <= RankedMatches ? QStringLiteral("ORDER BY rank") : QString();
        const QByteArray sql =
            QStringLiteral("SELECT p.book, p.page, p.entry, p.caption, snippet(page_index, 0, char(2), char(3), "
                           "'…', %1) FROM page_index JOIN pages AS p ON p.id = page_index.rowid "
                           "WHERE page_index MATCH ?1 %2 LIMIT ?2 OFFSET ?3")
                .arg(SnippetWords)
                .arg(ordering)
                .toUtf8();
        SqliteStatement hits(*d->db, sql.constData());
        hits.bind(1, expression).bind(2, qint64(limit)).bind(3, qint64(offset));
        while (hits.step())
            results.hits.push_back({hits.text(0), hits.text(1), int(hits.integer(2)), hits.text(3), hits.text(4)});
    } catch (const SqliteError &error) {
        throw QueryError(QStringLiteral("Поиск не удался: %1").arg(QString::fromUtf8(error.what())).toStdString());
    }
    return results;
}

// ---------------------------------------------------------------- updating

namespace {

// What the update takes of a book from the library.
struct BookSnapshot
{
    QString path;    // PATH
    QString author;  // the author node's text
    QString title;   // the book node's text
};

// A page of a book to index: the first contents entry naming it.
// A file of a book, resolved on this platform, and its stamp.
struct BookFile
{
    QString path;
    std::optional<FileStamp> stamp;  // none when it is missing
};

struct PageToIndex
{
    QString page;  // as the library builds it
    BookFile file;
    int entry = 0;
    QString caption;
};

// A book examined by a worker: unchanged, or its pages' text.
struct BookWork
{
    qsizetype book = 0;  // its position in the snapshot
    qint64 signature = 0;
    bool unchanged = false;
    bool stopped = false;
    struct Page
    {
        PageToIndex where;
        QByteArray text;  // UTF-8
        TokenList tokens;
    };
    std::vector<Page> pages;
};

// Mixes a value into a signature (FNV-1a over its bytes).
void mix(quint64 &signature, qint64 value)
{
    for (int shift = 0; shift < 64; shift += 8) {
        signature ^= quint64(value >> shift) & 0xFF;
        signature *= 1099511628211ULL;
    }
}

void mixFile(quint64 &signature, const BookFile &file)
{
    mix(signature, file.stamp ? file.stamp->size : -1);
    mix(signature, file.stamp ? file.stamp->modified : -1);
}

// The file at `builtPath` in the library. A path named as it is on disk,
// the usual case, costs one look at the file system, which also gives what
// the book's signature needs; the rest are resolved ignoring letter case.
BookFile libraryFile(const QString &folder, const QString &builtPath)
{
    const QString asWritten = QDir(folder).filePath(QString(builtPath).replace(u'\\', u'/'));
    if (std::optional<FileStamp> stamp = fileStamp(asWritten))
        return {asWritten, stamp};
    const QString resolved = platformPath(folder, builtPath);
    return {resolved, fileStamp(resolved)};
}

// The pages a book's contents name, each once, with the entry that names it
// first; the contents are read into a tree of the book's own.
std::vector<PageToIndex> pagesOfBook(const QString &folder, const BookSnapshot &book, const BookFile &contentsFile)
{
    LibraryTree tree;
    const LibraryTree::Node bookNode = tree.addChild(tree.addRoot(book.author), book.title, TExtInfoLib(book.path));
    try {
        LoadContents(contentsFile.path, addingTo(tree), bookNode);
    } catch (const AppError &) {
        // The entries read before the error are indexed; the book's
        // signature notes the contents file, so it is read again once fixed.
    }
    std::vector<PageToIndex> pages;
    QSet<QString> seen;
    // Entries are added in pre-order, right after the book node.
    for (LibraryTree::Node node = bookNode + 1; node < tree.size(); ++node) {
        const QString page = tree.info(node)->FPath;
        const BookFile file = libraryFile(folder, page);
        if (!seen.contains(file.path)) {
            seen.insert(file.path);
            pages.push_back({page, file, int(node - bookNode - 1), tree.caption(node)});
        }
    }
    return pages;
}

BookWork examineBook(const QString &folder, const BookSnapshot &book, std::optional<qint64> stored,
                     const std::atomic_bool &stop)
{
    BookWork work;
    const BookFile contentsFile = libraryFile(folder, contentsFilePath(TExtInfoLib(book.path)));
    std::vector<PageToIndex> pages = pagesOfBook(folder, book, contentsFile);
    quint64 signature = 14695981039346656037ULL;
    mixFile(signature, contentsFile);
    for (const PageToIndex &page : pages)
        mixFile(signature, page.file);
    work.signature = qint64(signature);
    work.unchanged = stored == work.signature;
    if (work.unchanged)
        return work;
    for (PageToIndex &page : pages) {
        if (stop) {
            work.stopped = true;
            return work;
        }
        try {
            QByteArray text = pageText(readPage(page.file.path));
            TokenList tokens(std::string_view(text.constData(), size_t(text.size())));
            work.pages.push_back({std::move(page), std::move(text), std::move(tokens)});
        } catch (const AppError &) {
            // A page that cannot be read has no words; the signature notes it.
        }
    }
    return work;
}

// Finished books handed from the workers to the writer.
class WorkQueue
{
public:
    void push(BookWork work)
    {
        const QMutexLocker lock(&m_mutex);
        m_done.push_back(std::move(work));
        m_ready.wakeOne();
    }
    BookWork pop()
    {
        QMutexLocker lock(&m_mutex);
        while (m_done.empty())
            m_ready.wait(&m_mutex);
        BookWork work = std::move(m_done.front());
        m_done.pop_front();
        return work;
    }

private:
    QMutex m_mutex;
    QWaitCondition m_ready;
    std::deque<BookWork> m_done;
};

// The writer's statements.
class IndexWriter
{
public:
    explicit IndexWriter(const SqliteDatabase &db)
        : m_db(db),
          m_forgetPages(db, "DELETE FROM pages WHERE book = ?1"),
          m_forgetBook(db, "DELETE FROM books WHERE path = ?1"),
          m_addPage(db, "INSERT INTO pages(book, page, entry, caption, file) VALUES(?1, ?2, ?3, ?4, ?5)"),
          m_addWords(db, "INSERT INTO page_index(rowid, text) VALUES(last_insert_rowid(), ?1)"),
          m_addBook(db, "INSERT OR REPLACE INTO books(path, signature) VALUES(?1, ?2)")
    {}

    // Removes the book's pages from every search; their words stay behind.
    void removeBook(const QString &path)
    {
        m_forgetPages.reset().bind(1, path).run();
        m_removedPages += sqlite3_changes64(m_db.handle());
        m_forgetBook.reset().bind(1, path).run();
    }

    // Adds the pages removed since the last call to the count in meta.
    void noteRemovedPages()
    {
        const qint64 removed = metaValue(m_db, "removed").toLongLong() + m_removedPages;
        setMetaValue(m_db, "removed", QString::number(removed));
        m_removedPages = 0;
    }

    // Replaces the book's pages; returns how many were indexed.
    qint64 replaceBook(const QString &path, const BookWork &work)
    {
        removeBook(path);
        for (const BookWork::Page &page : work.pages) {
            m_addPage.reset()
                .bind(1, path)
                .bind(2, page.where.page)
                .bind(3, qint64(page.where.entry))
                .bind(4, page.where.caption)
                .bind(5, page.where.file.path)
                .run();
            const PreparedTokens prepared(std::string_view(page.text.constData(), size_t(page.text.size())),
                                          page.tokens);
            m_addWords.reset().bindText(1, page.text).run();
        }
        m_addBook.reset().bind(1, path).bind(2, work.signature).run();
        return qint64(work.pages.size());
    }

private:
    const SqliteDatabase &m_db;
    SqliteStatement m_forgetPages, m_forgetBook, m_addPage, m_addWords, m_addBook;
    qint64 m_removedPages = 0;
};

// Starts the index afresh when the words of removed pages have piled up.
void dropRemovedWords(SqliteDatabase &db)
{
    const qint64 removed = metaValue(db, "removed").toLongLong();
    if (removed == 0 || removed * RemovedPagesPerLivePage < pragmaValue(db, "SELECT count(*) FROM pages"))
        return;
    db.execute("DELETE FROM books; DELETE FROM pages; INSERT INTO page_index(page_index) VALUES('delete-all');");
    setMetaValue(db, "removed", QStringLiteral("0"));
}

}  // namespace

struct IndexUpdate::Private
{
    QString folder;
    QString indexFile;
    std::vector<BookSnapshot> books;

    QHash<QString, qint64> storedSignatures(const SqliteDatabase &db) const;
    void removeGoneBooks(const QHash<QString, qint64> &stored, IndexWriter &writer) const;
};

IndexUpdate::IndexUpdate(const Library &library, QString indexFile) : d(std::make_unique<Private>())
{
    d->folder = library.AppDir();
    d->indexFile = std::move(indexFile);
    const LibraryTree &tree = library.tree();
    for (int a = 0; a < tree.childCount(LibraryTree::NoNode); ++a) {
        const LibraryTree::Node author = tree.child(LibraryTree::NoNode, a);
        const QString authorText = tree.text(author);  // one copy shared by the author's books
        for (int b = 0; b < tree.childCount(author); ++b) {
            const LibraryTree::Node book = tree.child(author, b);
            d->books.push_back({tree.info(book)->FPath, authorText, tree.text(book)});
        }
    }
}

IndexUpdate::~IndexUpdate() = default;

QHash<QString, qint64> IndexUpdate::Private::storedSignatures(const SqliteDatabase &db) const
{
    QHash<QString, qint64> stored;
    SqliteStatement statement(db, "SELECT path, signature FROM books");
    while (statement.step())
        stored.insert(statement.text(0), statement.integer(1));
    return stored;
}

void IndexUpdate::Private::removeGoneBooks(const QHash<QString, qint64> &stored, IndexWriter &writer) const
{
    QSet<QString> present;
    for (const BookSnapshot &book : books)
        present.insert(book.path);
    for (auto it = stored.begin(); it != stored.end(); ++it)
        if (!present.contains(it.key()))
            writer.removeBook(it.key());
}

UpdateSummary IndexUpdate::run(const std::atomic_bool &stop, const Progress &progress)
{
    QElapsedTimer clock;
    clock.start();
    bool setAsideFlag = false;
    const std::unique_ptr<SqliteDatabase> db = openIndex(d->indexFile, setAsideFlag);
    db->execute("BEGIN");
    dropRemovedWords(*db);
    const QHash<QString, qint64> stored = d->storedSignatures(*db);
    IndexWriter writer(*db);
    setMetaValue(*db, "complete", QStringLiteral("0"));
    d->removeGoneBooks(stored, writer);

    WorkQueue queue;  // outlives the pool, whose end waits for the workers
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    const qsizetype total = qsizetype(d->books.size());
    const qsizetype maxInFlight = qsizetype(pool.maxThreadCount()) * 4;
    qsizetype started = 0;
    qsizetype inFlight = 0;
    auto startNext = [&] {
        const qsizetype index = started++;
        ++inFlight;
        const BookSnapshot &book = d->books[size_t(index)];
        const std::optional<qint64> signature =
            stored.contains(book.path) ? std::optional<qint64>(stored.value(book.path)) : std::nullopt;
        pool.start([this, &queue, &stop, index, signature] {
            BookWork work;
            try {
                work = examineBook(d->folder, d->books[size_t(index)], signature, stop);
            } catch (...) {
                work.stopped = true;  // left for the next update (out of memory, say)
            }
            work.book = index;
            queue.push(std::move(work));
        });
    };

    UpdateSummary summary;
    qsizetype done = 0;
    bool bookLeft = false;  // a book stopped half-way
    QElapsedTimer sinceCommit;
    sinceCommit.start();
    while (inFlight > 0 || (started < total && !stop)) {
        while (!stop && started < total && inFlight < maxInFlight)
            startNext();
        const BookWork work = queue.pop();
        --inFlight;
        ++done;
        bookLeft = bookLeft || work.stopped;
        if (!work.unchanged && !work.stopped) {
            summary.pages += writer.replaceBook(d->books[size_t(work.book)].path, work);
            ++summary.books;
        }
        if (sinceCommit.elapsed() >= CommitInterval) {
            writer.noteRemovedPages();
            db->execute("COMMIT; BEGIN");
            sinceCommit.restart();
            if (progress)
                progress(int(done), int(total));
        }
    }
    summary.stopped = bookLeft || done < total;
    if (!summary.stopped)
        setMetaValue(*db, "complete", QStringLiteral("1"));
    writer.noteRemovedPages();
    db->execute("COMMIT");
    if (progress)
        progress(int(done), int(total));
    summary.seconds = double(clock.nsecsElapsed()) / 1e9;
    return summary;
}

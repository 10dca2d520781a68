// SPDX-License-Identifier: GPL-3.0-or-later
#include "librarycommands.h"

#include "core/error.h"
#include "core/library.h"
#include "core/textfile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <optional>

namespace {

using Node = LibraryTree::Node;

constexpr int BookLevel = 1;

// Expands `node`; the message of a load that failed, or nothing.
std::optional<QString> expansionFailure(Library &library, Node node)
{
    try {
        library.expand(node);
    } catch (const AppError &error) {
        return error.message();
    }
    return std::nullopt;
}

// A walk over the whole tree in tree order that loads every book as it
// reaches it, as a fruitless search does, but goes on after a failed load.
// The failure is reported after the nodes the load added.
class LoadingWalk
{
public:
    explicit LoadingWalk(Library &library) : m_library(library) {}
    virtual ~LoadingWalk() = default;
    LoadingWalk(const LoadingWalk &) = delete;
    LoadingWalk &operator=(const LoadingWalk &) = delete;

    void walk()
    {
        for (Node node = tree().firstRoot(); node != LibraryTree::NoNode; node = tree().nextInPreorder(node)) {
            const int level = tree().level(node);
            if (level <= BookLevel)
                reportFailure();
            visit(node, level);
            if (std::optional<QString> message = expansionFailure(m_library, node))
                m_failure = Failure{node, *message};
        }
        reportFailure();
    }

protected:
    const Library &library() const { return m_library; }
    const LibraryTree &tree() const { return m_library.tree(); }

private:
    virtual void visit(Node node, int level) = 0;
    virtual void loadFailed(Node book, const QString &message) = 0;

    void reportFailure()
    {
        if (m_failure)
            loadFailed(m_failure->book, m_failure->message);
        m_failure.reset();
    }

    struct Failure
    {
        Node book;
        QString message;
    };

    Library &m_library;
    std::optional<Failure> m_failure;  // of the book whose nodes are being walked
};

QString indentation(int level)
{
    return QString(qsizetype{2} * level, u' ');
}

class TreeListing final : public LoadingWalk
{
public:
    TreeListing(Library &library, QTextStream &out) : LoadingWalk(library), m_out(out) {}

    bool everyBookLoaded() const { return m_everyBookLoaded; }

private:
    void visit(Node node, int level) override
    {
        m_out << indentation(level) << visibleText(tree().textView(node));
        if (level > BookLevel)
            m_out << '\t' << visibleText(library().pagePath(node));
        m_out << '\n';
    }

    void loadFailed(Node, const QString &message) override
    {
        m_out << indentation(BookLevel + 1) << "! " << visibleText(message) << '\n';
        m_everyBookLoaded = false;
    }

    QTextStream &m_out;
    bool m_everyBookLoaded = true;
};

// Why the entry at `path` cannot be opened as a page: a directory, a
// special file or a file without read permission is refused.
QString unopenableEntry(const QString &path)
{
    return openErrorMessage(QFileInfo::exists(path) ? EACCES : ENOENT, path);
}

// The page files of a library. The pages of a book lie in a few
// directories, so each directory is listed once and every page is looked
// up in that listing, its letter case ignored as the viewer ignores it: the
// check takes time in proportion to the pages, however their names are
// spelled. Every page of a missing directory gets the same message.
class PageFiles
{
public:
    explicit PageFiles(const Library &library) : m_library(library) {}

    // `builtPath` is a page's path as built, relative to the library folder.
    std::optional<QString> problem(const QString &builtPath)
    {
        const qsizetype nameStart = std::max(builtPath.lastIndexOf(u'\\'), builtPath.lastIndexOf(u'/')) + 1;
        Directory &directory = directoryAt(builtPath.left(nameStart));
        if (!directory.exists) {
            if (!directory.pageMessage)
                directory.pageMessage = openErrorMessage(ENOENT, m_library.filePath(builtPath));
            return directory.pageMessage;
        }
        const QString name = builtPath.sliced(nameStart);
        if (name.isEmpty())  // the directory itself
            return unopenableEntry(directory.path);
        if (directory.pages.contains(name))
            return std::nullopt;
        const auto entry = directory.entries.constFind(name.toCaseFolded());
        if (entry == directory.entries.cend())
            return openErrorMessage(ENOENT, QDir(directory.path).filePath(name));
        if (directory.pages.contains(*entry))
            return std::nullopt;
        return unopenableEntry(QDir(directory.path).filePath(*entry));
    }

    // Forgets the directories read so far; the pages of a book lie below
    // its own directory, so the check forgets them at each new book.
    void forgetDirectories() { m_directories.clear(); }

private:
    struct Directory
    {
        bool exists = false;
        QString path;                        // as found on this platform
        QSet<QString> pages;                 // the names of its readable regular files
        QHash<QString, QString> entries;     // the names of all its entries, by their case-folded form
        std::optional<QString> pageMessage;  // when it does not exist: the message for its pages
    };

    Directory &directoryAt(const QString &builtPath)
    {
        auto known = m_directories.find(builtPath);
        if (known == m_directories.end())
            known = m_directories.insert(builtPath, read(builtPath));
        return *known;
    }

    Directory read(const QString &builtPath) const
    {
        const QDir directory(m_library.filePath(builtPath));
        if (!directory.exists())
            return {};
        Directory read{true, directory.path(), {}, {}, std::nullopt};
        const QStringList pages = directory.entryList(QDir::Files | QDir::Readable | QDir::Hidden);
        read.pages = QSet<QString>(pages.begin(), pages.end());
        for (const QString &name :
             directory.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            read.entries.insert(name.toCaseFolded(), name);
        return read;
    }

    const Library &m_library;
    QHash<QString, Directory> m_directories;  // by their paths as built
};

QString counted(qsizetype count, const char *singular, const char *plural)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? singular : plural));
}

class LibraryCheck final : public LoadingWalk
{
public:
    LibraryCheck(Library &library, QTextStream &out) : LoadingWalk(library), m_out(out), m_pages(library) {}

    void run()
    {
        checkStartPage();
        walk();
        m_out << counted(m_books, "book", "books") << ", " << counted(m_entries, "entry", "entries") << ", "
              << counted(m_problems, "problem", "problems") << '\n';
    }

    bool foundProblems() const { return m_problems > 0; }

private:
    void visit(Node node, int level) override
    {
        if (level == BookLevel) {
            ++m_books;
            m_pages.forgetDirectories();
        }
        if (level <= BookLevel)
            return;
        ++m_entries;
        if (std::optional<QString> message = m_pages.problem(library().pagePath(node)))
            problem(tree().caption(node), *message);
    }

    void loadFailed(Node book, const QString &message) override { problem(tree().caption(book), message); }

    void checkStartPage()
    {
        if (std::optional<QString> message = m_pages.problem(StartPage))
            problem(StartPage, *message);
    }

    void problem(const QString &caption, const QString &message)
    {
        m_out << visibleText(caption) << ": " << visibleText(message) << '\n';
        ++m_problems;
    }

    QTextStream &m_out;
    PageFiles m_pages;
    qsizetype m_books = 0;
    qsizetype m_entries = 0;
    qsizetype m_problems = 0;
};

}  // namespace

QString visibleText(QStringView text)
{
    QString visible;
    visible.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\t')
            visible += QLatin1String("\\t");
        else if (code == u'\n')
            visible += QLatin1String("\\n");
        else if (code == u'\r')
            visible += QLatin1String("\\r");
        else if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            visible += QStringLiteral("\\x%1").arg(uint(code), 2, 16, QLatin1Char('0'));
        else
            visible += c;
    }
    return visible;
}

int listTree(Library &library, QTextStream &out)
{
    TreeListing listing(library, out);
    listing.walk();
    return listing.everyBookLoaded() ? ExitSuccess : ExitShortfall;
}

int checkLibrary(Library &library, QTextStream &out)
{
    LibraryCheck check(library, out);
    check.run();
    return check.foundProblems() ? ExitShortfall : ExitSuccess;
}

int findInLibrary(Library &library, const QString &searchText, QTextStream &out)
{
    const auto expand = [&library](Node node) { library.expand(node); };
    bool matched = false;
    for (Node match = library.findFirst(searchText, expand); match != LibraryTree::NoNode;
         match = library.findNext(expand)) {
        out << visibleText(library.caption(match)) << '\n';
        matched = true;
    }
    return matched ? ExitSuccess : ExitShortfall;
}

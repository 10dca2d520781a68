#include "librarycommands.h"

#include "core/catalogue.h"
#include "core/contents.h"
#include "core/error.h"
#include "core/global.h"
#include "core/librarytree.h"
#include "core/paths.h"
#include "core/search.h"
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

// The author and book levels, read from the catalogue as the viewer's
// creation handler reads them.
void addCatalogue(LibraryTree &tree)
{
    BooksRecordSet cdsBooks(QStringLiteral("cdsBooks"));
    cdsBooks.onCalcFields = calculateAuthor;
    openCatalogue(cdsBooks);
    addAuthorsAndBooks(cdsBooks, tree);
}

// What expanding `node` does in the viewer: a book without children yet
// loads its contents.
void expandNode(LibraryTree &tree, Node node)
{
    if (contentsPending(tree, node))
        LoadContents(*tree.info(node), addingTo(tree), node);
}

// Expands `node`; the message of a load that failed, or nothing.
std::optional<QString> expansionFailure(LibraryTree &tree, Node node)
{
    try {
        expandNode(tree, node);
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
    explicit LoadingWalk(LibraryTree &tree) : m_tree(tree) {}
    virtual ~LoadingWalk() = default;
    LoadingWalk(const LoadingWalk &) = delete;
    LoadingWalk &operator=(const LoadingWalk &) = delete;

    void walk()
    {
        for (Node node = m_tree.firstRoot(); node != LibraryTree::NoNode; node = m_tree.nextInPreorder(node)) {
            const int level = m_tree.level(node);
            if (level <= BookLevel)
                reportFailure();
            visit(node, level);
            if (std::optional<QString> message = expansionFailure(m_tree, node))
                m_failure = Failure{node, *message};
        }
        reportFailure();
    }

protected:
    const LibraryTree &tree() const { return m_tree; }

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

    LibraryTree &m_tree;
    std::optional<Failure> m_failure;  // of the book whose nodes are being walked
};

QString indentation(int level)
{
    return QString(qsizetype{2} * level, u' ');
}

// A page path as the viewer builds it, less the AppDir it begins with.
QString withoutAppDir(const QString &path)
{
    return path.mid(AppDir.size());
}

class TreeListing final : public LoadingWalk
{
public:
    TreeListing(LibraryTree &tree, QTextStream &out) : LoadingWalk(tree), m_out(out) {}

    bool everyBookLoaded() const { return m_everyBookLoaded; }

private:
    void visit(Node node, int level) override
    {
        m_out << indentation(level) << tree().textView(node);
        if (level > BookLevel)
            m_out << '\t' << withoutAppDir(tree().info(node)->FPath);
        m_out << '\n';
    }

    void loadFailed(Node, const QString &message) override
    {
        m_out << indentation(BookLevel + 1) << "! " << message << '\n';
        m_everyBookLoaded = false;
    }

    QTextStream &m_out;
    bool m_everyBookLoaded = true;
};

// Why the file at `builtPath`, found as the viewer finds it, cannot be
// opened as a page; nothing when it can.
std::optional<QString> unopenableFile(const QString &builtPath)
{
    const QString path = platformPath(builtPath);
    const QFileInfo file(path);
    if (file.isFile())
        return std::nullopt;
    return openErrorMessage(file.exists() ? EISDIR : ENOENT, path);
}

// The page files of a library. The pages of a book lie in a few
// directories, so each directory is read once: a page named there as built
// needs no look-up of its own, and every page of a missing directory gets
// the same message. Other pages are found as the viewer finds them.
class PageFiles
{
public:
    std::optional<QString> problem(const QString &builtPath)
    {
        const qsizetype nameStart = std::max(builtPath.lastIndexOf(u'\\'), builtPath.lastIndexOf(u'/')) + 1;
        Directory &directory = directoryAt(builtPath.left(nameStart));
        if (!directory.exists) {
            if (!directory.pageMessage)
                directory.pageMessage = openErrorMessage(ENOENT, platformPath(builtPath));
            return directory.pageMessage;
        }
        if (directory.files.contains(builtPath.sliced(nameStart)))
            return std::nullopt;
        return unopenableFile(builtPath);
    }

    // Forgets the directories read so far; the pages of a book lie below
    // its own directory, so the check forgets them at each new book.
    void forgetDirectories() { m_directories.clear(); }

private:
    struct Directory
    {
        bool exists = false;
        QSet<QString> files;                 // the names of its files, when it exists
        std::optional<QString> pageMessage;  // when it does not: the message for its pages
    };

    Directory &directoryAt(const QString &builtPath)
    {
        auto known = m_directories.find(builtPath);
        if (known == m_directories.end())
            known = m_directories.insert(builtPath, read(builtPath));
        return *known;
    }

    static Directory read(const QString &builtPath)
    {
        const QDir directory(platformPath(builtPath));
        if (!directory.exists())
            return {};
        const QStringList files = directory.entryList(QDir::Files | QDir::Hidden);
        return {true, QSet<QString>(files.begin(), files.end()), std::nullopt};
    }

    QHash<QString, Directory> m_directories;  // by their paths as built
};

QString counted(qsizetype count, const char *singular, const char *plural)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? singular : plural));
}

class LibraryCheck final : public LoadingWalk
{
public:
    LibraryCheck(LibraryTree &tree, QTextStream &out) : LoadingWalk(tree), m_out(out) {}

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
        if (std::optional<QString> message = m_pages.problem(tree().info(node)->FPath))
            problem(tree().caption(node), *message);
    }

    void loadFailed(Node book, const QString &message) override { problem(tree().caption(book), message); }

    void checkStartPage()
    {
        if (std::optional<QString> message = m_pages.problem(AppDir + StartPage))
            problem(StartPage, *message);
    }

    void problem(const QString &caption, const QString &message)
    {
        m_out << caption << ": " << message << '\n';
        ++m_problems;
    }

    QTextStream &m_out;
    PageFiles m_pages;
    qsizetype m_books = 0;
    qsizetype m_entries = 0;
    qsizetype m_problems = 0;
};

}  // namespace

int listTree(QTextStream &out)
{
    LibraryTree tree;
    addCatalogue(tree);
    TreeListing listing(tree, out);
    listing.walk();
    return listing.everyBookLoaded() ? ExitSuccess : ExitShortfall;
}

int checkLibrary(QTextStream &out)
{
    LibraryTree tree;
    addCatalogue(tree);
    LibraryCheck check(tree, out);
    check.run();
    return check.foundProblems() ? ExitShortfall : ExitSuccess;
}

int findInLibrary(const QString &searchText, QTextStream &out)
{
    LibraryTree tree;
    addCatalogue(tree);
    const auto expand = [&tree](Node node) { expandNode(tree, node); };
    bool matched = false;
    // Find walks from the first node, each Find next from after the last match.
    for (Node match = findInTree(tree, tree.firstRoot(), searchText, expand); match != LibraryTree::NoNode;
         match = findInTree(tree, tree.nextInPreorder(match), searchText, expand)) {
        out << tree.caption(match) << '\n';
        matched = true;
    }
    return matched ? ExitSuccess : ExitShortfall;
}

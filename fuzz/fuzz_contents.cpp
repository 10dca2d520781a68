// Fuzz target: a contents file read from disk into the line list, and
// ParseContents adding its entries under a book of a real node store.

#include "core/contents.h"
#include "core/error.h"
#include "core/librarytree.h"
#include "core/textfile.h"

#include <QTemporaryFile>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// One file, rewritten for every input, read by the program's own reader.
QTemporaryFile &contentsFile()
{
    static QTemporaryFile file;
    if (!file.isOpen() && !file.open())
        std::abort();
    return file;
}

void rewrite(QTemporaryFile &file, const std::uint8_t *data, std::size_t size)
{
    if (!file.resize(0) || !file.seek(0)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size) || !file.flush())
        std::abort();
}

// Reads back every entry as the window does when it shows one.
void readEntries(const LibraryTree &tree, LibraryTree::Node book)
{
    for (LibraryTree::Node node = tree.nextInPreorder(book); node != LibraryTree::NoNode;
         node = tree.nextInPreorder(node)) {
        if (tree.level(node) < 2 || !tree.info(node))
            std::abort();
        (void)tree.caption(node);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QTemporaryFile &file = contentsFile();
    rewrite(file, data, size);
    LibraryTree tree;
    const LibraryTree::Node author = tree.addRoot(QStringLiteral("Автор"));
    const LibraryTree::Node book = tree.addChild(author, QStringLiteral("Книга"), TExtInfoLib(QStringLiteral("B")));
    try {
        TextFileReader reader(file.fileName());
        const ContentsLines lines = readContentsLines(reader);
        ParseContents(lines, 1, book, addingTo(tree));
    } catch (const AppError &error) {
        if (error.message().isEmpty())
            std::abort();
    }
    readEntries(tree, book);
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: a contents file read from disk by the library of one book,
// as expanding the book reads it, its entries added under the book node.

#include "core/error.h"
#include "core/library.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The catalogue of the one book, whose directory is "B".
const QByteArray OneBookCatalogue =
    "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
    "<FIELD attrname=\"RecId\" fieldtype=\"i4\"/><FIELD attrname=\"SURNAME\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"NAME\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"LASTNAME\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"LOCATION\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"LABEL\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"PATH\" fieldtype=\"string\" WIDTH=\"20\"/></FIELDS><PARAMS/></METADATA>"
    "<ROWDATA><ROW RecId=\"1\" SURNAME=\"A\" LABEL=\"Book\" PATH=\"B\"/></ROWDATA></DATAPACKET>";

// One library folder, its contents file rewritten for every input.
const QTemporaryDir &libraryFolder()
{
    static const QTemporaryDir folder;
    static const bool made = folder.isValid() && QDir(folder.path()).mkpath(QStringLiteral("Library/B"));
    if (!made)
        std::abort();
    return folder;
}

void rewrite(const QString &path, const std::uint8_t *data, std::size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
}

// Reads back every entry as the window does when it shows one.
void readEntries(const Library &library, LibraryTree::Node book)
{
    const LibraryTree &tree = library.tree();
    for (LibraryTree::Node node = tree.nextInPreorder(book); node != LibraryTree::NoNode;
         node = tree.nextInPreorder(node)) {
        if (tree.level(node) < 2 || !tree.info(node))
            std::abort();
        (void)library.caption(node);
        (void)library.filePath(library.pagePath(node));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QTemporaryDir &folder = libraryFolder();
    rewrite(folder.filePath(QStringLiteral("Library/B/sod.btf")), data, size);
    Library library(folder.path());
    library.loadCatalogue(OneBookCatalogue);
    const LibraryTree::Node book = library.tree().child(library.tree().firstRoot(), 0);
    try {
        library.expand(book);
    } catch (const AppError &error) {
        if (error.message().isEmpty())
            std::abort();
    }
    readEntries(library, book);
    return 0;
}

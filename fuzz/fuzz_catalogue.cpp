// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: a catalogue line through the data-packet engine, the record
// set's field binding and record order, and the building of the author and
// book levels of the tree.

#include "core/error.h"
#include "core/library.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Reads back what the tree holds, as the window does when it shows a node.
void readTree(const LibraryTree &tree)
{
    for (LibraryTree::Node node = tree.firstRoot(); node != LibraryTree::NoNode; node = tree.nextInPreorder(node)) {
        const std::optional<TExtInfoLib> info = tree.info(node);
        if ((tree.level(node) == 1) != info.has_value())
            std::abort();
        (void)tree.caption(node);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray packet(reinterpret_cast<const char *>(data), qsizetype(size));
    // The catalogue line comes from the input, so the folder is never read.
    Library library(QStringLiteral("."));
    try {
        library.loadCatalogue(packet);
    } catch (const AppError &error) {
        if (error.message().isEmpty())
            std::abort();
    }
    readTree(library.tree());
    return 0;
}

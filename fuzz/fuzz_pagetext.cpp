// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: a page's bytes through the full-text index's reading of it:
// its text and the tokens of the text, each within the text.

#include "core/pagetext.h"
#include "core/stemmingtokenizer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text = pageText(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    const TokenList tokens(std::string_view(text.constData(), size_t(text.size())));
    tokens.forEach([&](std::string_view token, int start, int end) {
        if (token.empty() || start < 0 || end <= start || end > text.size())
            std::abort();
        return 0;
    });
    return 0;
}

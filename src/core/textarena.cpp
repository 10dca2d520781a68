// SPDX-License-Identifier: GPL-3.0-or-later
#include "textarena.h"

char16_t *TextArena::reserveInNewBlock(qsizetype length)
{
    if (length > BlockSize) {
        // A text larger than a block gets a block of its own.
        m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(size_t(length)));
        m_reserved = {quint32(m_blocks.size() - 1), 0, 0};
        m_reservedInCurrent = false;
        return m_blocks.back().get();
    }
    m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(size_t(BlockSize)));
    m_current = quint32(m_blocks.size() - 1);
    m_used = 0;
    m_reserved = {m_current, 0, 0};
    m_reservedInCurrent = true;
    return m_blocks.back().get();
}

QStringView TextArena::view(Ref ref) const
{
    if (ref.length == 0)
        return {};
    return QStringView(m_blocks[ref.block].get() + ref.offset, qsizetype(ref.length));
}

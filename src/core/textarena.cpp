// SPDX-License-Identifier: GPL-3.0-or-later
#include "textarena.h"

#include <new>

char16_t *TextArena::reserveInNewBlock(qsizetype length)
{
    const size_t numbers = size_t((std::max(length, BlockSize) + BlockSize - 1) / BlockSize);
    if (m_blocks.size() + numbers > MaxBlocks)
        throw std::bad_alloc();
    const auto first = quint32(m_blocks.size());
    m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(size_t(std::max(length, BlockSize))));
    m_blocks.resize(m_blocks.size() + numbers - 1);
    m_reserved = {first << BlockBits, 0};
    m_reservedInCurrent = length <= BlockSize;
    if (m_reservedInCurrent) {
        m_current = first;
        m_used = 0;
    }
    return m_blocks[first].get();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "textarena.h"

#include <algorithm>

char16_t *TextArena::reserve(qsizetype length)
{
    if (length > BlockSize) {
        // A text larger than a block gets a block of its own.
        m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(size_t(length)));
        m_reserved = {quint32(m_blocks.size() - 1), 0, 0};
        m_reservedInCurrent = false;
        return m_blocks.back().get();
    }
    if (m_blocks.empty() || m_used + length > BlockSize) {
        m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(size_t(BlockSize)));
        m_current = quint32(m_blocks.size() - 1);
        m_used = 0;
    }
    m_reserved = {m_current, quint32(m_used), 0};
    m_reservedInCurrent = true;
    return m_blocks[m_current].get() + m_used;
}

TextArena::Ref TextArena::keep(qsizetype length)
{
    Ref ref = m_reserved;
    ref.length = quint32(length);
    if (m_reservedInCurrent)
        m_used = qsizetype(ref.offset) + length;
    return ref;
}

TextArena::Ref TextArena::add(QStringView text)
{
    if (text.isEmpty())
        return {};
    std::copy(text.utf16(), text.utf16() + text.size(), reserve(text.size()));
    return keep(text.size());
}

QStringView TextArena::view(Ref ref) const
{
    if (ref.length == 0)
        return {};
    return QStringView(m_blocks[ref.block].get() + ref.offset, qsizetype(ref.length));
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QStringView>
#include <algorithm>
#include <memory>
#include <vector>

// Texts stored end to end in large blocks that never move, so that a text
// costs its characters and a small reference, not an allocation of its own.
class TextArena
{
public:
    // A text's place: its block's number and its offset within the block in
    // one 32-bit position, and its length. The reference of every value of a
    // million-book catalogue and of every tree node is kept, so it is small.
    struct Ref
    {
        quint32 position = 0;
        quint32 length = 0;
    };

    // Keeps a copy of `text`; an empty text takes no room.
    Ref add(QStringView text)
    {
        if (text.isEmpty())
            return {};
        std::copy(text.utf16(), text.utf16() + text.size(), reserve(text.size()));
        return keep(text.size());
    }
    // Keeps `bytes` as they are, two to a character's room: half the room
    // of their decoded text, for texts that are seldom read.
    Ref addBytes(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return {};
        const qsizetype room = (bytes.size() + 1) / 2;
        std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char *>(reserve(room)));
        Ref ref = keep(room);
        ref.length = quint32(bytes.size());
        return ref;
    }
    // The bytes of a `ref` from addBytes.
    QByteArrayView bytes(Ref ref) const
    {
        if (ref.length == 0)
            return {};
        return QByteArrayView(reinterpret_cast<const char *>(start(ref)), qsizetype(ref.length));
    }
    // The text of `ref`; a null view for an empty text.
    QStringView view(Ref ref) const
    {
        if (ref.length == 0)
            return {};
        return QStringView(start(ref), qsizetype(ref.length));
    }

    // Room for up to `length` characters at the end of the arena, to be
    // written in place and then kept with keep(); nothing else may be added
    // in between. Throws std::bad_alloc when the positions are used up
    // (4 G characters).
    char16_t *reserve(qsizetype length)
    {
        if (m_blocks.empty() || m_used + length > BlockSize)
            return reserveInNewBlock(length);
        m_reserved = {quint32(m_current << BlockBits | m_used), 0};
        m_reservedInCurrent = true;
        return m_blocks[m_current].get() + m_used;
    }
    // Keeps the first `length` characters written at the last reserve().
    Ref keep(qsizetype length)
    {
        Ref ref = m_reserved;
        ref.length = quint32(length);
        if (m_reservedInCurrent)
            m_used = qsizetype(ref.position & OffsetMask) + length;
        return ref;
    }

private:
    char16_t *reserveInNewBlock(qsizetype length);
    const char16_t *start(Ref ref) const
    {
        return m_blocks[ref.position >> BlockBits].get() + (ref.position & OffsetMask);
    }

    static constexpr int BlockBits = 20;
    static constexpr qsizetype BlockSize = qsizetype(1) << BlockBits;  // characters
    static constexpr quint32 OffsetMask = quint32(BlockSize) - 1;
    // The last block number is never used, so no text's position has every
    // bit set: callers may take that position as a mark of their own.
    static constexpr size_t MaxBlocks = (size_t(1) << (32 - BlockBits)) - 1;

    // A text larger than a block has a block of its own, which takes as many
    // numbers as blocks of BlockSize it would fill; the numbers after its
    // first hold no block.
    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
    qsizetype m_current = 0;       // the block being filled
    qsizetype m_used = BlockSize;  // characters used in it; full before the first
    Ref m_reserved;                // where the last reserve() put its room
    bool m_reservedInCurrent = false;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringView>
#include <memory>
#include <vector>

// Texts stored end to end in large blocks that never move, so that a text
// costs its characters and a small reference, not an allocation of its own.
class TextArena
{
public:
    struct Ref
    {
        quint32 block = 0;
        quint32 offset = 0;
        quint32 length = 0;
    };

    // Keeps a copy of `text`; an empty text takes no room.
    Ref add(QStringView text);
    // The text of `ref`; a null view for an empty text.
    QStringView view(Ref ref) const;

    // Room for up to `length` characters at the end of the arena, to be
    // written in place and then kept with keep(); nothing else may be added
    // in between.
    char16_t *reserve(qsizetype length);
    // Keeps the first `length` characters written at the last reserve().
    Ref keep(qsizetype length);

private:
    static constexpr qsizetype BlockSize = qsizetype(1) << 20;  // characters

    std::vector<std::unique_ptr<char16_t[]>> m_blocks;
    quint32 m_current = 0;         // the block being filled
    qsizetype m_used = BlockSize;  // characters used in it; full before the first
    Ref m_reserved;                // where the last reserve() put its room
    bool m_reservedInCurrent = false;
};

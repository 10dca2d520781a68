// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The search history keeps at most this many texts when a new one arrives.
constexpr int MaxHistoryCount = 18;

// Puts a search text at the head of the history (entry 0 is the most recent).
// The text is trimmed first; a blank text leaves the history alone. An entry
// equal to it ignoring letter case moves to the head in its stored form;
// otherwise the text is inserted there and, past MaxHistoryCount entries,
// only the last entry is dropped, so a longer history read from the store
// keeps its length.
void AddToHistory(const QString &text, QStringList &history);

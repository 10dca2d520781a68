// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchhistory.h"

#include "text.h"

void AddToHistory(const QString &text, QStringList &history)
{
    const QString trimmed = trimText(text);
    if (trimmed.isEmpty())
        return;
    for (qsizetype i = 0; i < history.size(); ++i) {
        if (history.at(i).compare(trimmed, Qt::CaseInsensitive) == 0) {
            history.move(i, 0);
            return;
        }
    }
    history.prepend(trimmed);
    if (history.size() > MaxHistoryCount)
        history.removeLast();
}

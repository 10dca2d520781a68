// SPDX-License-Identifier: GPL-3.0-or-later
#include "error.h"

QString withFullStop(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

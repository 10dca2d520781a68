// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement.h"

namespace {

// One axis of positionInWorkArea; 64-bit sums keep far-off stored positions from overflowing.
int fitAxis(int start, int length, int areaStart, int areaLength)
{
    const qint64 areaEnd = qint64(areaStart) + areaLength;
    if (start < areaStart)
        return areaStart;
    if (qint64(start) + length > areaEnd)
        return int(areaEnd - length);
    return start;
}

}  // namespace

QPoint positionInWorkArea(const QRect &window, const QRect &workArea)
{
    return {fitAxis(window.x(), window.width(), workArea.x(), workArea.width()),
            fitAxis(window.y(), window.height(), workArea.y(), workArea.height())};
}

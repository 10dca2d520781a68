// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>

// The top-left corner that brings a window into the work area: on each axis
// a window starting before the area starts at its edge, otherwise one
// reaching past the far edge ends at it; the near edge takes precedence when
// the window is larger than the area. Rectangles are frame rectangles in
// screen pixels. FitFormToWorkArea moves a window there.
QPoint positionInWorkArea(const QRect &window, const QRect &workArea);

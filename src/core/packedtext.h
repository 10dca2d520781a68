// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

// A page's text as the full-text index stores it: compressed, and in the
// library's code page, Windows-1251, when that holds every character (a
// Russian letter takes one byte there against two in UTF-8), else in UTF-8.
QByteArray packText(QByteArrayView utf8);
// The UTF-8 text of a packed body; empty for one that is damaged.
QByteArray unpackText(QByteArrayView body);

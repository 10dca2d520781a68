// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The text of an HTML page as the full-text index takes it, in UTF-8: the
// markup dropped with <head>, <script> and <style>, entities decoded, soft
// hyphens removed, and every run of white space (block elements and line
// breaks among it) made one blank, so that no two words run together. The
// page is read in the charset it declares, or else in Windows-1251, the
// library's code page. Malformed HTML gives what the parser recovers.
QByteArray pageText(QByteArrayView html);

// The charset a page declares (a BOM, or charset= within its first
// kilobyte), when the parser knows it; else "windows-1251".
QByteArray pageCharset(QByteArrayView html);

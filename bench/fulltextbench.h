// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The full-text index on a generated library of `books` books of `pages`
// pages of prose each: `what` is "index-build" (a full build: MB/s of page
// HTML, peak memory, index size), "index-fresh" (the update of an unchanged
// library), "index-change" (the update after one book changed),
// "index-query" (100 varied queries with snippets) or "index" (all four).
// Each is compared with a floor measured in the same run: reading every
// page's bytes, and grep -c of one word over them. With `kept` naming a
// directory, the library and its index are kept there for later runs.
void benchFullText(const QString &what, int books, int pages, int runs, const QString &kept);

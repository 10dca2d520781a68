// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The FTS5 expression for a query in the viewer's syntax: words (all must
// occur, in any form), "a phrase", prefix*, -excluded (a word or a phrase),
// and OR between two alternatives, binding closer than the words around
// it: «дуэль пистолет OR шпага» is дуэль and either of the others. Every
// term is quoted, so nothing the user types acts as an FTS5 operator; FTS5
// stems the terms with the index's tokenizer, prefixes only folded.
// Throws QueryError with a Russian message for a malformed query.
QString fts5Expression(const QString &query);

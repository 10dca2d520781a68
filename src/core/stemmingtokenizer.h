// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string_view>

struct sqlite3;

// The words of a text as the full-text index sees them: runs of letters and
// digits (combining marks inside a word, such as stress marks, are dropped),
// lower-cased, ё folded to е, and stemmed by the Snowball stemmers: Russian
// for words with Cyrillic letters, English for words of Latin letters only.
// Each thread has stemmers of its own, as they are not thread-safe.

// Receives one token (UTF-8) and the byte range of its word in the text.
using TokenSink = std::function<void(std::string_view token, int start, int end)>;

enum class Stemming : char { Full, None };

// Hands every word of `utf8` to `sink` in order; with Stemming::None the
// words are only folded (the start of a word searched as a prefix).
void tokenize(std::string_view utf8, Stemming stemming, const TokenSink &sink);

// The name under which registerTokenizer makes the tokenizer known to FTS5.
inline constexpr const char *TokenizerName = "brimvel";

// Registers the tokenizer with the FTS5 of `db`; false when FTS5 is missing.
bool registerTokenizer(sqlite3 *db);

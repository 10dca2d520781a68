// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// The tokens of one text, found ahead of time: the index's workers stem
// the pages, and the one writer hands the tokens to FTS5 (see
// PreparedTokens) instead of stemming again.
class TokenList
{
public:
    explicit TokenList(std::string_view utf8);

    template <typename Receive>
    int forEach(Receive receive) const
    {
        for (const Entry &entry : m_entries) {
            const int result =
                receive(std::string_view(m_tokens).substr(entry.offset, entry.length), entry.start, entry.end);
            if (result != 0)
                return result;
        }
        return 0;
    }

private:
    struct Entry
    {
        unsigned offset, length;  // in m_tokens
        int start, end;           // the word's bytes in the text
    };
    std::string m_tokens;
    std::vector<Entry> m_entries;
};

// While it lives, FTS5 on this thread takes `tokens` as the tokens of a
// document whose text equals `utf8` instead of tokenizing that text.
class PreparedTokens
{
public:
    PreparedTokens(std::string_view utf8, const TokenList &tokens);
    ~PreparedTokens();
    PreparedTokens(const PreparedTokens &) = delete;
    PreparedTokens &operator=(const PreparedTokens &) = delete;
};

// The name under which registerTokenizer makes the tokenizer known to FTS5.
inline constexpr const char *TokenizerName = "brimvel";

// Registers the tokenizer with the FTS5 of `db`; false when FTS5 is missing.
bool registerTokenizer(sqlite3 *db);

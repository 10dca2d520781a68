// SPDX-License-Identifier: GPL-3.0-or-later
#include "stemmingtokenizer.h"

#include <QChar>
#include <libstemmer.h>
#include <sqlite3.h>
#include <string>
#include <unordered_map>

namespace {

// Words longer than this (in bytes) are kept as folded, not stemmed: no
// language has them, and the stemmers' work grows with them.
constexpr size_t LongestStemmedWord = 120;
// The stems a thread remembers before it starts afresh; prose repeats its
// words, so most words are looked up instead of stemmed.
constexpr size_t StemCacheSize = 200000;

// The stemmers and the stems known to one thread.
class ThreadStemmer
{
public:
    ThreadStemmer() : m_russian(sb_stemmer_new("russian", "UTF_8")), m_english(sb_stemmer_new("english", "UTF_8")) {}
    ~ThreadStemmer()
    {
        sb_stemmer_delete(m_russian);
        sb_stemmer_delete(m_english);
    }
    ThreadStemmer(const ThreadStemmer &) = delete;
    ThreadStemmer &operator=(const ThreadStemmer &) = delete;

    // The stem of a folded word; `cyrillic` picks the Russian stemmer.
    std::string_view stem(std::string_view word, bool cyrillic)
    {
        const auto known = m_cache.find(word);
        if (known != m_cache.end())
            return known->second;
        if (m_cache.size() >= StemCacheSize)
            m_cache.clear();
        sb_stemmer *stemmer = cyrillic ? m_russian : m_english;
        const sb_symbol *stemmed =
            stemmer ? sb_stemmer_stem(stemmer, reinterpret_cast<const sb_symbol *>(word.data()), int(word.size()))
                    : nullptr;
        std::string result =
            stemmed ? std::string(reinterpret_cast<const char *>(stemmed), size_t(sb_stemmer_length(stemmer)))
                    : std::string(word);
        return m_cache.emplace(std::string(word), std::move(result)).first->second;
    }

private:
    sb_stemmer *m_russian;
    sb_stemmer *m_english;
    // Looked up by a view of the word, without making a string of it.
    struct Hash
    {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    std::unordered_map<std::string, std::string, Hash, std::equal_to<>> m_cache;
};

ThreadStemmer &threadStemmer()
{
    thread_local ThreadStemmer stemmer;
    return stemmer;
}

// Decodes the code point at `at`, moving `at` past it; a malformed sequence
// gives U+FFFD and moves one byte.
char32_t decodeUtf8(std::string_view text, size_t &at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || at + size_t(length) > text.size()) {
        ++at;
        return 0xFFFD;
    }
    char32_t code = lead & (0x7Fu >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + size_t(i)]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return 0xFFFD;
        }
        code = (code << 6) | (next & 0x3Fu);
    }
    at += size_t(length);
    return code;
}

// Writes the code point at `out` in UTF-8; returns its length.
size_t appendUtf8(char *out, char32_t code)
{
    if (code < 0x80) {
        out[0] = char(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = char(0xC0 | (code >> 6));
        out[1] = char(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = char(0xE0 | (code >> 12));
        out[1] = char(0x80 | ((code >> 6) & 0x3F));
        out[2] = char(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (code >> 18));
    out[1] = char(0x80 | ((code >> 12) & 0x3F));
    out[2] = char(0x80 | ((code >> 6) & 0x3F));
    out[3] = char(0x80 | (code & 0x3F));
    return 4;
}

// Russian letters, the bulk of a library's text, are told and folded
// without a look into the Unicode tables.
bool isRussianLetter(char32_t code)
{
    return (code >= U'А' && code <= U'я') || code == U'ё' || code == U'Ё';
}

bool isWordCharacter(char32_t code)
{
    if (code < 0x80)
        return (code >= '0' && code <= '9') || (code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z');
    return isRussianLetter(code) || QChar::isLetterOrNumber(code);
}

bool isCombiningMark(char32_t code)
{
    return code >= 0x300 && QChar::category(code) == QChar::Mark_NonSpacing;
}

char32_t folded(char32_t code)
{
    if (code >= 'A' && code <= 'Z')
        return code + ('a' - 'A');
    if (code < 0x80)
        return code;
    if (code >= U'А' && code <= U'Я')
        return code + (U'а' - U'А');
    if (code >= U'а' && code <= U'я')
        return code;
    const char32_t lower = QChar::toLower(code);
    return lower == U'ё' ? U'е' : lower;
}

bool isCyrillic(char32_t code)
{
    return code >= 0x400 && code <= 0x4FF;
}

// One word being gathered: its folded text and what kind of letters it has.
// A word longer than the buffer is cut there.
struct Word
{
    static constexpr size_t Capacity = 256;
    char text[Capacity + 4];
    size_t length = 0;
    size_t start = 0;
    bool cyrillic = false;
    bool latinOnly = true;

    void begin(size_t at)
    {
        length = 0;
        start = at;
        cyrillic = false;
        latinOnly = true;
    }
    void add(char32_t code)
    {
        const char32_t lower = folded(code);
        cyrillic = cyrillic || isCyrillic(lower);
        latinOnly = latinOnly && lower >= 'a' && lower <= 'z';
        if (length < Capacity)
            length += appendUtf8(text + length, lower);
    }
    std::string_view view() const { return {text, length}; }
};

void sendWord(const Word &word, size_t end, Stemming stemming, const TokenSink &sink)
{
    const bool stemmable =
        stemming == Stemming::Full && (word.cyrillic || word.latinOnly) && word.length <= LongestStemmedWord;
    const std::string_view token = stemmable ? threadStemmer().stem(word.view(), word.cyrillic) : word.view();
    sink(token, int(word.start), int(end));
}

}  // namespace

void tokenize(std::string_view utf8, Stemming stemming, const TokenSink &sink)
{
    thread_local Word word;
    bool inWord = false;
    size_t wordEnd = 0;
    size_t at = 0;
    while (at < utf8.size()) {
        const size_t start = at;
        const char32_t code = decodeUtf8(utf8, at);
        if (isWordCharacter(code)) {
            if (!inWord)
                word.begin(start);
            inWord = true;
            word.add(code);
            wordEnd = at;
        } else if (inWord && isCombiningMark(code)) {
            wordEnd = at;
        } else if (inWord) {
            sendWord(word, wordEnd, stemming, sink);
            inWord = false;
        }
    }
    if (inWord)
        sendWord(word, wordEnd, stemming, sink);
}

TokenList::TokenList(std::string_view utf8)
{
    tokenize(utf8, Stemming::Full, [this](std::string_view token, int start, int end) {
        m_entries.push_back({unsigned(m_tokens.size()), unsigned(token.size()), start, end});
        m_tokens += token;
    });
}

namespace {

// The tokens prepared for the document FTS5 takes next on this thread.
struct Prepared
{
    std::string_view text;
    const TokenList *tokens = nullptr;
};
thread_local Prepared prepared;

}  // namespace

PreparedTokens::PreparedTokens(std::string_view utf8, const TokenList &tokens)
{
    prepared = {utf8, &tokens};
}

PreparedTokens::~PreparedTokens()
{
    prepared = {};
}

namespace {

// FTS5's side of the tokenizer: it has no settings, so one instance serves.
int createTokenizer(void *, const char **, int, Fts5Tokenizer **tokenizer)
{
    static int instance = 0;
    *tokenizer = reinterpret_cast<Fts5Tokenizer *>(&instance);
    return SQLITE_OK;
}

void deleteTokenizer(Fts5Tokenizer *) {}

int tokenizeForFts5(Fts5Tokenizer *, void *context, int flags, const char *text, int length,
                    int (*token)(void *, int, const char *, int, int, int))
{
    const std::string_view document(text, size_t(length));
    if (prepared.tokens && flags == FTS5_TOKENIZE_DOCUMENT && document == prepared.text)
        return prepared.tokens->forEach([&](std::string_view word, int start, int end) {
            return token(context, 0, word.data(), int(word.size()), start, end);
        });
    int result = SQLITE_OK;
    // Prefixes are matched unstemmed. Snippets take only the words' places
    // from their tokens, which stemming leaves as they are: unstemmed, a
    // snippet costs a third less.
    const Stemming stemming =
        (flags & (FTS5_TOKENIZE_PREFIX | FTS5_TOKENIZE_AUX)) != 0 ? Stemming::None : Stemming::Full;
    tokenize(document, stemming, [&](std::string_view word, int start, int end) {
        if (result == SQLITE_OK)
            result = token(context, 0, word.data(), int(word.size()), start, end);
    });
    return result;
}

fts5_api *fts5Of(sqlite3 *db)
{
    fts5_api *api = nullptr;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_bind_pointer(statement, 1, static_cast<void *>(&api), "fts5_api_ptr", nullptr);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    return api;
}

}  // namespace

bool registerTokenizer(sqlite3 *db)
{
    fts5_api *api = fts5Of(db);
    if (!api)
        return false;
    static fts5_tokenizer tokenizer{createTokenizer, deleteTokenizer, tokenizeForFts5};
    return api->xCreateTokenizer(api, TokenizerName, nullptr, &tokenizer, nullptr) == SQLITE_OK;
}

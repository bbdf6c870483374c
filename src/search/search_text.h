#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct Fts5Tokenizer;

namespace kestrow {

// A byte range of a text.
struct TTextMark {
    std::size_t Start = 0;
    std::size_t Length = 0;
};

// One word of a text as the index sees it: folded (small letters, accents removed) and where it
// stands in the text.
struct TTextToken {
    std::string Folded;
    TTextMark Mark;
};

// SQLite's own "unicode61" tokenizer with diacritics removed, so that a query, the index and the
// marked snippets fold every text alike ("Zoë" and "ZOE" are one word).
class TTextTokenizer {
public:
    explicit TTextTokenizer(sqlite3* db); // the database must outlive the tokenizer
    TTextTokenizer(const TTextTokenizer&) = delete;
    TTextTokenizer& operator=(const TTextTokenizer&) = delete;
    ~TTextTokenizer();

    bool IsValid() const { return FTokenizer != nullptr; }
    std::vector<TTextToken> Tokens(std::string_view text) const;

private:
    struct TApi;
    TApi* FApi = nullptr;
    Fts5Tokenizer* FTokenizer = nullptr;
};

// The digits of a text that reads as a phone number (digits, blanks and "+()-./" only, three digits
// at least); empty otherwise.
std::string PhoneQueryDigits(std::string_view text);
// The digits of each number in `numbers` (several separated by ","), as words every tail of which
// is a word of its own ("zqz5551234567 zqz551234567 ..."), so that a digit sequence found anywhere
// inside a number is a prefix match.
std::string PhoneIndexWords(std::string_view numbers);
constexpr std::string_view kPhoneWordPrefix = "zqz";
// Where `digits` occurs digit-wise in `text`: from its first to its last digit; Length 0 when not.
TTextMark PhoneMatch(std::string_view text, std::string_view digits);

// A short piece of `text` around the first mark, on one line: marks are moved into it and those
// outside it dropped; "…" stands where the text was cut.
struct TSnippet {
    std::string Text;
    std::vector<TTextMark> Marks;
};
TSnippet MakeSnippet(std::string_view text, const std::vector<TTextMark>& marks);

} // namespace kestrow

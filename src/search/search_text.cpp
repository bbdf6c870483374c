#include "search/search_text.h"

#include <algorithm>
#include <memory>

#include <sqlite3.h>

namespace kestrow {

struct TTextTokenizer::TApi {
    fts5_tokenizer Methods{};
};

namespace {

fts5_api* Fts5Api(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(statement, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
    return api;
}

int CollectToken(void* context, int /*flags*/, const char* token, int tokenLength, int start, int end) {
    auto* tokens = static_cast<std::vector<TTextToken>*>(context);
    tokens->push_back({std::string(token, static_cast<std::size_t>(tokenLength)),
                       {static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)}});
    return SQLITE_OK;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr std::size_t kMinPhoneDigits = 3;
constexpr std::size_t kMaxPhoneDigits = 20;
constexpr std::size_t kSnippetBefore = 40; // bytes of text kept before the first mark
constexpr std::size_t kSnippetLength = 160;
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

TTextTokenizer::TTextTokenizer(sqlite3* db) {
    fts5_api* api = Fts5Api(db);
    void* context = nullptr;
    auto methods = std::make_unique<TApi>();
    if (api == nullptr || api->xFindTokenizer(api, "unicode61", &context, &methods->Methods) != SQLITE_OK) {
        return;
    }
    const char* arguments[] = {"remove_diacritics", "2"};
    if (methods->Methods.xCreate(context, arguments, 2, &FTokenizer) != SQLITE_OK) {
        FTokenizer = nullptr;
        return;
    }
    FApi = methods.release();
}

TTextTokenizer::~TTextTokenizer() {
    if (FTokenizer != nullptr) {
        FApi->Methods.xDelete(FTokenizer);
    }
    delete FApi;
}

std::vector<TTextToken> TTextTokenizer::Tokens(std::string_view text) const {
    std::vector<TTextToken> tokens;
    if (FTokenizer != nullptr && !text.empty() && text.size() < static_cast<std::size_t>(INT32_MAX)) {
        FApi->Methods.xTokenize(FTokenizer, &tokens, FTS5_TOKENIZE_DOCUMENT, text.data(),
                                static_cast<int>(text.size()), CollectToken);
    }
    return tokens;
}

std::string PhoneQueryDigits(std::string_view text) {
    std::string digits;
    for (char c : text) {
        if (IsDigit(c)) {
            digits += c;
        } else if (std::string_view(" +()-./").find(c) == std::string_view::npos) {
            return {};
        }
    }
    // A number typed the national way ("07700 900123") starts with a trunk prefix the stored
    // international form ("+44 7700 900123") does not hold.
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    return digits.size() >= kMinPhoneDigits ? digits.substr(0, kMaxPhoneDigits) : std::string();
}

std::string PhoneIndexWords(std::string_view numbers) {
    std::string words;
    std::string digits;
    const auto flush = [&] {
        digits.resize(std::min(digits.size(), kMaxPhoneDigits));
        for (std::size_t i = 0; digits.size() >= kMinPhoneDigits && i + kMinPhoneDigits <= digits.size();
             ++i) {
            words += ' ';
            words += kPhoneWordPrefix;
            words.append(digits, i);
        }
        digits.clear();
    };
    for (char c : numbers) {
        if (c == ',') {
            flush();
        } else if (IsDigit(c)) {
            digits += c;
        }
    }
    flush();
    return words;
}

TTextMark PhoneMatch(std::string_view text, std::string_view digits) {
    std::string all;
    std::vector<std::size_t> at; // the byte of each digit
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsDigit(text[i])) {
            all += text[i];
            at.push_back(i);
        }
    }
    const std::size_t found = digits.empty() ? std::string::npos : all.find(digits);
    if (found == std::string::npos) {
        return {};
    }
    const std::size_t start = at[found];
    return {start, at[found + digits.size() - 1] + 1 - start};
}

TSnippet MakeSnippet(std::string_view text, const std::vector<TTextMark>& marks) {
    const std::size_t first = marks.empty() ? 0 : marks.front().Start;
    std::size_t start = first > kSnippetBefore ? first - kSnippetBefore : 0;
    while (start > 0 && start < text.size() && IsContinuationByte(text[start])) {
        ++start; // never inside a character
    }
    std::size_t end = std::min(text.size(), std::max(start + kSnippetLength, first));
    while (end < text.size() && IsContinuationByte(text[end])) {
        ++end;
    }
    TSnippet snippet;
    const std::size_t shift = start > 0 ? kEllipsis.size() : 0;
    snippet.Text = start > 0 ? std::string(kEllipsis) : std::string();
    snippet.Text.append(text.substr(start, end - start));
    std::replace_if(
        snippet.Text.begin(), snippet.Text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; },
        ' ');
    if (end < text.size()) {
        snippet.Text += kEllipsis;
    }
    for (const TTextMark& mark : marks) {
        if (mark.Start >= start && mark.Start + mark.Length <= end) {
            snippet.Marks.push_back({mark.Start - start + shift, mark.Length});
        }
    }
    return snippet;
}

} // namespace kestrow

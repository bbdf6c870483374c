#include "support/csv_reader.h"

namespace kestrow::test {

namespace {

enum class TState { FieldStart, Unquoted, Quoted, QuoteInQuoted };

} // namespace

std::optional<std::vector<std::vector<std::string>>> ReadCsv(std::string_view text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    TState state = TState::FieldStart;
    const auto endField = [&] {
        record.push_back(std::move(field));
        field.clear();
        state = TState::FieldStart;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (state == TState::Quoted) {
            c == '"' ? void(state = TState::QuoteInQuoted) : void(field += c);
            continue;
        }
        if (state == TState::QuoteInQuoted && c == '"') {
            field += '"';
            state = TState::Quoted;
            continue;
        }
        if (c == ',') {
            endField();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            endField();
            records.push_back(std::move(record));
            record.clear();
            ++i;
        } else if (state == TState::QuoteInQuoted || (c == '"' && state == TState::Unquoted)) {
            return std::nullopt;
        } else if (c == '"') {
            state = TState::Quoted;
        } else {
            field += c;
            state = TState::Unquoted;
        }
    }
    if (state == TState::Quoted) {
        return std::nullopt;
    }
    if (state != TState::FieldStart || !record.empty()) {
        endField();
        records.push_back(std::move(record));
    }
    return records;
}

} // namespace kestrow::test

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow::test {

// voicemail.db as devices create it.
struct TVoicemailRow {
    std::int64_t RowId;
    std::string Sender;
    std::int64_t Date; // seconds since 1970
    std::int64_t Duration;
    std::int64_t Flags = 3;
};
std::string VoicemailSql(const std::vector<TVoicemailRow>& rows);

} // namespace kestrow::test

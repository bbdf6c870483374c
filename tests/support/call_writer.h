#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow::test {

// One call row of either store.
struct TCallRow {
    std::string Address;
    double Date;           // seconds since 2001 (storedata) or 1970 (call_history.db)
    std::int64_t Duration; // seconds
    // CallHistory.storedata
    std::int64_t Originated = 0;
    std::int64_t Answered = 1;
    std::int64_t CallType = 1; // 1 voice, 8 and 16 FaceTime
    // call_history.db
    std::int64_t Flags = 4;
    std::int64_t ContactId = -1;
};

// CallHistory.storedata (Core Data, table ZCALLRECORD) and call_history.db (table call), as devices
// create them.
std::string CallHistoryStoreDataSql(const std::vector<TCallRow>& calls);
std::string CallHistoryDbSql(const std::vector<TCallRow>& calls);

} // namespace kestrow::test

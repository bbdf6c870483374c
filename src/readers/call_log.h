#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow {

// Kinds of call.
enum TCallKind : std::int32_t {
    ckUnknown = -1,       // a call_history.db flags value not known
    ckIncoming = 0,       // voice, answered
    ckOutgoing = 1,       // voice
    ckMissed = 2,         // voice
    ckFaceTimeIn = 3,     // FaceTime, answered
    ckFaceTimeOut = 4,    // FaceTime
    ckFaceTimeMissed = 5, // FaceTime
    ckNotConnected = 6,   // outgoing, never connected (CallHistory.storedata only)
};

// One call.
struct TCallItem {
    std::string DisplayName; // filled in from the contacts by the session
    std::string Address;
    std::int64_t RawDate = 0;  // whole stored seconds
    std::int64_t Duration = 0; // seconds
    std::int32_t CallKind = ckUnknown;
    std::int32_t ContactId = -1; // call_history.db's contact record id; -1 from CallHistory.storedata
    double Date = 0;             // local day count; 0 when none
    std::string DurationText;
};

// The call history of CallHistory.storedata (table ZCALLRECORD) or call_history.db (table call),
// told apart by the table found; read whole in the constructor, in table row order. Database errors
// raise ESQLiteException out of the constructor.
class TCallLog {
public:
    TCallLog(const std::string& fileName, int utcOffset);

    int Count() const { return static_cast<int>(FCalls.size()); }
    // Null when the index is out of range.
    TCallItem* Calls(int index);
    const std::vector<TCallItem>& List() const { return FCalls; }

    bool NamesResolved = false;

private:
    void ReadStoreData(class TSQLiteDatabase& db);
    void ReadCallHistoryDb(class TSQLiteDatabase& db);

    std::string FFileName;
    int FUtcOffset = 0;
    std::vector<TCallItem> FCalls;
};

// The kind of a CallHistory.storedata row, and of a call_history.db flags value.
std::int32_t StoreDataCallKind(std::int64_t originated, std::int64_t answered, std::int64_t type,
                               std::int64_t duration);
std::int32_t CallHistoryDbKind(std::int64_t flags, std::int64_t duration);

} // namespace kestrow

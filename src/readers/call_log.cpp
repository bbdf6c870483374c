#include "readers/call_log.h"

#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/record_text.h"
#include "readers/sqlite_database.h"

namespace kestrow {

namespace {

// The stored seconds as the record keeps them (unsigned 32 bits) and the local date of them.
void SetDate(TCallItem& call, double stored, int utcOffset, double epochDays) {
    call.RawDate = static_cast<std::uint32_t>(DeviceSeconds(stored));
    call.Date = call.RawDate == 0 ? 0 : (static_cast<double>(call.RawDate + utcOffset) / 86400.0 + epochDays);
}

} // namespace

std::int32_t StoreDataCallKind(std::int64_t originated, std::int64_t answered, std::int64_t type,
                               std::int64_t duration) {
    if (originated != 0) {
        if (duration == 0) {
            return ckNotConnected;
        }
        return type > 1 ? ckFaceTimeOut : ckOutgoing;
    }
    const bool missed = answered == 0 && duration == 0;
    if (type > 1) {
        return missed ? ckFaceTimeMissed : ckFaceTimeIn;
    }
    return missed ? ckMissed : ckIncoming;
}

std::int32_t CallHistoryDbKind(std::int64_t flags, std::int64_t duration) {
    switch (flags) {
    case 0:
    case 4:
        return duration == 0 ? ckMissed : ckIncoming;
    case 5:
    case 9:
        return ckOutgoing;
    case 16:
    case 20:
    case 64:
        return duration == 0 ? ckFaceTimeMissed : ckFaceTimeIn;
    case 17:
    case 21:
    case 65:
        return ckFaceTimeOut;
    default:
        return ckUnknown;
    }
}

TCallLog::TCallLog(const std::string& fileName, int utcOffset) : FFileName(fileName), FUtcOffset(utcOffset) {
    if (!FileExists(fileName)) {
        return;
    }
    const auto db = OpenDeviceDatabase(fileName);
    if (db->TableExists("ZCALLRECORD")) {
        ReadStoreData(*db);
    } else {
        ReadCallHistoryDb(*db);
    }
}

TCallItem* TCallLog::Calls(int index) {
    return index >= 0 && index < Count() ? &FCalls[static_cast<std::size_t>(index)] : nullptr;
}

void TCallLog::ReadStoreData(TSQLiteDatabase& db) {
    const auto table = db.GetTable("SELECT * FROM ZCALLRECORD");
    const int address = table->FieldIndex("ZADDRESS");
    const int date = table->FieldIndex("ZDATE");
    const int duration = table->FieldIndex("ZDURATION");
    const int originated = table->FieldIndex("ZORIGINATED");
    const int answered = table->FieldIndex("ZANSWERED");
    const int type = table->FieldIndex("ZCALLTYPE");
    for (; !table->Eof(); table->Next()) {
        TCallItem call;
        call.Address = table->FieldAsString(address);
        SetDate(call, table->FieldAsDouble(date), FUtcOffset, kDeviceEpochDays);
        call.Duration = table->FieldAsInteger(duration);
        call.CallKind = StoreDataCallKind(table->FieldAsInteger(originated), table->FieldAsInteger(answered),
                                          table->FieldAsInteger(type), call.Duration);
        call.DurationText = DurationText(call.Duration);
        call.ContactId = -1;
        FCalls.push_back(std::move(call));
    }
}

void TCallLog::ReadCallHistoryDb(TSQLiteDatabase& db) {
    const auto table = db.GetTable("SELECT * FROM call");
    const int id = table->FieldIndex("id");
    const int address = table->FieldIndex("address");
    const int date = table->FieldIndex("date");
    const int duration = table->FieldIndex("duration");
    const int flags = table->FieldIndex("flags");
    for (; !table->Eof(); table->Next()) {
        TCallItem call;
        call.Address = table->FieldAsString(address);
        SetDate(call, table->FieldAsDouble(date), FUtcOffset, kUnixEpochDays);
        call.Duration = table->FieldAsInteger(duration);
        call.CallKind = CallHistoryDbKind(table->FieldAsInteger(flags), call.Duration);
        call.ContactId = static_cast<std::int32_t>(table->FieldAsInteger(id));
        call.DurationText = DurationText(call.Duration);
        FCalls.push_back(std::move(call));
    }
}

} // namespace kestrow

#include "readers/voicemail.h"

#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/record_text.h"
#include "readers/sqlite_database.h"

namespace kestrow {

std::string TVoiceMailItem::AudioPath() const {
    return "Library/Voicemail/" + std::to_string(RowId) + ".amr";
}

TVoiceMail::TVoiceMail(const std::string& fileName, int utcOffset) : FUtcOffset(utcOffset) {
    if (!FileExists(fileName)) {
        return;
    }
    const auto db = OpenDeviceDatabase(fileName);
    const auto table = db->GetTable("SELECT * FROM voicemail");
    const int rowId = table->FieldIndex("ROWID");
    const int date = table->FieldIndex("date");
    const int sender = table->FieldIndex("sender");
    const int duration = table->FieldIndex("duration");
    const int flags = table->FieldIndex("flags");
    for (; !table->Eof(); table->Next()) {
        TVoiceMailItem item;
        item.RowId = static_cast<std::int32_t>(table->FieldAsInteger(rowId));
        item.Date = DeviceDate(table->FieldAsDouble(date), FUtcOffset, kUnixEpochDays);
        item.Sender = table->FieldAsString(sender);
        item.Duration = table->FieldAsInteger(duration);
        item.DurationText = DurationText(item.Duration);
        item.Flags = static_cast<std::int32_t>(table->FieldAsInteger(flags));
        FVoicemails.push_back(std::move(item));
    }
}

} // namespace kestrow

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow {

// One voicemail.
struct TVoiceMailItem {
    std::int32_t RowId = 0;
    std::string DisplayName; // filled in from the contacts by the session
    std::string Sender;
    double Date = 0; // local day count; 0 when none
    std::int32_t Flags = 0;
    std::int64_t Duration = 0; // seconds
    std::string DurationText;

    // "Library/Voicemail/<RowId>.amr": the message's audio file in the backup.
    std::string AudioPath() const;
};

// The voicemails of voicemail.db, read whole in the constructor in table row order. Database errors
// raise ESQLiteException.
class TVoiceMail {
public:
    TVoiceMail(const std::string& fileName, int utcOffset);

    int Count() const { return static_cast<int>(FVoicemails.size()); }
    TVoiceMailItem& Voicemails(int index) { return FVoicemails.at(static_cast<std::size_t>(index)); }
    const TVoiceMailItem& Voicemails(int index) const {
        return FVoicemails.at(static_cast<std::size_t>(index));
    }

    bool NamesResolved = false;

private:
    int FUtcOffset = 0;
    std::vector<TVoiceMailItem> FVoicemails;
};

} // namespace kestrow

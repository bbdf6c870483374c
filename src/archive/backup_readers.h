#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "readers/address_book.h"
#include "readers/calendar.h"
#include "readers/call_log.h"
#include "readers/notes.h"
#include "readers/photos.h"
#include "readers/safari.h"
#include "readers/short_message.h"
#include "readers/voicemail.h"

namespace kestrow {

// What became of a category's reader in the open backup.
enum class TCategoryState : std::uint8_t {
    NotLoaded, // not asked for yet
    Absent,    // the backup has no database for it
    Loaded,    // the reader read its database
    Failed,    // the database could not be read; Error says why
};

// The readers of the open backup, one per category, with the state of each. The session owns it and
// frees it before every other opening; each reader's working files live in a folder of their own.
class TBackupReaders {
public:
    static constexpr int kCategories = 9;

    TCategoryState State(int category) const;
    const std::string& Error(int category) const;
    void SetState(int category, TCategoryState state, std::string error = {});
    // Frees every reader; every category is NotLoaded again.
    void Close();

    std::unique_ptr<TAddressBook> AddressBook;
    std::unique_ptr<TShortMessage> Sms;
    std::unique_ptr<TCallLog> CallLog;
    std::unique_ptr<TCalendar> Calendar;
    std::unique_ptr<TNotes> Notes;
    std::unique_ptr<TSafari> Safari;
    std::unique_ptr<TVoiceMail> VoiceMail;
    std::unique_ptr<TPhotos> Photos;

private:
    struct TStatus {
        TCategoryState State = TCategoryState::NotLoaded;
        std::string Error;
    };
    std::array<TStatus, kCategories> FStatus{};
};

} // namespace kestrow

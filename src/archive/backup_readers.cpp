#include "archive/backup_readers.h"

namespace kestrow {

namespace {

const std::string kNoError;

} // namespace

TCategoryState TBackupReaders::State(int category) const {
    return category >= 0 && category < kCategories ? FStatus[static_cast<std::size_t>(category)].State
                                                   : TCategoryState::Absent;
}

const std::string& TBackupReaders::Error(int category) const {
    return category >= 0 && category < kCategories ? FStatus[static_cast<std::size_t>(category)].Error
                                                   : kNoError;
}

void TBackupReaders::SetState(int category, TCategoryState state, std::string error) {
    if (category >= 0 && category < kCategories) {
        FStatus[static_cast<std::size_t>(category)] = {state, std::move(error)};
    }
}

void TBackupReaders::Close() {
    AddressBook.reset();
    Sms.reset();
    CallLog.reset();
    Calendar.reset();
    Notes.reset();
    Safari.reset();
    VoiceMail.reset();
    Photos.reset();
    FStatus = {};
}

} // namespace kestrow

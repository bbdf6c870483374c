#pragma once

#include <string>
#include <vector>

#include "support/backup_writer.h"

namespace kestrow::test {

// The personal data of the demo backups, written as the devices of each generation write it.
// Databases are built in `work` (a scratch folder) and added to `files` with their device paths.
enum class TDemoGeneration {
    Old,     // iOS 5: older sms.db, call_history.db
    Mid,     // iOS 9: newer sms.db, CallHistory.storedata
    Current, // iOS 17: newer sms.db with nanosecond dates, attributedBody and a live WAL,
             // CallHistory.storedata, NoteStore.sqlite, Safari's History.db
};

void AddDemoContacts(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files);
void AddDemoMessages(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files);
void AddDemoCalls(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files);
void AddDemoCalendar(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files);
void AddDemoNotes(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files);
void AddDemoSafari(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files);
void AddDemoVoicemail(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files);

// What only the current-layout demo backups hold besides the Current generation's data: the
// conversations of AddDemoMessages with the named group "Lyon trip" (reactions, an emoji one, an
// edited, an unsent message, a reply, group events, a HEIC picture) and an SMS group; the notes of
// AddDemoNotes with "Packing for Lyon" (a checklist and a picture) in the folder "Travel"; and keys
// two files share: RootDomain's and HomeDomain's .GlobalPreferences.plist, and ChatStorage.sqlite of
// two app groups.
void AddDemoTodaysMessages(const std::string& work, std::vector<TTestFile>& files);
void AddDemoTodaysNotes(const std::string& work, std::vector<TTestFile>& files);
void AddDemoCollidingKeys(const std::string& work, std::vector<TTestFile>& files);

// An AMR-NB recording of `frames` 20 ms frames of silence, as the phone stores voicemail.
std::string AmrAudio(int frames);

} // namespace kestrow::test

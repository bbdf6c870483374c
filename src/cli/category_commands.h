#pragma once

#include <string>

#include "cli/cli_context.h"

namespace kestrow {

// Exit code of a category whose database could not be read (the reason goes to stderr).
constexpr int kExitCategoryFailed = 66;

// The personal data of one backup, per category: one readable line per record, or with `json` an
// array of records in reader order (camelCase fields, dates in ISO 8601 with their UTC offset or
// null, texts exactly as stored).
int RunContacts(const TCliOptions& options, int index, bool json);
int RunCalls(const TCliOptions& options, int index, bool json);
int RunCalendar(const TCliOptions& options, int index, bool json);
// Locked notes are opened with the candidates of ReadNotePasswords first.
int RunNotes(const TCliOptions& options, int index, bool json, const std::string& notesPasswordFile);
// Opens the locked notes with the candidate passwords; says on stderr which notes stay locked and
// why. False (after saying why) when the password file cannot be read.
bool OpenLockedNotes(TNotes& notes, const std::string& notesPasswordFile);
int RunSafari(const TCliOptions& options, int index, bool json);
int RunVoicemail(const TCliOptions& options, int index, bool json);
int RunMessages(const TCliOptions& options, int index, bool json);

} // namespace kestrow

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
int RunNotes(const TCliOptions& options, int index, bool json);
int RunSafari(const TCliOptions& options, int index, bool json);
int RunVoicemail(const TCliOptions& options, int index, bool json);
int RunMessages(const TCliOptions& options, int index, bool json);

} // namespace kestrow

#pragma once

#include <string>

#include <sqlite3.h>

#include "platform/temp_folder.h"

namespace kestrow::bench {

// A newer-schema sms.db of 1,000,000 messages in 20,000 conversations (every tenth a group chat)
// with 50,000 attachments, written once into a temporary folder.
constexpr int kMessages = 1'000'000;
constexpr int kChats = 20'000;
constexpr int kAttachments = 50'000;

// With `today`, the iOS 16-18 schema, where 200,000 of the rows are reactions to the row before
// them and 20,000 messages were edited (a message_summary_info with two earlier versions each).
constexpr int kReactions = 200'000;
constexpr int kEdits = 20'000;

struct TSmsBenchDatabase {
    TTempFolder Folder;
    std::string Path = Folder.Path() + "sms.db";
    explicit TSmsBenchDatabase(bool today = false);
};

// Writes a plain current-layout backup folder `folderName` under `root` holding the database and,
// with `attachments`, the attachment files it names.
void WriteSmsBenchBackup(const std::string& root, const std::string& folderName, bool attachments);

} // namespace kestrow::bench

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

// Export categories, numbered as the export dialog knows them.
enum TExportCategory : int {
    ecContacts = 0,
    ecMessages = 1,
    ecCalls = 2,
    ecNotes = 3,
    ecCalendar = 4,
    ecSafari = 5,
    ecVoicemail = 6,
    ecFiles = 7,
    ecPhotos = 8,
};
constexpr int kExportCategoryCount = 9;

// What the dialog and the command line show of a category: its formats in the order of their codes.
struct TExportCategoryInfo {
    const char* CliName;
    const char* Title;        // the dialog's caption
    const char* Unit;         // " contact": begins with a blank
    const char* EmptyMessage; // the view's information when it has no rows
    std::vector<const char*> Formats;
};

const TExportCategoryInfo& ExportCategoryInfo(int category);

// The category of a command-line name, or -1.
int FindExportCategory(std::string_view cliName);

// The format code of `text`: a code in decimal, or the start of a format's text (ASCII letters in
// any case); -1 when it names none or more than one.
int FindExportFormat(int category, std::string_view text);

// The caption of the dialog's Export button for `selected` rows (0: all).
std::string ExportButtonCaption(int category, int selected);

} // namespace kestrow

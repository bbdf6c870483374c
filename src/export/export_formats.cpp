#include "export/export_formats.h"

#include <charconv>

#include "platform/text.h"

namespace kestrow {

namespace {

const TExportCategoryInfo kCategories[kExportCategoryCount] = {
    {"contacts",
     "Export Address Book",
     " contact",
     "No contact to export.",
     {"VCard - Electronic business cards", "Single VCard - Save multiple contacts into a single VCard",
      "CSV - Comma-Separated values", "Only export contacts' photo"}},
    {"messages",
     "Export Messages",
     " message",
     "No message to export.",
     {"HTML - Web page", "MHT - Web archive, single large file", "Text only"}},
    {"calls",
     "Export Call History",
     " call",
     "No call history to export.",
     {"Text", "CSV - Comma-Separated values"}},
    {"notes", "Export Notes", " note", "No note to export.", {"Text", "HTML - Web page"}},
    {"calendar", "Export Calendar Events", " event", "No event to export.", {"Text"}},
    {"safari",
     "Export Safari Urls",
     " url",
     "No url to export.",
     {"CSV - Comma-Separated values", "Export to IE favoriates"}},
    {"voicemail", "Export Voicemail", " voicemail", "No voicemail to export.", {"Amr audio"}},
    {"files", "Export backup files", " file", "No file to export.", {"Files only", "Files with full path"}},
    {"photos",
     "Export Photos",
     " photo",
     "No photo to export.",
     {"Originals - The files as taken", "JPEG - HEIC pictures converted"}},
};

} // namespace

const TExportCategoryInfo& ExportCategoryInfo(int category) {
    return kCategories[category >= 0 && category < kExportCategoryCount ? category : 0];
}

int FindExportCategory(std::string_view cliName) {
    for (int i = 0; i < kExportCategoryCount; ++i) {
        if (cliName == kCategories[i].CliName) {
            return i;
        }
    }
    return -1;
}

int FindExportFormat(int category, std::string_view text) {
    const std::vector<const char*>& formats = ExportCategoryInfo(category).Formats;
    int code = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code);
    if (error == std::errc() && end == text.data() + text.size()) {
        return code >= 0 && code < static_cast<int>(formats.size()) ? code : -1;
    }
    int found = -1;
    for (int i = 0; i < static_cast<int>(formats.size()) && !text.empty(); ++i) {
        if (SameTextAscii(std::string_view(formats[i]).substr(0, text.size()), text)) {
            if (found >= 0) {
                return -1;
            }
            found = i;
        }
    }
    return found;
}

std::string ExportButtonCaption(int category, int selected) {
    const std::string unit = ExportCategoryInfo(category).Unit;
    if (selected == 0) {
        return "Export all" + unit + "s";
    }
    return "Export selected " + std::to_string(selected) + unit + (selected == 1 ? "" : "s");
}

} // namespace kestrow

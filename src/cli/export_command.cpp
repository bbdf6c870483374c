// kestrow-cli export: one category of a backup written in one of its formats, as the desktop
// program's export dialog writes it.
#include "cli/export_command.h"

#include <charconv>
#include <chrono>
#include <fstream>
#include <iostream>

#include <fmt/format.h>

#include "archive/photo_library.h"
#include "cli/category_commands.h"
#include "cli/display_text.h"
#include "cli/progress_line.h"
#include "cli/stop_signals.h"
#include "export/backup_files_export.h"
#include "export/calendar_export.h"
#include "export/calls_export.h"
#include "export/contacts_export.h"
#include "export/export_formats.h"
#include "export/messages_export.h"
#include "export/notes_export.h"
#include "export/photos_export.h"
#include "export/safari_export.h"
#include "export/voicemail_export.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "readers/address_book.h"
#include "readers/calendar.h"
#include "readers/call_log.h"
#include "readers/notes.h"
#include "readers/safari.h"
#include "readers/short_message.h"
#include "readers/voicemail.h"

namespace kestrow {

namespace {

constexpr int kSessionCategory[kExportCategoryCount] = {catContacts,   catMessages, catCalls,
                                                        catNotes,      catCalendar, catBookmarks,
                                                        catVoicemails, catFiles,    catPhotos};

std::string CategoryNames() {
    std::string names;
    for (int c = 0; c < kExportCategoryCount; ++c) {
        names += (c == 0 ? "" : ", ") + std::string(ExportCategoryInfo(c).CliName);
    }
    return names;
}

std::string FormatList(int category) {
    std::string list;
    const auto& formats = ExportCategoryInfo(category).Formats;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        list += fmt::format("  {} {}\n", i, formats[i]);
    }
    return list;
}

// Record indexes from "2,0,5": each below `count`; nothing (with the reason on stderr) otherwise.
std::optional<std::vector<int>> ParseRows(const std::string& list, int count) {
    std::vector<int> rows;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(',', start), list.size());
        const std::string_view item = std::string_view(list).substr(start, end - start);
        int row = -1;
        const auto [ptr, error] = std::from_chars(item.data(), item.data() + item.size(), row);
        if (error != std::errc() || ptr != item.data() + item.size() || row < 0 || row >= count) {
            std::cerr << fmt::format("--rows: \"{}\" is no record index (0 to {}).\n", EscapeText(item),
                                     count - 1);
            return std::nullopt;
        }
        rows.push_back(row);
        start = end + 1;
    }
    return rows;
}

// Table keys, one per line, from a file or "-" (standard input), as `files` prints them.
std::optional<std::vector<std::string>> ReadKeys(const TIpodBackup& session, const std::string& source) {
    std::ifstream file;
    if (source != "-") {
        file.open(source);
        if (!file) {
            std::cerr << fmt::format("--rows: cannot read {}: {}\n", EscapeText(source), ErrorText(errno));
            return std::nullopt;
        }
    }
    std::istream& in = source == "-" ? std::cin : file;
    std::vector<std::string> keys;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) {
            continue;
        }
        std::string unescaped;
        const std::string* key = FindKey(session, line, unescaped);
        if (key == nullptr) {
            std::cerr << "No file " << EscapeText(line) << " in this backup.\n";
            return std::nullopt;
        }
        keys.push_back(*key);
    }
    return keys;
}

// The number of records a category has in reader order, loading its reader; -1 when it failed.
int RecordCount(TIpodBackup& session, int category) {
    switch (category) {
    case ecContacts:
        return session.LoadContacts() ? session.LoadContacts()->Count() : 0;
    case ecMessages:
        return session.LoadMessages() ? session.LoadMessages()->GroupCount() : 0;
    case ecCalls:
        return session.LoadCallLog() ? session.LoadCallLog()->Count() : 0;
    case ecNotes:
        return session.LoadNotes() ? session.LoadNotes()->Count() : 0;
    case ecCalendar:
        return session.LoadCalendar() ? session.LoadCalendar()->Count() : 0;
    case ecSafari:
        return session.LoadSafari() ? static_cast<int>(SafariRows(*session.LoadSafari()).size()) : 0;
    case ecVoicemail:
        return session.LoadVoiceMail() ? session.LoadVoiceMail()->Count() : 0;
    case ecPhotos:
        return LoadPhotos(session) ? LoadPhotos(session)->Count() : 0;
    default:
        return static_cast<int>(session.Files().Size());
    }
}

std::vector<int> AllRows(TIpodBackup& session, int category, int count) {
    if (category == ecMessages) {
        return ListedConversations(*session.LoadMessages());
    }
    std::vector<int> rows(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        rows[static_cast<std::size_t>(i)] = i;
    }
    return rows;
}

TExportResult Export(TIpodBackup& session, int category, int format, const std::vector<int>& rows,
                     const std::vector<std::string>& keys, const TExportRequest& request,
                     const TExportControl& control) {
    const std::string& dest = request.Dest;
    switch (category) {
    case ecContacts:
        return ExportContacts(session, rows, format, dest, control);
    case ecMessages: {
        const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count();
        return ExportMessages(session, rows, format, dest, DateTimeText(UnixMsToLocalDays(nowMs)), control);
    }
    case ecCalls:
        return ExportCalls(session, rows, format, dest, control);
    case ecNotes:
        return ExportNotes(session, rows, format, dest, control);
    case ecCalendar:
        return ExportCalendar(session, rows, dest, control);
    case ecSafari: {
        const std::vector<TSafariRow> listed = SafariRows(*session.LoadSafari());
        std::vector<TSafariRow> chosen;
        for (const int row : rows) {
            chosen.push_back(listed[static_cast<std::size_t>(row)]);
        }
        return ExportSafari(session, chosen, format, dest, control);
    }
    case ecVoicemail:
        return ExportVoicemail(session, rows, dest, control);
    case ecPhotos:
        return ExportPhotos(session, rows, format, dest, request.ByMonth, control);
    default:
        return ExportBackupFiles(session, keys, format, dest, control);
    }
}

int Report(const TIpodBackup& session, const TExportResult& result, const std::string& dest) {
    if (result.FolderError != 0) {
        std::cerr << fmt::format("Cannot write to {}: {}\n", EscapeText(dest),
                                 DestinationErrorText(session, dest, result.FolderError));
        return kExitFailure;
    }
    for (const TExportFailure& failure : result.Failures) {
        std::cerr << fmt::format("failed: {}: {}\n", EscapeText(failure.Target),
                                 failure.Reason.empty() ? ErrorText(failure.Error)
                                                        : EscapeText(failure.Reason));
    }
    if (result.Stopped && TStopSignals::ExitCode() != 0) {
        std::cerr << fmt::format("Stopped after {} exported.\n", result.Count);
        return TStopSignals::ExitCode();
    }
    std::cout << result.Count << " exported\n" << EscapeText(WithTrailingSlash(dest)) << '\n';
    return result.Failures.empty() ? 0 : kExitFailure;
}

} // namespace

int RunExport(const TCliOptions& options, const TExportRequest& request) {
    const int category = FindExportCategory(request.Category);
    if (category < 0) {
        std::cerr << fmt::format("Unknown category \"{}\"; one of {}.\n", EscapeText(request.Category),
                                 CategoryNames());
        return kExitUsage;
    }
    const int format = FindExportFormat(category, request.Format.empty() ? "0" : request.Format);
    if (format < 0) {
        std::cerr << fmt::format("--format \"{}\" names no single format of {}:\n{}",
                                 EscapeText(request.Format), request.Category, FormatList(category));
        return kExitUsage;
    }
    if (!RequireDestination(request.Dest)) {
        return kExitUsage;
    }
    const TOpenedSession opened = OpenSession(options, request.Index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    const int count = RecordCount(session, category);
    if (session.CategoryState(kSessionCategory[category]) == TCategoryState::Failed) {
        std::cerr << EscapeText(session.CategoryError(kSessionCategory[category])) << '\n';
        return kExitCategoryFailed;
    }
    std::vector<int> rows;
    std::vector<std::string> keys;
    if (category == ecFiles && !request.Rows.empty()) {
        auto read = ReadKeys(session, request.Rows);
        if (!read) {
            return kExitUsage;
        }
        keys = std::move(*read);
    } else if (category == ecFiles) {
        for (const auto& [key, file] : session.Files()) {
            keys.push_back(key);
        }
    } else if (!request.Rows.empty()) {
        auto parsed = ParseRows(request.Rows, count);
        if (!parsed) {
            return kExitUsage;
        }
        rows = std::move(*parsed);
    } else {
        rows = AllRows(session, category, count);
    }
    if (rows.empty() && keys.empty()) {
        std::cout << ExportCategoryInfo(category).EmptyMessage << '\n';
        return 0;
    }
    if (category == ecNotes && !OpenLockedNotes(*session.LoadNotes(), request.NotesPasswordFile)) {
        return kExitUsage; // locked notes are exported only when opened
    }
    TProgressLine progress("exported");
    TExportControl control;
    control.Stop = TStopSignals::Token();
    control.Step = [&](std::size_t done, std::size_t total) { progress.Show(done, total, 0); };
    const TExportResult result = Export(session, category, format, rows, keys, request, control);
    progress.Finish();
    return Report(session, result, request.Dest);
}

} // namespace kestrow

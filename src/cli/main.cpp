// kestrow-cli: lists, opens and extracts the device backups on this machine.
#include <clocale>
#include <iostream>

#include <CLI/CLI.hpp>

#include "cli/category_commands.h"
#include "cli/check_command.h"
#include "cli/commands.h"
#include "cli/display_text.h"
#include "cli/export_command.h"
#include "cli/mount_command.h"
#include "cli/photo_command.h"
#include "cli/search_command.h"
#include "cli/stop_signals.h"
#include "readers/sqlite_database.h"

using namespace kestrow;

namespace {

int Run(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    CLI::App app{"Kestrow: browse and extract the device backups on this machine."};
    app.set_version_flag("--version", std::string("kestrow-cli ") + KESTROW_VERSION);
    app.require_subcommand(1);
    app.fallthrough(); // --root and --password-file may also follow the command
    app.footer("Exit codes: 0 done; opening a backup: 1 no such backup, 2 encrypted without a readable "
               "manifest, 3 wrong password, 4 no file in the manifest; 10 check found problems; 64 usage; "
               "65 a copy or export failed; 66 a category's database cannot be read; 73 no private "
               "temporary folder; 129, 130, 143 stopped by SIGHUP, SIGINT, SIGTERM.");
    TCliOptions options;
    app.add_option("--root", options.Root,
                   "Backup root folder (default: $KESTROW_BACKUP_ROOT or the usual place)");
    app.add_option("--password-file", options.PasswordFile,
                   "Read the backup password from the first line of FILE");

    int index = -1;
    bool json = false;
    int result = 0;

    auto* list = app.add_subcommand("list", "List every backup: index, device, date, identifier, encryption");
    list->add_flag("--json", json, "JSON output");
    list->callback([&] { result = RunList(options, json); });

    app.add_subcommand("device", "Show the state of the device link")->callback([&] {
        result = RunDevice();
    });

    auto* check = app.add_subcommand("check-password", "Check the password of an encrypted backup");
    check->add_option("INDEX", index, "Backup index")->required();
    check->callback([&] { result = RunCheckPassword(options, index); });

    auto* open = app.add_subcommand("open", "Open a backup and describe it");
    open->add_option("INDEX", index, "Backup index")->required();
    open->callback([&] { result = RunOpen(options, index); });

    std::string uniqueId;
    auto* refresh = app.add_subcommand(
        "refresh",
        "Replace the newest backup of a connected device with a fresh one (idevicebackup2), then open it");
    refresh->add_option("UDID", uniqueId, "The device's unique identifier")->required();
    refresh->callback([&] { result = RunRefresh(options, uniqueId); });

    bool appOnly = false;
    std::string type;
    auto* files = app.add_subcommand("files", "List the files of a backup");
    files->add_option("INDEX", index, "Backup index")->required();
    files->add_flag("--json", json, "JSON output");
    files->add_flag("--app", appOnly, "Only files of applications");
    files->add_option("--type", type, "Only files with this extension");
    files->callback([&] { result = RunFiles(options, index, json, appOnly, type); });

    std::string key;
    std::string dest;
    auto* extract = app.add_subcommand("extract", "Copy one file out of a backup, decrypted");
    extract->add_option("INDEX", index, "Backup index")->required();
    extract->add_option("KEY", key, "Device path of the file (as `files` lists it)")->required();
    extract->add_option("DEST", dest, "Target file or folder")->required();
    bool noTimes = false;
    extract->add_flag("--no-times", noTimes,
                      "Do not give the file the modification time the manifest records");
    extract->callback([&] { result = RunExtract(options, index, key, dest, noTimes); });

    bool flat = false;
    auto* extractAll = app.add_subcommand("extract-all", "Copy every file out of a backup, decrypted");
    extractAll->add_option("INDEX", index, "Backup index")->required();
    extractAll->add_option("DEST", dest, "Target folder")->required();
    auto* flatFlag =
        extractAll->add_flag("--flat", flat, "One folder, files named by their last path component");
    bool domains = false;
    extractAll->add_flag("--domains", domains, "Every file at Domain/relative path")->excludes(flatFlag);
    unsigned jobs = 0;
    extractAll->add_option("--jobs", jobs, "Files written at once (default: the number of cores, at least 2)")
        ->check(CLI::Range(1u, 256u));
    extractAll->add_flag("--no-times", noTimes,
                         "Do not give files the modification times the manifest records");
    extractAll->callback([&] { result = RunExtractAll(options, index, dest, flat, domains, jobs, noTimes); });

    auto* contacts = app.add_subcommand("contacts", "The contacts of a backup");
    contacts->add_option("INDEX", index, "Backup index")->required();
    contacts->add_flag("--json", json, "JSON output");
    contacts->callback([&] { result = RunContacts(options, index, json); });

    auto* calls = app.add_subcommand("calls", "The call history of a backup");
    calls->add_option("INDEX", index, "Backup index")->required();
    calls->add_flag("--json", json, "JSON output");
    calls->callback([&] { result = RunCalls(options, index, json); });

    auto* messages = app.add_subcommand("messages", "The conversations of a backup, with every message");
    messages->add_option("INDEX", index, "Backup index")->required();
    messages->add_flag("--json", json, "JSON output");
    messages->callback([&] { result = RunMessages(options, index, json); });

    const auto category = [&](const char* name, const char* description, auto run) {
        auto* command = app.add_subcommand(name, description);
        command->add_option("INDEX", index, "Backup index")->required();
        command->add_flag("--json", json, "JSON output");
        command->callback([&, run] { result = run(options, index, json); });
    };
    category("calendar", "The calendar events of a backup", RunCalendar);
    std::string notesPasswordFile;
    auto* notes =
        app.add_subcommand("notes", "The notes of a backup (locked ones opened with their password)");
    notes->add_option("INDEX", index, "Backup index")->required();
    notes->add_flag("--json", json, "JSON output");
    notes->add_option(
        "--notes-password-file", notesPasswordFile,
        "A file of candidate passwords of locked notes, one a line (or KESTROW_NOTES_PASSWORD)");
    notes->callback([&] { result = RunNotes(options, index, json, notesPasswordFile); });
    category("safari", "Safari's bookmarks and history in a backup", RunSafari);
    category("voicemail", "The voicemails of a backup", RunVoicemail);
    category("photos", "The pictures and videos of a backup's camera roll", RunPhotos);

    TExportRequest exportRequest;
    auto* exportCommand =
        app.add_subcommand("export", "Write one category of a backup in one of its export formats");
    exportCommand->add_option("INDEX", exportRequest.Index, "Backup index")->required();
    exportCommand
        ->add_option("CATEGORY", exportRequest.Category,
                     "contacts, messages, calls, notes, calendar, safari, voicemail, files or photos")
        ->required();
    exportCommand->add_option("DEST", exportRequest.Dest, "Destination folder")->required();
    exportCommand->add_option("--format", exportRequest.Format,
                              "Format code or the start of its text (default 0)");
    exportCommand->add_option(
        "--rows", exportRequest.Rows,
        "Record indexes in reader order, comma-separated (files: a file of keys, or -)");
    exportCommand->add_option("--notes-password-file", exportRequest.NotesPasswordFile,
                              "notes: a file of candidate passwords of locked notes, one a line");
    exportCommand->add_flag("--by-month", exportRequest.ByMonth, "photos: in YYYY/MM folders");
    exportCommand->callback([&] { result = RunExport(options, exportRequest); });

    bool deep = false;
    auto* checkBackup = app.add_subcommand("check", "Check that a backup is whole (exit 10 when it is not)");
    checkBackup->add_option("INDEX", index, "Backup index")->required();
    checkBackup->add_flag("--deep", deep, "Decrypt every file and check its padding and recorded digest");
    checkBackup->add_flag("--json", json, "JSON output");
    checkBackup->callback([&] { result = RunCheck(options, index, deep, json); });

    bool byDomain = false;
    auto* mount = app.add_subcommand("mount", "Show a backup's files as a read-only folder until unmounted");
    mount->add_option("INDEX", index, "Backup index")->required();
    mount->add_option("MOUNTPOINT", dest, "An empty folder")->required();
    mount->add_flag("--domains", byDomain, "Files as Domain/relative path");
    mount->callback([&] { result = RunMount(options, index, dest, byDomain); });
    // Search and timeline across every category.
    TSearchRequest searchRequest;
    std::string searchText;
    std::string from;
    std::string to;
    const auto searchOptions = [&](CLI::App* command) {
        command->add_option("INDEX", searchRequest.Index, "Backup index")->required();
        command->add_option(
            "--category", searchRequest.Categories,
            "Only this category (contacts, messages, calls, calendar, notes, safari, voicemail, "
            "files); repeatable");
        command->add_flag("--json", searchRequest.Json, "JSON output");
        command->add_option("--csv", searchRequest.Csv, "Write a new CSV file instead of printing");
    };
    auto* search =
        app.add_subcommand("search", "Find every record holding the words of a text, newest first");
    searchOptions(search);
    search->add_option("TEXT", searchText, "Words to find (case and accents do not matter)")->required();
    search->add_option("--notes-password-file", searchRequest.NotesPasswordFile,
                       "Candidate passwords of locked notes, one a line (or KESTROW_NOTES_PASSWORD)");
    search->callback([&] { result = RunSearch(options, searchRequest, searchText); });
    auto* timeline = app.add_subcommand("timeline", "Every dated record of a backup in date order");
    searchOptions(timeline);
    timeline->add_option("--from", from, "First date (ISO 8601, local unless a zone is given)");
    timeline->add_option("--to", to, "Last date (a bare date includes the whole day)");
    timeline->callback([&] { result = RunTimeline(options, searchRequest, from, to); });

    auto* log = app.add_subcommand("log", "Open a backup and print the problem log");
    log->add_option("INDEX", index, "Backup index")->required();
    log->callback([&] { result = RunLog(options, index); });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kExitUsage;
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    TStopSignals::Install();
    int result = kExitFailure;
    try {
        result = Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "kestrow-cli: " << EscapeText(e.what()) << '\n'; // it may quote a backup's text
    }
    ShutdownSQLite(); // every session and database is closed by now
    TStopSignals::Finished();
    // A command cut short by a signal ends with the signal's code whatever it returned.
    return TStopSignals::ExitCode() != 0 ? TStopSignals::ExitCode() : result;
}

#include <algorithm>
#include <cstring>
#include <iostream>
#include <unistd.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "archive/backup_read_thread.h"
#include "cli/commands.h"
#include "cli/display_text.h"
#include "cli/password_input.h"
#include "cli/progress_line.h"
#include "cli/stop_signals.h"
#include "crypto/key_bag.h"
#include "device/backup_tool.h"
#include "export/file_export.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/utf8.h"

namespace kestrow {

namespace {

std::string JsonDump(const nlohmann::ordered_json& value) {
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
}

std::string CategoriesPresent(const TIpodBackup& session) {
    std::string list;
    for (int c = catContacts; c <= catFiles; ++c) {
        if (session.HasCategory(c)) {
            list += list.empty() ? "" : ", ";
            list += CategoryName(c);
        }
    }
    return list;
}

bool MatchesFilter(const std::string& key, const TBackupFile& file, bool appOnly, const std::string& type) {
    if (appOnly && !file.IsApp) {
        return false;
    }
    return type.empty() || SameTextAscii(ExtensionOf(key), type.front() == '.' ? type.substr(1) : type);
}

} // namespace

int RunCheckPassword(const TCliOptions& options, int index) {
    int exitCode = 0;
    const auto session = MakeSession(options, exitCode);
    if (!session) {
        return exitCode;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= session->Backups().size()) {
        std::cerr << "No backup with index " << index << ".\n";
        return osNoBackup;
    }
    const TIphoneBackup& backup = session->Backups()[static_cast<std::size_t>(index)];
    if (!backup.IsEncrypted) {
        std::cerr << "This backup is not encrypted.\n";
        return 2;
    }
    TBackupKeyBag keyBag(backup.KeyBag, 0);
    if (keyBag.LastError() != kbeSuccess) {
        std::cerr << "The backup's keybag cannot be read (" << KeyBagErrorName(keyBag.LastError()) << ").\n";
        return 2;
    }
    std::string error;
    const auto password = ReadPassword(options.PasswordFile, error);
    if (!password) {
        std::cerr << error << '\n';
        return kExitUsage;
    }
    if (!keyBag.TestItunesPassword(*password)) {
        std::cout << "Wrong password.\n";
        return 3;
    }
    std::cout << "right\n";
    return 0;
}

int RunRefresh(const TCliOptions& options, const std::string& uniqueId) {
    int exitCode = 0;
    const auto session = MakeSession(options, exitCode);
    if (!session) {
        return exitCode;
    }
    int index = -1;
    FindNewestBackup(session->Backups(), uniqueId, index);
    if (index < 0) {
        std::cerr << TerminalText(
                         "Please back up your device in the iTunes.\rThen, run this program again to "
                         "read the content of created backup.")
                  << '\n';
        return osNoBackup;
    }
    const TIphoneBackup& backup = session->Backups()[static_cast<std::size_t>(index)];
    std::string password;
    if (backup.IsEncrypted) {
        std::string error;
        const auto typed = ReadPassword(options.PasswordFile, error);
        if (!typed || typed->empty()) {
            std::cerr << (typed ? "Please input the password." : error) << '\n';
            return kExitUsage;
        }
        password = *typed;
    }
    const std::string deviceName = backup.DeviceName;
    std::cerr << "Updating the backup, please wait ...\n";
    const auto tool = [&session](const std::string& id, std::string& errorText) {
        return RunBackupTool(BackupToolPath(), id, session->Root(), errorText);
    };
    const auto onTool = [&deviceName](bool ok, const std::string& errorText) {
        if (!ok) {
            std::cerr << EscapeText(errorText) << '\n'
                      << TerminalText("Cannot back up " + deviceName +
                                      ".\rPlease back up the device from iTunes.")
                      << '\n';
        }
        std::cerr << "Loading ...\n";
    };
    auto thread = TIpodBackReadThd::CreateForDevice(session.get(), AsciiLower(uniqueId), password, onTool, {},
                                                    true, tool);
    thread->Wait();
    const std::uint8_t status = thread->Result();
    if (status != osOpened) {
        std::cerr << TerminalText(OpenStatusText(status)) << '\n';
        return status;
    }
    std::cout << EscapeText(session->CurrentDeviceName()) << '\n' << session->CurrentBackupDate() << '\n';
    return 0;
}

int RunOpen(const TCliOptions& options, int index) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    const TIpodBackup& session = *opened.Session;
    std::cout << EscapeText(session.CurrentDeviceName()) << '\n'
              << session.CurrentBackupDate() << '\n'
              << session.Files().Size() << " files\n"
              << CategoriesPresent(session) << '\n';
    return 0;
}

int RunFiles(const TCliOptions& options, int index, bool json, bool appOnly, const std::string& type) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& [key, file] : opened.Session->Files()) {
        if (!MatchesFilter(key, file, appOnly, type)) {
            continue;
        }
        if (json) {
            nlohmann::ordered_json entry = {{"key", JsonText(key)},
                                            {"fileName", JsonText(file.FileName)},
                                            {"size", file.Size},
                                            {"isApp", file.IsApp},
                                            {"encrypted", !file.Key.empty()}};
            if (!IsValidUtf8(key)) {
                entry["keyEscaped"] = true;
            }
            list.push_back(std::move(entry));
        } else {
            std::cout << EscapeText(key) << '\t' << EscapeText(file.FileName) << '\t' << file.Size << '\t'
                      << (file.IsApp ? "app" : "-") << '\t' << (file.Key.empty() ? "plain" : "encrypted")
                      << '\n';
        }
    }
    if (json) {
        std::cout << JsonDump(list) << '\n';
    }
    return 0;
}

int RunExtract(const TCliOptions& options, int index, const std::string& typedKey, const std::string& dest,
               bool noTimes) {
    if (!RequireDestination(dest)) {
        return kExitUsage;
    }
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    session.SetKeepTimes(!noTimes);
    std::string unescaped;
    const std::string* key = FindKey(session, typedKey, unescaped);
    if (key == nullptr) {
        std::cerr << "No file " << EscapeText(typedKey) << " in this backup.\n";
        return kExitFailure;
    }
    // A destination ending in "/" names a folder, made when it is missing.
    const bool intoFolder = FolderExists(dest) || dest.back() == '/';
    const std::string target = intoFolder ? WithTrailingSlash(dest) + LastPathComponent(*key) : dest;
    int err = intoFolder && !FolderExists(dest) ? session.CheckDestination(dest) : 0;
    if (err == 0 && intoFolder) {
        err = MakeFolders(dest);
    }
    if (err != 0 || !session.CopyBackupFile(*key, target)) {
        if (TStopSignals::ExitCode() != 0) {
            return TStopSignals::ExitCode();
        }
        err = err != 0 ? err : session.LastCopyError();
        if (err == kNotInBackupError) {
            std::cerr << fmt::format("{}: {}\n", EscapeText(*key), ErrorText(err));
        } else {
            std::cerr << fmt::format("Cannot write {}: {}\n", EscapeText(target),
                                     DestinationErrorText(session, ParentFolder(target), err));
        }
        return kExitFailure;
    }
    std::cout << EscapeText(target) << '\n';
    return 0;
}

int RunExtractAll(const TCliOptions& options, int index, const std::string& dest, bool flat, bool domains,
                  unsigned jobs, bool noTimes) {
    if (!RequireDestination(dest)) {
        return kExitUsage;
    }
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TProgressLine progress;
    TFileExportOptions exportOptions;
    exportOptions.Flat = flat;
    exportOptions.Domains = domains;
    exportOptions.Jobs = jobs;
    exportOptions.KeepTimes = !noTimes;
    exportOptions.Stop = TStopSignals::Token();
    exportOptions.Progress = [&](std::size_t done, std::size_t total, std::uint64_t bytes) {
        progress.Show(done, total, bytes);
    };
    const TFileExportResult result = ExportAllFiles(*opened.Session, dest, exportOptions);
    progress.Finish();
    for (const TFileExportFailure& failure : result.Failures) {
        if (failure.Key.empty()) {
            std::cerr << fmt::format("Cannot write to {}: {}\n", EscapeText(failure.Target),
                                     DestinationErrorText(*opened.Session, failure.Target, failure.Error));
        } else {
            std::cerr << fmt::format("failed: {} -> {}: {}\n", EscapeText(failure.Key),
                                     EscapeText(failure.Target), ErrorText(failure.Error));
        }
    }
    if (result.Stopped) {
        std::cerr << fmt::format("Stopped after {} of {} files.\n", result.Exported, result.Total);
        return TStopSignals::ExitCode() != 0 ? TStopSignals::ExitCode() : kExitFailure;
    }
    const double seconds = std::max(progress.Elapsed(), 1e-6);
    std::cout << fmt::format("Extracted {} of {} files ({} bytes) to {}\n", result.Exported, result.Total,
                             result.Bytes, EscapeText(WithTrailingSlash(dest)));
    std::cout << fmt::format("{:.1f} s: {:.0f} files/s, {:.1f} MB/s\n", seconds,
                             static_cast<double>(result.Exported) / seconds,
                             static_cast<double>(result.Bytes) / seconds / 1e6);
    if (!result.Failures.empty()) {
        std::cout << result.Failures.size() << " files failed.\n";
        return kExitFailure;
    }
    return 0;
}

int RunLog(const TCliOptions& options, int index) {
    const TOpenedSession opened = OpenSession(options, index);
    if (!opened.Session) {
        return opened.Status;
    }
    // One entry per line; the text of each is the backup's and is escaped.
    const std::string log = opened.Session->LogText();
    std::size_t start = StartsWith(log, "\r\n") ? 2 : 0;
    while (start < log.size()) {
        const std::size_t end = std::min(log.find("\r\n", start), log.size());
        std::cout << EscapeText(log.substr(start, end - start)) << '\n';
        start = end + 2;
    }
    return opened.Status;
}

} // namespace kestrow

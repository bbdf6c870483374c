#include "cli/cli_context.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>

#include "archive/backup_read_thread.h"
#include "cli/display_text.h"
#include "cli/password_input.h"
#include "cli/stop_signals.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace kestrow {

std::string EffectiveRoot(const TCliOptions& options) {
    return options.Root.empty() ? BackupRoot() : WithTrailingSlash(options.Root);
}

std::string TerminalText(const std::string& text) {
    std::string result;
    for (char c : text) {
        result.push_back(c == '\r' ? '\n' : c);
    }
    while (!result.empty() && result.back() == '\n') {
        result.pop_back();
    }
    return result;
}

std::unique_ptr<TIpodBackup> MakeSession(const TCliOptions& options, int& exitCode) {
    auto session = std::make_unique<TIpodBackup>(EffectiveRoot(options));
    if (!session->HasPrivateFolder()) {
        const char* tmp = std::getenv("TMPDIR");
        std::cerr
            << "Cannot make a private temporary folder in " << (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp")
            << ": " << ErrorText(session->PrivateFolderError())
            << ".\nKestrow writes converted and decrypted copies nowhere else; set TMPDIR to a writable "
               "folder.\n";
        exitCode = kExitNoPrivateFolder;
        return nullptr;
    }
    session->SetStopToken(TStopSignals::Token());
    return session;
}

TOpenedSession OpenSession(const TCliOptions& options, int index) {
    TOpenedSession opened;
    opened.Session = MakeSession(options, opened.Status);
    if (!opened.Session) {
        return opened;
    }
    const auto& backups = opened.Session->Backups();
    if (index < 0 || static_cast<std::size_t>(index) >= backups.size()) {
        std::cerr << "No backup with index " << index << " (" << backups.size() << " found under "
                  << EscapeText(opened.Session->Root()) << ").\n";
        return opened;
    }
    std::string password;
    if (backups[static_cast<std::size_t>(index)].IsEncrypted) {
        std::string error;
        const auto given = ReadPassword(options.PasswordFile, error);
        if (!given) {
            std::cerr << error << '\n';
            opened.Status = osWrongPassword;
            return opened;
        }
        password = *given;
    }
    auto thread = TIpodBackReadThd::CreateForIndex(opened.Session.get(), index, password, nullptr);
    thread->Wait();
    opened.Status = thread->Result();
    if (opened.Status != osOpened) {
        std::cerr << TerminalText(OpenStatusText(static_cast<std::uint8_t>(opened.Status))) << '\n';
    }
    return opened;
}

// A key as the user typed it, or in the escaped form plain and JSON output give.
const std::string* FindKey(const TIpodBackup& session, const std::string& typed, std::string& unescaped) {
    if (session.Files().Contains(typed)) {
        return &typed;
    }
    const auto decoded = UnescapeText(typed);
    if (decoded && session.Files().Contains(*decoded)) {
        unescaped = *decoded;
        return &unescaped;
    }
    return nullptr;
}

std::string DestinationErrorText(const TIpodBackup& session, const std::string& dest, int error) {
    // The session refuses a destination in a backup with EACCES; a folder that merely may not be
    // written gives EACCES too, so the place is judged again.
    if (error == EACCES && session.CheckDestination(dest) == EACCES) {
        return "inside a backup folder (nothing is ever written there)";
    }
    return ErrorText(error);
}

bool RequireDestination(const std::string& dest) {
    if (dest.empty()) {
        std::cerr << "DEST must name a file or folder; an empty destination is refused.\n";
        return false;
    }
    return true;
}

} // namespace kestrow

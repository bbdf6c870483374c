#include "cli/cli_context.h"

#include <iostream>

#include "archive/backup_read_thread.h"
#include "cli/password_input.h"
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

TOpenedSession OpenSession(const TCliOptions& options, int index) {
    TOpenedSession opened;
    opened.Session = std::make_unique<TIpodBackup>(EffectiveRoot(options));
    const auto& backups = opened.Session->Backups();
    if (index < 0 || static_cast<std::size_t>(index) >= backups.size()) {
        std::cerr << "No backup with index " << index << " (" << backups.size() << " found under "
                  << opened.Session->Root() << ").\n";
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

} // namespace kestrow

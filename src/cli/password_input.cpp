#include "cli/password_input.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <termios.h>
#include <unistd.h>

#include "cli/stop_signals.h"

namespace kestrow {

namespace {

void StripLineBreak(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
}

std::optional<std::string> PromptWithoutEcho() {
    if (::isatty(STDIN_FILENO) == 0) {
        return std::nullopt;
    }
    termios saved{};
    ::tcgetattr(STDIN_FILENO, &saved);
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    std::cerr << "Backup password: " << std::flush;
    // A signal during the prompt must not leave the terminal without echo.
    TStopSignals::SetEmergencyAction([saved] { ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved); });
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    std::string line;
    const bool ok = static_cast<bool>(std::getline(std::cin, line));
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    TStopSignals::SetEmergencyAction({});
    std::cerr << '\n';
    if (!ok) {
        return std::nullopt;
    }
    StripLineBreak(line);
    return line;
}

std::optional<std::string> ReadPasswordFrom(const std::string& passwordFile, std::string& error) {
    if (!passwordFile.empty()) {
        std::ifstream in(passwordFile, std::ios::binary);
        std::string line;
        if (!in || !std::getline(in, line)) {
            error = "Cannot read the password file " + passwordFile + ".";
            return std::nullopt;
        }
        StripLineBreak(line);
        return line;
    }
    if (const char* env = std::getenv("KESTROW_PASSWORD"); env != nullptr) {
        return std::string(env);
    }
    auto typed = PromptWithoutEcho();
    if (!typed) {
        error =
            "This backup is encrypted: give its password with --password-file, KESTROW_PASSWORD or at the "
            "prompt of a terminal.";
    }
    return typed;
}

} // namespace

std::optional<std::string> ReadPassword(const std::string& passwordFile, std::string& error) {
    auto password = ReadPasswordFrom(passwordFile, error);
    // A signal sent while the read was blocked stops what follows, before any of it starts.
    TStopSignals::TakeArrived();
    return password;
}

std::optional<std::vector<std::string>> ReadNotePasswords(const std::string& passwordFile,
                                                          std::string& error) {
    std::vector<std::string> passwords;
    if (!passwordFile.empty()) {
        std::ifstream in(passwordFile, std::ios::binary);
        if (!in) {
            error = "Cannot read the notes password file " + passwordFile + ".";
            return std::nullopt;
        }
        for (std::string line; std::getline(in, line);) {
            StripLineBreak(line);
            if (!line.empty()) {
                passwords.push_back(line);
            }
        }
    }
    if (const char* env = std::getenv("KESTROW_NOTES_PASSWORD"); env != nullptr && *env != '\0') {
        passwords.emplace_back(env);
    }
    return passwords;
}

} // namespace kestrow

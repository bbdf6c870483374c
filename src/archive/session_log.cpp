#include "archive/session_log.h"

namespace kestrow {

void TSessionLog::Append(std::string_view text) {
    std::lock_guard lock(FMutex);
    FText += "\r\n";
    FText += text;
}

std::string TSessionLog::Text() const {
    std::lock_guard lock(FMutex);
    return FText;
}

void TSessionLog::Clear() {
    std::lock_guard lock(FMutex);
    FText.clear();
}

} // namespace kestrow

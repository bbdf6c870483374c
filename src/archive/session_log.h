#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace kestrow {

// The session's problem log: each entry is appended as "\r\n" + text. Appended from the opening
// thread and read from the user-interface thread, so every access takes the lock.
class TSessionLog {
public:
    void Append(std::string_view text);
    std::string Text() const;
    void Clear();

private:
    mutable std::mutex FMutex;
    std::string FText;
};

} // namespace kestrow

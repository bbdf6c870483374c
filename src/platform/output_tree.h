#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/file_io.h"

namespace kestrow {

// A destination folder that exports write into. The path to the destination is the user's and is
// followed as given; below it, folders are made and opened one component at a time without
// following symbolic links (a link there is refused with ELOOP), so nothing lands outside it.
// Folder handles are cached, a bounded number of them; one tree may be shared between threads.
class TOutputTree {
public:
    using TFolder = std::shared_ptr<const TFileHandle>;

    // Opens the destination, making it and its missing parents first. Returns 0 or errno.
    int Open(const std::string& folder);
    // The folder at `relative` below the destination ("" for the destination itself; components
    // separated by "/"), made when missing. Null with `error` set on failure.
    TFolder Folder(std::string_view relative, int& error);

private:
    TFolder Walk(std::string_view relative, int& error);
    void Remember(const std::string& relative, const TFolder& folder);

    static constexpr std::size_t kMaxCached = 256;
    std::mutex FMutex;
    TFolder FRoot;
    std::unordered_map<std::string, TFolder> FCache;
};

} // namespace kestrow

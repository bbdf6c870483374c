#include "export/note_media.h"

#include <algorithm>

#include "archive/backup_file.h"
#include "platform/text.h"
#include "readers/notes.h"

namespace kestrow {

namespace {

bool IsNotesMediaKey(std::string_view key) {
    return StartsWith(key, "Accounts/") || StartsWith(key, "Media/") || StartsWith(key, "FallbackImages/") ||
           StartsWith(key, "Previews/");
}

// A name from the store as one path component: nothing that climbs or nests.
bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

} // namespace

TNoteMedia::TNoteMedia(const TFileTable& files) {
    for (const auto& [key, file] : files) {
        if (IsNotesMediaKey(key)) {
            FKeys.push_back(key);
        }
    }
    std::sort(FKeys.begin(), FKeys.end());
}

std::string TNoteMedia::FirstUnder(const std::string& prefix) const {
    const auto found = std::lower_bound(FKeys.begin(), FKeys.end(), std::string_view(prefix));
    return found != FKeys.end() && StartsWith(*found, prefix) ? std::string(*found) : std::string();
}

std::string TNoteMedia::KeyOf(const TNoteItem& note, const TNoteMediaRef& ref) const {
    std::vector<std::string> roots;
    if (IsPlainName(note.AccountId)) {
        roots.push_back("Accounts/" + note.AccountId + "/");
    }
    roots.emplace_back(); // stores of the first versions keep them at the container's top
    for (const std::string& root : roots) {
        if (IsPlainName(ref.MediaId)) {
            const std::string folder = root + "Media/" + ref.MediaId + "/";
            if (IsPlainName(ref.FileName)) {
                // The file by its name, directly or in a generation folder.
                for (auto at = std::lower_bound(FKeys.begin(), FKeys.end(), std::string_view(folder));
                     at != FKeys.end() && StartsWith(*at, folder); ++at) {
                    const std::string_view key = *at;
                    if (key.size() > ref.FileName.size() &&
                        key[key.size() - ref.FileName.size() - 1] == '/' &&
                        key.substr(key.size() - ref.FileName.size()) == ref.FileName) {
                        return std::string(*at);
                    }
                }
            }
            if (std::string key = FirstUnder(folder); !key.empty()) {
                return key;
            }
        }
        if (!IsPlainName(ref.AttachmentId)) {
            continue;
        }
        for (const char* suffix : {".jpg", ".png", "/"}) {
            if (std::string key = FirstUnder(root + "FallbackImages/" + ref.AttachmentId + suffix);
                !key.empty()) {
                return key;
            }
        }
        if (std::string key = FirstUnder(root + "Previews/" + ref.AttachmentId + "-"); !key.empty()) {
            return key;
        }
    }
    return {};
}

std::string TNoteMedia::KeyOf(const TNoteItem& note, const TNoteAttachment& attachment) const {
    for (const TNoteMediaRef& ref : attachment.Media) {
        if (std::string key = KeyOf(note, ref); !key.empty()) {
            return key;
        }
    }
    return {};
}

} // namespace kestrow

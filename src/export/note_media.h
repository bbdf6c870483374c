#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

class TFileTable;
struct TNoteItem;
struct TNoteMediaRef;
struct TNoteAttachment;

// Finds the files of note attachments in the backup's file table. The notes group container keeps
// them under Accounts/<account>/: the file itself in Media/<media id>/ (later versions add a
// generation folder), and for drawings and scans only a rendering in FallbackImages/<attachment
// id>.jpg|png (or a folder of that name) or Previews/<attachment id>-*.png. The keys are sorted once.
class TNoteMedia {
public:
    explicit TNoteMedia(const TFileTable& files);

    // The table key of the file that shows `ref` best, or empty when the backup has none.
    std::string KeyOf(const TNoteItem& note, const TNoteMediaRef& ref) const;
    // The first page's key of an attachment, or empty.
    std::string KeyOf(const TNoteItem& note, const TNoteAttachment& attachment) const;

private:
    std::string FirstUnder(const std::string& prefix) const;

    std::vector<std::string_view> FKeys; // views into the file table, sorted
};

} // namespace kestrow

#pragma once

#include <functional>
#include <string>

namespace kestrow::bench {

constexpr int kRollItems = 50'000;

// A current-layout backup in `root` (folder "roll") of a camera roll of `count` items with
// Photos.sqlite: even items HEIC, odd ones JPEG, one an hour, in 1,000-file DCIM folders, every tenth
// in one of seven albums. `content` gives the bytes of item i.
void WritePhotoRollBackup(const std::string& root, int count, const std::function<std::string(int)>& content);

} // namespace kestrow::bench

#pragma once

#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;

// Camera roll items `rows` (indexes into the photo list, in the order to write) into `dest`. Format 0:
// the original files under their original names (repeats numbered), a Live Photo's video beside its
// picture under the same name; format 1: HEIC/HEIF pictures converted to JPEG keeping their EXIF block,
// every other file (JPEGs, other pictures, videos) copied as it is. `byMonth` puts each in a "YYYY/MM" folder
// ("Undated" without a date). Every file written gets the moment it was taken as modification time. Counts
// items written.
TExportResult ExportPhotos(TIpodBackup& session, const std::vector<int>& rows, int format,
                           const std::string& dest, bool byMonth, const TExportControl& control = {});

} // namespace kestrow

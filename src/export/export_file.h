#pragma once

#include <string>
#include <string_view>

namespace kestrow {

class TIpodBackup;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Writes a new file at `path`: never over anything that has the name (EEXIST), never seen
// half-written. Returns 0 or errno.
int WriteNewFile(const std::string& path, std::string_view bytes);

// Makes the destination folder of an export (with its parents) after making sure it lies outside
// every backup folder. Returns 0 or errno (EACCES inside a backup).
int PrepareExportFolder(const TIpodBackup& session, const std::string& folder);

struct TExportResult;
struct TExportControl;

// Writes one export file: on success `records` are counted, else the failure is added.
void WriteExportFile(TExportResult& result, const std::string& path, std::string_view bytes, int records);

// Reports record `done` of `total` done; false (the result marked stopped) when a stop was asked
// for and records are left.
bool ExportStep(const TExportControl& control, std::size_t done, std::size_t total, TExportResult& result);

// The text as ASCII: each character outside 7-bit ASCII (a whole UTF-8 sequence, or a byte that
// starts none) becomes one "?".
std::string AsciiText(std::string_view text);

// The text without leading and trailing blanks and control characters (bytes up to U+0020).
std::string TrimControls(std::string_view text);

// A CSV field between double quotes, inner double quotes doubled.
std::string CsvQuoted(std::string_view field);
// A CSV field as it is, or quoted as above when it holds a comma, a double quote or a line break.
std::string CsvField(std::string_view field);

} // namespace kestrow

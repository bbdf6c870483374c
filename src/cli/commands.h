#pragma once

#include <string>

#include "cli/cli_context.h"

namespace kestrow {

int RunList(const TCliOptions& options, bool json);
int RunDevice();
int RunCheckPassword(const TCliOptions& options, int index);
int RunOpen(const TCliOptions& options, int index);
int RunRefresh(const TCliOptions& options, const std::string& uniqueId);
int RunFiles(const TCliOptions& options, int index, bool json, bool appOnly, const std::string& type);
// Extracted files carry the manifest's modification times unless `noTimes`.
int RunExtract(const TCliOptions& options, int index, const std::string& key, const std::string& dest,
               bool noTimes);
int RunExtractAll(const TCliOptions& options, int index, const std::string& dest, bool flat, bool domains,
                  unsigned jobs, bool noTimes);
int RunLog(const TCliOptions& options, int index);

} // namespace kestrow

#pragma once

#include "cli/cli_context.h"

namespace kestrow {

// The camera roll of a backup in date order: one line per picture or video (date, name, size, type,
// place), or with `json` an array of items. 66 when the category cannot be read.
int RunPhotos(const TCliOptions& options, int index, bool json);

} // namespace kestrow

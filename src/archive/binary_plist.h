#pragma once

// The binary property list reader moved down to the readers, which need it for the plists stored
// inside device databases; this name stays for the session's own users.
#include "readers/binary_plist.h"

// Texts for the host's display callback (libpemric and libduvane).
#ifndef SRVFW_BMC_DISPLAY_H
#define SRVFW_BMC_DISPLAY_H

#include "include/export.h"

using DisplayCallback = void (*)(const wchar_t*);

// Formats at most 1023 characters and hands them to the callback in one
// call; a longer text arrives cut at that length. A null callback makes the
// call a no-op. Always returns 0.
SRVFW_EXPORT int cbwprintf(DisplayCallback callback, const wchar_t* format, ...);

#endif

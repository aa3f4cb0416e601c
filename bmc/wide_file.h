// fopen for the wide paths the libraries receive from their host.
#ifndef SRVFW_BMC_WIDE_FILE_H
#define SRVFW_BMC_WIDE_FILE_H

#include <cstdio>

#include "include/export.h"

// Converts path and mode to the multibyte encoding of the current locale and
// opens the file. A null argument or a text the locale cannot encode gives
// null.
extern "C" SRVFW_EXPORT std::FILE* wfopen(const wchar_t* path, const wchar_t* mode);

#endif

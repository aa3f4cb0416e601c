// fopen for the wide paths the libraries receive from their host, and the
// conversions between wide text and the host's multibyte encoding (that of
// the current locale).
#ifndef SRVFW_BMC_WIDE_FILE_H
#define SRVFW_BMC_WIDE_FILE_H

#include <cstdio>
#include <optional>
#include <string>

#include "include/export.h"

// Converts path and mode to the multibyte encoding of the current locale and
// opens the file. A null argument or a text the locale cannot encode gives
// null.
extern "C" SRVFW_EXPORT std::FILE* wfopen(const wchar_t* path, const wchar_t* mode);

// The text in the host's multibyte encoding; none when the locale cannot
// encode it.
std::optional<std::string> ToMultibyte(const wchar_t* text);
// The multibyte text as wide text; none when it is not valid in the host's
// encoding.
std::optional<std::wstring> ToWide(const char* text);

#endif

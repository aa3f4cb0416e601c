// printf-style formatting of wide text into a fixed buffer, for the texts
// the libraries hand to a host: display lines, failure notes, last-error
// texts, strings of the string table with their arguments.
#ifndef SRVFW_BMC_WIDE_FORMAT_H
#define SRVFW_BMC_WIDE_FORMAT_H

#include <cstdarg>
#include <span>

// Formats into `buffer`, always zero-terminated; a text that does not fit
// is cut at the buffer's last character. A null format gives an empty text.
void FormatWideText(std::span<wchar_t> buffer, const wchar_t* format, std::va_list arguments);

#endif

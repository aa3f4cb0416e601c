// Wide text on standard output, for the few messages the libraries print on
// the console themselves rather than through the host's display callback.
#ifndef SRVFW_BMC_WIDE_CONSOLE_H
#define SRVFW_BMC_WIDE_CONSOLE_H

#include <string_view>

// A host may already print narrow text on standard output. A wide write to
// a byte-oriented stream is dropped without a word, and a first wide write
// to a fresh stream would lock the host out of printf for good. So the text
// is written wide only where the host already writes wide, and converted to
// the locale's multibyte encoding otherwise.
void WriteToStandardOutput(std::wstring_view text);

#endif

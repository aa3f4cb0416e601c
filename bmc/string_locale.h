// Changing the language of a library's string table (its SetLanguageLocale
// entry, and the first load in Initialize).
#ifndef SRVFW_BMC_STRING_LOCALE_H
#define SRVFW_BMC_STRING_LOCALE_H

#include <memory>

#include "bmc/string_resource.h"

enum class LocaleSwitch {
    Switched,
    NoTable,      // the new table object could not be allocated
    LoadFailed,   // its Initialize failed
    CacheFailed,  // its CacheAll failed
};

// Loads <language><country>/<fileName> into a new table and caches all of
// it. Only when both succeed does the new table replace `table`; on any
// failure `table` is left as it was, so the library keeps talking in the
// language it had.
LocaleSwitch SwitchStringLocale(std::unique_ptr<CStringResource>& table, const wchar_t* language,
                                const wchar_t* country, const wchar_t* fileName);

#endif

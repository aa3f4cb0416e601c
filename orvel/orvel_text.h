// The library's string table and the texts made from it.
#ifndef SRVFW_ORVEL_ORVEL_TEXT_H
#define SRVFW_ORVEL_ORVEL_TEXT_H

#include <memory>
#include <string>

#include "bmc/string_resource.h"

namespace Orvel_Private {

// The table of the language in use; installed by Initialize and replaced by
// SetLanguageLocale. Null before the library is initialised.
extern std::unique_ptr<CStringResource> g_pStringResource;

// Text `number` of the table, owned by the table; null without a table or
// when the table has no such text.
const wchar_t* GetOrvelString(unsigned number);

// Text `number` formatted with the arguments; empty when the table lacks it.
std::wstring FormatOrvelString(unsigned number, ...);

}  // namespace Orvel_Private

#endif

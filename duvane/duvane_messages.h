// The library's texts: its string table, the last-error message a host
// reads with GetLastErrorMessage, and the host's display callback. The
// image reader and the update engine both write through here.
#ifndef SRVFW_DUVANE_DUVANE_MESSAGES_H
#define SRVFW_DUVANE_DUVANE_MESSAGES_H

#include <array>
#include <memory>
#include <string>

#include "bmc/display.h"
#include "bmc/string_resource.h"

namespace DirectFwUpdate_Private {

inline constexpr unsigned kErrorMessageLength = 256;
extern std::array<wchar_t, kErrorMessageLength> g_pszErrorMessage;
// The table Initialize and SetLanguageLocale load; null before.
extern std::unique_ptr<CStringResource> gp_StringResource;
extern DisplayCallback p_display;

// The text of a string of the table, or an empty text when the table or
// the string is missing, so that a short string file shows a blank instead
// of handing a null to the formatting.
const wchar_t* DuvaneString(unsigned index);

// The last-error message becomes the string at `index`, formatted with the
// arguments its directives name (cut to the message's length).
void SetErrorMessage(unsigned index, ...);

// The string at `index` formatted with its arguments, for display texts
// and progress messages (at most kErrorMessageLength - 1 characters).
std::wstring DuvaneText(unsigned index, ...);

}  // namespace DirectFwUpdate_Private

#endif

// Whether a version falls within a list of supported versions: exact
// versions ("1.05"), ranges ("1.00-1.09", both ends included) and minimums
// ("1.06+"), each number hexadecimal. Versions order by major, then minor.
#ifndef SRVFW_DUVANE_VERSION_SUPPORT_H
#define SRVFW_DUVANE_VERSION_SUPPORT_H

#include <span>

namespace DirectFwUpdate_Private {

// 0, or C00A000Ch with the last-error message naming the text that does
// not read as a version.
int IsVersionSupported(const wchar_t* version, std::span<const wchar_t* const> list,
                       bool& supported);

}  // namespace DirectFwUpdate_Private

#endif

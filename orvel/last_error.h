// The library's last-error text: what GetLastErrorMessage hands the host
// after a failed call. Two buffers take turns: errors set after a hand-out
// go to the other buffer, so the text a host holds stays intact until its
// next hand-out.
#ifndef SRVFW_ORVEL_LAST_ERROR_H
#define SRVFW_ORVEL_LAST_ERROR_H

#include <cstddef>

namespace Orvel_Private {

inline constexpr std::size_t kLastErrorLength = 512;

// Formats text `number` of the string table into the current text (at most
// 511 characters are kept); without that text the current text becomes empty.
void SetLastErrorString(unsigned number, ...);

// Hands out the current text and makes the other, emptied, buffer current.
const wchar_t* TakeLastError();
// Empties both texts and makes the first current (Initialize).
void ClearLastError();

}  // namespace Orvel_Private

#endif

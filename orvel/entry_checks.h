// The checks an interface entry makes before it works, in order: the
// library is initialised, FRU data is loaded, a list, a FRU, an area and a
// field are selected. Each entry checks up to the level it needs.
#ifndef SRVFW_ORVEL_ENTRY_CHECKS_H
#define SRVFW_ORVEL_ENTRY_CHECKS_H

#include <cstdint>

#include "bmc/trace.h"
#include "orvel/orvel_state.h"
#include "orvel/orvel_status.h"

namespace Orvel_Private {

enum class Needs { Initialized, Loaded, List, Fru, Area, Field };

// 0 when every check up to `needs` passes. An uninitialised library fails
// quietly with C0070005h; every later failure sets the unexpected text and
// the entry's "Unexpected" debug line.
std::uint32_t CheckEntry(Needs needs, const CTrace& trace);

// The entry failed after its checks: sets text `number` (the unexpected
// text unless another is named), writes the debug line with `words` and
// returns `status`.
std::uint32_t EntryFailure(const CTrace& trace, std::uint32_t status, unsigned number,
                           const wchar_t* words = L"Unexpected");

// The trace of entry `name`: debug lines "Orvel::<name> ...".
inline CTrace EntryTrace(const wchar_t* name) {
    return CTrace(L"Orvel", name);
}

// An entry that only answers a question: after the checks up to `needs`,
// the answer goes to `out`, which the host must give.
template <typename T, typename Answer>
std::uint32_t AnswerEntry(const wchar_t* name, Needs needs, T* out, Answer answer) {
    CTrace trace = EntryTrace(name);
    if (const std::uint32_t status = CheckEntry(needs, trace)) return status;
    if (out == nullptr) return ORVEL_ERROR_NOT_INITIALIZED;
    *out = answer();
    return ORVEL_SUCCESS;
}

}  // namespace Orvel_Private

#endif

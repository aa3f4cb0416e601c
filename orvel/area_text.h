// How the areas hand out text: each keeps the text of its last request in a
// buffer of its own, which stays valid until the area's next text request.
#ifndef SRVFW_ORVEL_AREA_TEXT_H
#define SRVFW_ORVEL_AREA_TEXT_H

#include <new>
#include <string>

#include "bmc/trace.h"
#include "orvel/last_error.h"
#include "orvel/orvel_strings.h"

namespace Orvel_Private {

// Keeps what `render` makes in `buffer` and hands it out; null, with the
// allocation failure reported, when the text cannot be made.
template <typename Render>
const wchar_t* KeepAreaText(std::wstring& buffer, const CTrace& trace, Render&& render) {
    try {
        buffer = render();
    } catch (const std::bad_alloc&) {
        trace.Failure(L"Memory Allocation Error");
        SetLastErrorString(IDS_NO_MEMORY);
        return nullptr;
    }
    return buffer.c_str();
}

// A field index past the area's last field gives no text.
inline const wchar_t* NoSuchField(const CTrace& trace) {
    trace.Failure(L"No such FRU Field");
    SetLastErrorString(IDS_NO_SUCH_FIELD);
    return nullptr;
}

}  // namespace Orvel_Private

#endif

// Where the library reports how far a long operation got: the host's
// progress callback of the selected data set, when it set one. What the
// callback returns is of no concern to the library.
#ifndef SRVFW_PEMRIC_SDR_PROGRESS_H
#define SRVFW_PEMRIC_SDR_PROGRESS_H

#include "include/progress_callback.h"

namespace Pemric_Private {

struct SdrProgress {
    PROGRESS_CALLBACK callback = nullptr;

    void Message(const wchar_t* text) const {
        if (callback != nullptr) callback(PROGRESS_MESSAGE, text, 0, 0);
    }
    void Count(const wchar_t* text, unsigned done, unsigned total) const {
        if (callback != nullptr) callback(PROGRESS_COUNT, text, done, total);
    }
};

}  // namespace Pemric_Private

#endif

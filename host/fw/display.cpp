#include <string>

#include "host/frame/progress.h"
#include "host/fw/library.h"

namespace srvfw {

// The library writes its display texts for a console: a text ending in a
// carriage return is redrawn in place (the staging area's spinner, a wait
// counting down), and line ends before and after a text only space the
// console out. srvfw shows each text as a line of its own, or as its status
// line when the library redraws it.
void ShowFirmwareDisplay(const wchar_t* text) {
    if (text == nullptr) return;
    std::wstring words(text);
    if (!words.empty() && words.back() == L'\r') {
        ShowStatusLine(words.c_str());
        return;
    }
    std::size_t start = 0;
    while (start < words.size()) {
        std::size_t end = words.find(L'\n', start);
        if (end == std::wstring::npos) end = words.size();
        std::wstring line = words.substr(start, end - start);
        while (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty() && line.find_first_not_of(L" \r") != std::wstring::npos) {
            ProgressCallback(PROGRESS_MESSAGE, line.c_str(), 0, 0);
        }
        start = end + 1;
    }
}

}  // namespace srvfw

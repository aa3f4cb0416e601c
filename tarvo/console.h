// What tarvo prints: banner, usage text, error reports and progress.
#ifndef SRVFW_TARVO_CONSOLE_H
#define SRVFW_TARVO_CONSOLE_H

#include <cstdint>

namespace tarvo {

void PrintBanner();
void PrintUsage();

// "\nERROR: <message>\n\n", printed in quiet mode too. The message is never
// cut, whatever its length.
void ReportError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A progress display with a fixed label. Position kProgressStart begins it
// (the total is then the display's base), kProgressDone ends it, any other
// position is a flash address or file offset shown against the total.
constexpr std::uint32_t kProgressStart = 0xFFFFFFFEu;
constexpr std::uint32_t kProgressDone = 0xFFFFFFFFu;

class Progress {
  public:
    Progress(const char* label, bool quiet) : mLabel(label), mQuiet(quiet) {}
    void Show(std::uint32_t position, std::uint32_t total);
    void Start(std::uint32_t base) { Show(kProgressStart, base); }
    void Done() { Show(kProgressDone, 0); }

  private:
    const char* mLabel;
    bool mQuiet;
    std::uint32_t mBase = 0;
};

}  // namespace tarvo

#endif

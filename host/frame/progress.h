// Shows what a library reports through its progress callback, on standard
// error so that a command's result on standard output stays clean: message
// lines as they come, counts and percentages as a progress bar (redrawn in
// place on a terminal, every tenth otherwise), and in --json mode one JSON
// object a line.
#ifndef SRVFW_HOST_FRAME_PROGRESS_H
#define SRVFW_HOST_FRAME_PROGRESS_H

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "include/progress_callback.h"

namespace srvfw {

class ProgressDisplay {
  public:
    ProgressDisplay(std::ostream& out, bool json, bool terminal)
        : mOut(out), mJson(json), mTerminal(terminal) {}
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;
    // Ends a bar left open on the terminal.
    ~ProgressDisplay();

    void Report(PROGRESS_CALLBACK_TYPE type, const wchar_t* text, unsigned first, unsigned second);

    // A line the library redraws in place (a spinner, a countdown): on a
    // terminal it replaces itself; elsewhere it is shown when its words
    // change, not each time a digit or the spinner moves.
    void Status(const wchar_t* text);

    // The labels of the bars that reached 100%, in their order: what a
    // long operation had finished when it stopped.
    const std::vector<std::string>& Completed() const { return mCompleted; }

  private:
    void Line(const std::string& line);
    void Bar(const std::string& label, unsigned percent, const std::string& counts);
    void Complete(const std::string& label, unsigned percent);
    void EndBar();

    std::ostream& mOut;
    bool mJson;
    bool mTerminal;
    bool mBarOpen = false;     // a bar drawn on the terminal without a line end
    std::string mOpenWidth;    // blanks as wide as the open bar or status line
    std::string mOpenLabel;    // the open bar's label
    std::string mStatusWords;  // off a terminal: the last status line's words
    std::vector<std::string> mCompleted;
    // Off a terminal: the label and tenth of the last bar shown.
    std::optional<std::pair<std::string, unsigned>> mShown;
};

// "label [#########---------------------]  30%".
std::string ProgressBar(std::string_view label, unsigned percent, std::string_view counts = {});

// A text of nothing but blanks and line ends, with which a library ends or
// clears its console line ("\r" + 79 blanks + "\r", "\n"): srvfw ends its
// bar instead of showing a line of escapes.
bool OnlyMovesTheCursor(const wchar_t* text);

// The display texts a library redraws in place (they end with a carriage
// return) go to the current display's status line.
void ShowStatusLine(const wchar_t* text);

// The callback srvfw hands every library. It reports to the display made
// current by a ProgressTarget; libraries call it on srvfw's one thread.
unsigned ProgressCallback(PROGRESS_CALLBACK_TYPE type, const wchar_t* text, unsigned first,
                          unsigned second);

class ProgressTarget {
  public:
    explicit ProgressTarget(ProgressDisplay& display);
    ProgressTarget(const ProgressTarget&) = delete;
    ProgressTarget& operator=(const ProgressTarget&) = delete;
    ~ProgressTarget();

  private:
    ProgressDisplay* mPrevious;
};

}  // namespace srvfw

#endif

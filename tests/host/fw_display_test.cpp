// What the firmware library displays and reports while it updates, as
// srvfw shows it: its texts as lines without their console spacing, lines
// it redraws in place, a bar for each phase, and the phases that finished.
#include <gtest/gtest.h>

#include <sstream>

#include "host/frame/progress.h"
#include "host/fw/library.h"

namespace srvfw {
namespace {

TEST(FwDisplay, TextsLoseTheirConsoleSpacingAndKeepTheirLines) {
    const struct {
        const wchar_t* text;
        const char* shown;
    } cases[] = {
        {L"Updating the BMC firmware", "Updating the BMC firmware\n"},
        {L"\n", ""},
        {L"\n\n", ""},
        {L"Erasing the staging area done.\n\n", "Erasing the staging area done.\n"},
        {L"\nPlatform Names are matching....:)))\n", "Platform Names are matching....:)))\n"},
        {L"first\nsecond\r\n", "first\nsecond\n"},
        {L"   \n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        std::ostringstream out;
        {
            ProgressDisplay display(out, false, false);
            ProgressTarget target(display);
            ShowFirmwareDisplay(c.text);
        }
        EXPECT_EQ(out.str(), c.shown);
    }
}

// The staging area's spinner (and any wait the library counts down): on a
// terminal one line redrawn, elsewhere one line while only digits and the
// spinner move.
TEST(FwDisplay, RedrawnTextsAreOneStatusLine) {
    const std::wstring texts[] = {L"Erasing the staging area|\r", L"Erasing the staging area/\r",
                                  L"Erasing the staging area-\r", L"Waiting 30 s\r",
                                  L"Waiting 29 s\r"};
    std::ostringstream log;
    std::ostringstream terminal;
    for (std::ostringstream* out : {&log, &terminal}) {
        ProgressDisplay display(*out, false, out == &terminal);
        ProgressTarget target(display);
        for (const std::wstring& text : texts) ShowFirmwareDisplay(text.c_str());
        ShowFirmwareDisplay(L"Erasing the staging area done.\n\n");
    }
    EXPECT_EQ(log.str(),
              "Erasing the staging area|\nWaiting 30 s\nErasing the staging area done.\n");
    const std::string shown = terminal.str();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 2) << shown;
    EXPECT_NE(shown.find("\rWaiting 29 s\n"), std::string::npos) << shown;
    EXPECT_TRUE(shown.ends_with("Erasing the staging area done.\n")) << shown;
}

TEST(FwDisplay, EachPhaseHasABarAndThoseAt100PercentAreCompleted) {
    std::ostringstream out;
    std::vector<std::string> completed;
    {
        ProgressDisplay display(out, false, true);
        display.Report(PROGRESS_PERCENT, L"Writing boot area", 50, 0);
        display.Report(PROGRESS_PERCENT, L"Writing boot area", 100, 0);
        display.Report(PROGRESS_PERCENT, L"Writing boot area", 100, 0);
        display.Report(PROGRESS_PERCENT, L"Writing operational code", 40, 0);
        // The write stopped short: the next phase gets a line of its own.
        display.Report(PROGRESS_PERCENT, L"Verifying boot area", 100, 0);
        completed = display.Completed();
    }
    EXPECT_EQ(completed, (std::vector<std::string>{"Writing boot area", "Verifying boot area"}));
    EXPECT_EQ(out.str(), "\r" + ProgressBar("Writing boot area", 50) + "\r" +
                             ProgressBar("Writing boot area", 100) + "\n\r" +
                             ProgressBar("Writing boot area", 100) + "\n\r" +
                             ProgressBar("Writing operational code", 40) + "\n\r" +
                             ProgressBar("Verifying boot area", 100) + "\n");
}

TEST(FwDisplay, JsonShowsRedrawnTextsAsMessages) {
    std::ostringstream out;
    {
        ProgressDisplay display(out, true, true);
        ProgressTarget target(display);
        ShowFirmwareDisplay(L"Erasing the staging area|\r");
        ShowFirmwareDisplay(L"Updating the BMC firmware");
    }
    EXPECT_EQ(out.str(),
              "{\"progress\":\"message\",\"text\":\"Erasing the staging area|\"}\n"
              "{\"progress\":\"message\",\"text\":\"Updating the BMC firmware\"}\n");
}

}  // namespace
}  // namespace srvfw

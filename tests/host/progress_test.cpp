// What the libraries report through the progress callback, as srvfw shows
// it: lines, bars redrawn in place on a terminal and every tenth elsewhere,
// and JSON lines for scripts.
#include "host/frame/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace srvfw {
namespace {

TEST(Progress, BarIsFilledByThePercentage) {
    EXPECT_EQ(ProgressBar("Boot", 0), "Boot [------------------------------]   0%");
    EXPECT_EQ(ProgressBar("Boot", 50), "Boot [###############---------------]  50%");
    EXPECT_EQ(ProgressBar("", 100, "4/4"), "[##############################] 100% 4/4");
    EXPECT_EQ(ProgressBar("x", 250), ProgressBar("x", 100));
}

TEST(Progress, MessagesAndLoadsAreLines) {
    std::ostringstream out;
    {
        ProgressDisplay display(out, false, false);
        display.Report(PROGRESS_LOAD, L"Loaded 1 FRU(s)", 1, 0);
        display.Report(PROGRESS_MESSAGE, L"Writing\nthe board area", 0, 0);
        display.Report(PROGRESS_MESSAGE, nullptr, 0, 0);
    }
    EXPECT_EQ(out.str(), "Loaded 1 FRU(s)\nWriting\\x0Athe board area\n\n");
}

// The SDR library ends a read with blanks between carriage returns, to
// clear the console line, and a write with a line end: the bar ends, and no
// line of escapes follows.
TEST(Progress, AMessageThatClearsTheLineShowsNothing) {
    for (const bool json : {false, true}) {
        std::ostringstream out;
        {
            ProgressDisplay display(out, json, true);
            display.Report(PROGRESS_COUNT, L"Reading SDRs", 1, 2);
            display.Report(PROGRESS_MESSAGE, (L"\r" + std::wstring(79, L' ') + L"\r").c_str(), 0,
                           0);
            display.Report(PROGRESS_MESSAGE, L"\n", 0, 0);
            display.Report(PROGRESS_MESSAGE, L"\r \r done", 0, 0);
        }
        EXPECT_EQ(out.str().find(std::string(79, ' ')), std::string::npos) << out.str();
        EXPECT_NE(out.str().find("x0D done"), std::string::npos) << out.str();
        if (!json) {
            EXPECT_EQ(out.str(),
                      "\r" + ProgressBar("Reading SDRs", 50, "1/2") + "\n\\x0D \\x0D done\n");
        }
    }
}

TEST(Progress, OffATerminalABarShowsEachTenthOnce) {
    std::ostringstream out;
    {
        ProgressDisplay display(out, false, false);
        for (unsigned step = 0; step <= 20; ++step)
            display.Report(PROGRESS_COUNT, L"Records", step, 20);
    }
    const std::string text = out.str();
    // 0, 10, 20 ... 100 percent: eleven lines, the last one complete.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11) << text;
    EXPECT_NE(text.find(ProgressBar("Records", 100, "20/20") + "\n"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(Progress, OnATerminalABarIsRedrawnAndEndedBeforeTheNextLine) {
    std::ostringstream out;
    {
        ProgressDisplay display(out, false, true);
        display.Report(PROGRESS_PERCENT, L"Boot", 10, 0);
        display.Report(PROGRESS_PERCENT, L"Boot", 60, 0);
        display.Report(PROGRESS_MESSAGE, L"done", 0, 0);
        display.Report(PROGRESS_PERCENT, L"Code", 30, 0);
    }
    EXPECT_EQ(out.str(), "\r" + ProgressBar("Boot", 10) + "\r" + ProgressBar("Boot", 60) +
                             "\ndone\n\r" + ProgressBar("Code", 30) + "\n");
}

TEST(Progress, JsonModeWritesOneObjectALine) {
    std::ostringstream out;
    {
        ProgressDisplay display(out, true, true);
        display.Report(PROGRESS_LOAD, L"Loaded \"1\"", 1, 0);
        display.Report(PROGRESS_MESSAGE, L"Writing", 0, 0);
        display.Report(PROGRESS_COUNT, L"Records", 3, 9);
        display.Report(PROGRESS_PERCENT, L"Boot", 45, 0);
    }
    EXPECT_EQ(out.str(),
              "{\"progress\":\"load\",\"text\":\"Loaded \\\"1\\\"\",\"counts\":[1,0]}\n"
              "{\"progress\":\"message\",\"text\":\"Writing\"}\n"
              "{\"progress\":\"count\",\"text\":\"Records\",\"step\":3,\"total\":9}\n"
              "{\"progress\":\"percent\",\"text\":\"Boot\",\"percent\":45}\n");
}

TEST(Progress, TheCallbackReportsToTheCurrentTargetOnly) {
    std::ostringstream outer;
    std::ostringstream inner;
    ProgressDisplay outerDisplay(outer, false, false);
    ProgressDisplay innerDisplay(inner, false, false);
    EXPECT_EQ(ProgressCallback(PROGRESS_MESSAGE, L"nobody", 0, 0), 0u);
    {
        ProgressTarget first(outerDisplay);
        ProgressCallback(PROGRESS_MESSAGE, L"one", 0, 0);
        {
            ProgressTarget second(innerDisplay);
            ProgressCallback(PROGRESS_MESSAGE, L"two", 0, 0);
        }
        ProgressCallback(PROGRESS_MESSAGE, L"three", 0, 0);
    }
    ProgressCallback(PROGRESS_MESSAGE, L"nobody", 0, 0);
    EXPECT_EQ(outer.str(), "one\nthree\n");
    EXPECT_EQ(inner.str(), "two\n");
}

}  // namespace
}  // namespace srvfw

// The progress display: plain lines for pipes and files, a bar redrawn in place
// on a terminal with problem lines printed above it.

#include "scanner/ProgressPrinter.h"

#include "client/ClientTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;

const SFileStamp kStamp{1, 2};

/// What a printer writes during a run of two requests: one scans, one times out after showing a window.
CStrings PlayRun(bool terminal, std::size_t columns = 200)
{
    CStrings writes;
    CProgressPrinter printer([&writes](const std::string& text) { writes.push_back(text); }, terminal, columns,
                             [] { return 3.0; });
    printer.OnPlanned(2);
    printer.OnStarted(0, "C:\\VST\\Gain.dll");
    printer.OnStarted(1, "C:\\VST\\Box.dll");
    printer.OnDialogs(1, "C:\\VST\\Box.dll", {"Licence"});
    printer.OnFinished(Entry("C:\\VST\\Gain.dll", kStamp, ScannedOutcome(0x5473476E, "Tessivane Gain")), false);
    printer.OnTick();
    printer.OnFinished(Entry("C:\\VST\\Box.dll", kStamp, ProblemOutcome(EOutcome::TimedOut, "no answer for 2 s")),
                       false);
    printer.Finish();
    return writes;
}

TEST(ProgressPrinter, PlainLinesWhenTheOutputIsNotATerminal)
{
    EXPECT_EQ((CStrings{"       window        C:\\VST\\Box.dll: 'Licence'\n",
                        "[1/2] scanned       C:\\VST\\Gain.dll: Tessivane Gain (TsGn)\n",
                        "[2/2] timed out     C:\\VST\\Box.dll: no answer for 2 s\n"}),
              PlayRun(false));
}

TEST(ProgressPrinter, BarOnATerminalWithProblemsAboveIt)
{
    const CStrings writes = PlayRun(true);
    std::string text;
    for (const std::string& write : writes)
        text += write;
    EXPECT_NE(std::string::npos, text.find("\r[....................] 0/2  0:03 elapsed  ~?:?? left  Gain.dll, Box.dll"))
        << text;
    EXPECT_NE(std::string::npos, text.find("Box.dll  [window 'Licence']")) << text;
    EXPECT_NE(std::string::npos, text.find("\r[##########..........] 1/2  0:03 elapsed  ~0:03 left  Box.dll")) << text;
    EXPECT_EQ(std::string::npos, text.find("scanned       C:\\VST\\Gain.dll")) << "successes only move the bar";
    const std::size_t problem = text.find("[2/2] timed out     C:\\VST\\Box.dll: no answer for 2 s\n");
    ASSERT_NE(std::string::npos, problem) << text;
    EXPECT_EQ('\r', text[problem - 1]) << "the bar is cleared before the line";
    EXPECT_EQ(std::string::npos, writes.back().find_first_not_of("\r ")) << "the run ends with the bar cleared";
    for (const std::string& write : PlayRun(true, 60)) {
        if (write.find('\n') != std::string::npos)
            continue;
        const std::string bar = write.substr(write.find_last_of('\r') + 1);
        EXPECT_LE(bar.size(), 59u) << "the bar never reaches the terminal's last column: " << bar;
    }
}

} // namespace

// The progress display: plain lines for pipes and files, a bar redrawn in place
// on a terminal with problem lines printed above it; and when the run's
// progress saves the database.

#include "scanner/ProgressPrinter.h"
#include "scanner/ScanProgress.h"

#include "client/ClientTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
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

TEST(ScanProgress, SavesPendingChangesAtMostEveryHalfSecondAndPassesEveryEventOn)
{
    /// Writes the initial of each event it gets.
    struct SRecordingPrinter : CRunObserver {
        std::string events;
        void OnPlanned(std::size_t) override { events += 'p'; }
        void OnStarted(unsigned, const std::string&) override { events += 's'; }
        void OnDialogs(unsigned, const std::string&, const std::vector<std::string>&) override { events += 'd'; }
        void OnFinished(const SDatabaseEntry&, bool) override { events += 'f'; }
        void OnTick() override { events += 't'; }
    };
    struct SCase {
        const char* events; ///< f: a request finished, t: a tick, l: a library done, d: windows shown; each at its time
        double saveTakes;   ///< seconds each save takes
        const char* saves;  ///< the times of the saves
        const char* passed; ///< what the printer got, after "ps" for the plan and the start
    };
    const SCase cases[] = {
        {"f0 t0.1 f0.2 t0.3 t0.6 t0.7", 0, "0.1 0.6", "psftfttt"},
        {"t0 l0.1 f0.2 l0.3 f0.4 l0.5 d0.6 l0.9 t1.5", 0, "0.3 0.9", "pstffdt"},
        // A save of 0.1 s waits 20 times as long from its end: not at 0.7, at 2.3.
        {"f0 t0.1 f0.2 t0.7 t1.0 t2.1 t2.3 t2.5", 0.1, "0.1 2.3", "psftfttttt"},
    };
    for (const SCase& c : cases) {
        CScanDatabase database;
        SRecordingPrinter printer;
        double now = 0;
        std::string saves;
        CScanProgress progress(database, printer, [&now] { return now; },
                               [&](const std::string&, std::string&) {
                                   saves += (saves.empty() ? "" : " ") + std::to_string(now).substr(0, 3);
                                   now += c.saveTakes;
                                   return true;
                               });
        progress.OnPlanned(2);
        progress.OnStarted(0, "A.dll");
        std::istringstream events(c.events);
        std::string event;
        while (events >> event) {
            now = std::stod(event.substr(1));
            switch (event[0]) {
            case 'f': progress.OnFinished(Entry("A.dll", kStamp, ScannedOutcome(1, "A")), false); break;
            case 't': progress.OnTick(); break;
            case 'd': progress.OnDialogs(0, "A.dll", {"Licence"}); break;
            default: progress.OnLibraryDone("A.dll");
            }
        }
        EXPECT_EQ(c.saves, saves) << c.events;
        EXPECT_EQ(c.passed, printer.events) << c.events;
    }
}

} // namespace

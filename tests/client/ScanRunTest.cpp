// The scan run over scripted sessions: shells' sub-plug-ins on the shell's
// session, crash retries and their dumps, parallel runs that give the same
// database, later runs, a run that finds no server, and kill-and-resume; and
// when the run's progress saves the database.

#include "client/ScanProgress.h"
#include "client/ScanRun.h"

#include "client/ClientTestSupport.h"
#include "wire/Protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;

const SFileStamp kStamp{4096, 777};

/// What every scripted session answers, and what each was asked.
struct SScript {
    /// outcomes[request]: the answers to the first, second, ... time it is asked
    /// (the last one repeats); requests not listed scan as a plain effect.
    std::map<std::string, std::vector<SScanOutcome>> outcomes;
    CStrings asked;
    std::map<unsigned, CStrings> bySession;
    /// The run's interrupt; set, as Ctrl+C would, when interruptAt is asked.
    std::atomic<bool> interrupt{false};
    std::string interruptAt;
    std::mutex mutex;
    std::map<std::string, std::size_t> attempts;
};

class CScriptedSession : public CScanSession {
public:
    CScriptedSession(SScript& script, unsigned worker) : m_script(script), m_worker(worker) {}
    SScanOutcome Scan(const std::string& request, const SScanObserver&) override
    {
        SScanOutcome answer = ScannedOutcome(static_cast<uint32_t>(request.size()), "Plain " + request);
        {
            std::lock_guard<std::mutex> lock(m_script.mutex);
            m_script.asked.push_back(request);
            m_script.bySession[m_worker].push_back(request);
            const std::size_t attempt = m_script.attempts[request]++;
            const auto found = m_script.outcomes.find(request);
            if (found != m_script.outcomes.end())
                answer = found->second[std::min(attempt, found->second.size() - 1)];
        }
        if (request != m_script.interruptAt)
            return answer;
        m_script.interrupt = true;
        // Not interrupted in time: the plain answer, which the test then finds recorded.
        for (int wait = 0; wait < 1000 && !m_interrupted; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return m_interrupted ? ProblemOutcome(EOutcome::Crashed, "killed") : answer; // as a killed server ends
    }
    void Interrupt() override { m_interrupted = true; }

private:
    SScript& m_script;
    unsigned m_worker;
    std::atomic<bool> m_interrupted{false};
};

class CRecordingObserver : public CRunObserver {
public:
    void OnPlanned(std::size_t requests) override { planned.push_back(requests); }
    void OnFinished(const SDatabaseEntry& entry, bool wasRetried) override
    {
        if (wasRetried)
            retried.push_back(entry.Request());
    }
    void OnLibraryDone(const std::string& path) override { librariesDone.push_back(path); }

    std::vector<std::size_t> planned;
    CStrings retried;
    CStrings librariesDone;
};

SRunResult RunScan(CScanDatabase& database, SScript& script, const std::vector<SLibraryFile>& files, unsigned jobs,
                   CRecordingObserver& observer, SRunOptions options = SRunOptions())
{
    options.jobs = jobs;
    options.interrupt = &script.interrupt;
    CScanRun run(
        database, options,
        [&script](unsigned worker) { return std::make_unique<CScriptedSession>(script, worker); }, observer,
        [] { return std::string("2024-03-07T09:05:01Z"); });
    return run.Run(files);
}

std::vector<SLibraryFile> Files(const CStrings& paths)
{
    std::vector<SLibraryFile> files;
    for (const std::string& path : paths)
        files.push_back(SLibraryFile{path, kStamp});
    return files;
}

SScanOutcome Crash(const std::string& dump) { return ProblemOutcome(EOutcome::Crashed, "crashed", {dump}); }

/// Makes S.dll a shell of three sub-plug-ins, Flaky.dll crash once and Crash.dll always.
void AddOutcomes(SScript& script)
{
    script.outcomes["S.dll"] = {ScannedOutcome(0x5300, "Shell", {{0x53, "Three"}, {0x51, "One"}, {0x52, "Two"}})};
    script.outcomes["Flaky.dll"] = {Crash("f1.mdmp"), ScannedOutcome(0x46, "Flaky")};
    script.outcomes["Crash.dll"] = {Crash("c1.mdmp"), Crash("c2.mdmp")};
    script.outcomes["Hang.dll"] = {ProblemOutcome(EOutcome::TimedOut, "no answer")};
}

TEST(ScanRun, AnyNumberOfWorkersGivesTheSameDatabase)
{
    const CStrings paths = {"A.dll", "S.dll", "B.dll", "Crash.dll", "C.dll", "Hang.dll", "Flaky.dll", "E.dll"};
    std::string single;
    for (unsigned jobs : {1u, 2u, 4u, 16u}) {
        SScript script;
        AddOutcomes(script);
        CScanDatabase database;
        CRecordingObserver observer;
        const SRunResult result = RunScan(database, script, Files(paths), jobs, observer);
        EXPECT_EQ(11u, result.finished) << jobs;
        EXPECT_EQ(paths.size(), observer.librariesDone.size()) << jobs;
        EXPECT_EQ((std::vector<std::size_t>{8, 11}), observer.planned) << jobs;
        EXPECT_EQ((CStrings{"Crash.dll", "Flaky.dll"}), (std::sort(observer.retried.begin(), observer.retried.end()),
                                                         observer.retried)) << jobs;
        EXPECT_EQ(13u, script.asked.size()) << jobs << ": each crash once more, nothing else twice";
        for (const auto& session : script.bySession) {
            const CStrings& asked = session.second;
            const auto shell = std::find(asked.begin(), asked.end(), "S.dll");
            const CStrings next(shell, shell + std::min<std::ptrdiff_t>(4, asked.end() - shell));
            EXPECT_TRUE(next.empty() || next == CStrings({"S.dll", "S.dll>00000053", "S.dll>00000051", "S.dll>00000052"}))
                << jobs << ": a shell's sub-plug-ins follow it on its session";
        }
        EXPECT_EQ(CStrings{"f1.mdmp"}, database.FindLibrary("Flaky.dll")->outcome.dumpFiles);
        EXPECT_EQ((CStrings{"c1.mdmp", "c2.mdmp"}), database.FindLibrary("Crash.dll")->outcome.dumpFiles);
        EXPECT_EQ(EOutcome::Scanned, database.FindLibrary("Flaky.dll")->outcome.kind);
        EXPECT_EQ("Plain S.dll>00000052", database.FindSubPlugin("S.dll", 0x52)->outcome.record.name);
        if (jobs == 1)
            single = database.ToJson();
        EXPECT_EQ(single, database.ToJson()) << jobs;
    }
}

TEST(ScanRun, ALaterRunScansOnlyWhatChanged)
{
    SScript script;
    AddOutcomes(script);
    CScanDatabase database;
    CRecordingObserver observer;
    std::vector<SLibraryFile> files = Files({"A.dll", "S.dll", "Crash.dll"});
    RunScan(database, script, files, 2, observer);
    struct SCase {
        /// touch: A.dll changed; retry: --retry; retry once: --retry without a crash's second attempt;
        /// shell: S.dll lists fewer, then times out; lost: an unchanged shell's sub-plug-in is missing
        const char* change;
        CStrings asked;
        CStrings entries;
        CStrings thisRun; ///< the entries marked as scanned by this run, none left from the runs before
    };
    const CStrings all = {"A.dll", "Crash.dll", "S.dll", "S.dll>00000051", "S.dll>00000052", "S.dll>00000053"};
    const SCase cases[] = {
        {"", {}, all, {}},
        {"lost", {"S.dll>00000052"}, all, {"S.dll>00000052"}},
        {"touch", {"A.dll"}, all, {"A.dll"}},
        {"retry", {"Crash.dll", "Crash.dll"}, all, {"Crash.dll"}},
        {"retry once", {"Crash.dll"}, all, {"Crash.dll"}},
        {"shell", {"S.dll", "S.dll>00000052"}, {"A.dll", "Crash.dll", "S.dll", "S.dll>00000052"},
         {"S.dll", "S.dll>00000052"}},
        {"timed out", {"S.dll"}, {"A.dll", "Crash.dll", "S.dll"}, {"S.dll"}},
    };
    for (const SCase& c : cases) {
        const std::string change = c.change;
        files[0].stamp.modified += change == "touch" ? 1 : 0;
        files[1].stamp.modified += change == "shell" || change == "timed out" ? 1 : 0;
        if (change == "shell")
            script.outcomes["S.dll"] = {ScannedOutcome(0x5300, "Shell", {{0x52, "Two"}})};
        if (change == "timed out")
            script.outcomes["S.dll"] = {ProblemOutcome(EOutcome::TimedOut, "no answer")};
        if (change == "lost")
            database.RemoveSubPluginsExcept("S.dll", {0x51, 0x53});
        script.asked.clear();
        SRunOptions options;
        options.plan.retryProblems = change == "retry" || change == "retry once";
        options.retryCrashes = change != "retry once";
        const SRunResult result = RunScan(database, script, files, 2, observer, options);
        EXPECT_EQ(c.asked, script.asked) << change;
        EXPECT_EQ(c.asked.size() - (change == "retry" ? 1 : 0), result.finished) << change;
        EXPECT_EQ(c.entries, Requests(database.Entries())) << change;
        CStrings thisRun;
        for (const SDatabaseEntry* entry : database.Entries())
            if (entry->scannedThisRun)
                thisRun.push_back(entry->Request());
        EXPECT_EQ(c.thisRun, thisRun) << change;
        EXPECT_EQ(change.empty() ? 3u : 2u, result.skippedLibraries) << change;
    }
    EXPECT_EQ(files[1].stamp, database.FindLibrary("S.dll")->stamp);
}

TEST(ScanRun, AMissingServerStopsTheRunUnlessItsPlatformIsOptional)
{
    // B.dll needs the x86 server, which is missing; A.dll and C.dll are x64 libraries.
    struct SCase {
        const char* missing;
        std::set<std::string> optional;
        bool stops;
        CStrings asked;
        std::size_t entries;
    };
    const SCase cases[] = {
        {kPlatformX64, {kPlatformX86}, true, {"A.dll"}, 0},
        {kPlatformX86, {}, true, {"A.dll", "B.dll"}, 1},
        {kPlatformX86, {kPlatformX86}, false, {"A.dll", "B.dll", "C.dll"}, 3},
    };
    for (const SCase& c : cases) {
        SScript script;
        SScanOutcome noServer = ProblemOutcome(EOutcome::NoServer, "cannot start ScanServer, error 2");
        noServer.platform = c.missing;
        const std::string x86Library = "B.dll";
        for (const char* path : {"A.dll", "B.dll", "C.dll"})
            script.outcomes[path] = {(path == x86Library) == (c.missing == std::string(kPlatformX86))
                                         ? noServer
                                         : ScannedOutcome(0x4100, path)};
        CScanDatabase database;
        CRecordingObserver observer;
        SRunOptions options;
        options.optionalPlatforms = c.optional;
        const SRunResult result = RunScan(database, script, Files({"A.dll", "B.dll", "C.dll"}), 1, observer, options);
        EXPECT_EQ(c.stops, result.serverFailed) << c.missing;
        EXPECT_EQ(c.stops ? noServer.error : "", result.serverError) << c.missing;
        EXPECT_EQ(c.asked, script.asked) << c.missing;
        EXPECT_EQ(c.entries, database.Size()) << c.missing;
        const SDatabaseEntry* x86 = database.FindLibrary(x86Library);
        EXPECT_EQ(!c.stops, x86 != nullptr && x86->outcome.kind == EOutcome::NoServer) << c.missing;
    }
}

TEST(ScanRun, AnInterruptedRunRecordsOnlyWhatEndedAndTheNextRunDoesTheRest)
{
    SScript script;
    AddOutcomes(script);
    script.interruptAt = "S.dll>00000051";
    const std::vector<SLibraryFile> files = Files({"A.dll", "S.dll", "B.dll"});
    CScanDatabase database;
    CRecordingObserver observer;
    EXPECT_TRUE(RunScan(database, script, files, 1, observer).interrupted);
    EXPECT_EQ((CStrings{"A.dll", "S.dll", "S.dll>00000053", "S.dll>00000051"}), script.asked)
        << "the killed request is not retried and nothing more is handed out";
    EXPECT_EQ((CStrings{"A.dll", "S.dll", "S.dll>00000053"}), Requests(database.Entries()));
    EXPECT_EQ(CStrings{"A.dll"}, observer.librariesDone);

    script.asked.clear();
    script.interruptAt.clear();
    script.interrupt = false;
    const SRunResult resumed = RunScan(database, script, files, 1, observer);
    EXPECT_FALSE(resumed.interrupted);
    EXPECT_EQ((CStrings{"S.dll>00000051", "S.dll>00000052", "B.dll"}), script.asked);
    EXPECT_EQ(3u, resumed.finished);
    EXPECT_EQ(3u, resumed.skipped);
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
        bool fill;          ///< scannedThisRun is filled (a host's default)
        std::set<std::string> thisRun;
    };
    const SCase cases[] = {
        {"f0 t0.1 f0.2 t0.3 t0.6 t0.7", 0, "0.1 0.6", "psftfttt", true, {"A.dll"}},
        {"t0 l0.1 f0.2 l0.3 f0.4 l0.5 d0.6 l0.9 t1.5", 0, "0.3 0.9", "pstffdt", true, {"A.dll"}},
        // A save of 0.1 s waits 20 times as long from its end: not at 0.7, at 2.3.
        {"f0 t0.1 f0.2 t0.7 t1.0 t2.1 t2.3 t2.5", 0.1, "0.1 2.3", "psftfttttt", true, {"A.dll"}},
        {"t0 d0.1 t0.2", 0, "", "pstdt", true, {}},
        // A caller that reads the entries' own mark is given no set.
        {"f0 t0.1 f0.2 t0.3 t0.6 t0.7", 0, "0.1 0.6", "psftfttt", false, {}},
    };
    for (const SCase& c : cases) {
        CScanDatabase database;
        SRecordingPrinter printer;
        double now = 0;
        std::string saves;
        CScanProgress progress(database, printer, [&now] { return now; },
                               [&](const CScanDatabase&, std::string&) {
                                   saves += (saves.empty() ? "" : " ") + std::to_string(now).substr(0, 3);
                                   now += c.saveTakes;
                                   return true;
                               });
        if (!c.fill)
            progress.FillScannedThisRun(false);
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
        EXPECT_EQ(c.thisRun, progress.scannedThisRun) << c.events;
    }
}

} // namespace

// The scan run over scripted sessions: shells and their sub-plug-ins on one
// session, crash retries and their dumps, the incremental rules, resuming,
// parallel runs that give the same database, a run that finds no server, and
// an interrupted run.

#include "client/ScanRun.h"

#include "client/ClientTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using CStrings = std::vector<std::string>;

const SFileStamp kStamp{4096, 777};

/// What every scripted session answers, and what each was asked.
class CScript {
public:
    /// outcomes[request]: the answers to the first, second, ... time it is asked
    /// (the last one repeats); requests not listed scan as a plain effect.
    std::map<std::string, std::vector<SScanOutcome>> outcomes;

    SScanOutcome Answer(unsigned session, const std::string& request)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        asked.push_back(request);
        bySession[session].push_back(request);
        const std::size_t attempt = m_attempts[request]++;
        const auto found = outcomes.find(request);
        if (found == outcomes.end())
            return ScannedOutcome(static_cast<uint32_t>(request.size()), "Plain " + request);
        const std::vector<SScanOutcome>& answers = found->second;
        return answers[std::min(attempt, answers.size() - 1)];
    }

    CStrings asked;
    std::map<unsigned, CStrings> bySession;
    /// The run's interrupt; set, as Ctrl+C would, when interruptAt is asked.
    std::atomic<bool> interrupt{false};
    std::string interruptAt;

private:
    std::mutex m_mutex;
    std::map<std::string, std::size_t> m_attempts;
};

class CScriptedSession : public CScanSession {
public:
    CScriptedSession(CScript& script, unsigned worker) : m_script(script), m_worker(worker) {}
    SScanOutcome Scan(const std::string& request, const SScanObserver& observer) override
    {
        const SScanOutcome answer = m_script.Answer(m_worker, request);
        if (request != m_script.interruptAt)
            return answer;
        m_script.interrupt = true;
        std::unique_lock<std::mutex> lock(m_mutex);
        // Not interrupted in time: the plain answer, which the test then finds recorded.
        if (!m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_interrupted; }))
            return answer;
        return ProblemOutcome(EOutcome::Crashed, "killed"); // what a killed server looks like
    }

    void Interrupt() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = true;
        m_changed.notify_all();
    }

private:
    CScript& m_script;
    unsigned m_worker;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_interrupted = false;
};

class CRecordingObserver : public CRunObserver {
public:
    void OnPlanned(std::size_t requests) override { planned.push_back(requests); }
    void OnFinished(const SDatabaseEntry& entry, bool wasRetried) override
    {
        finished.push_back(entry.Request());
        if (wasRetried)
            retried.push_back(entry.Request());
    }
    void OnLibraryDone(const std::string& path) override { librariesDone.push_back(path); }

    std::vector<std::size_t> planned;
    CStrings finished;
    CStrings retried;
    CStrings librariesDone;
};

SRunResult RunScan(CScanDatabase& database, CScript& script, const std::vector<SLibraryFile>& files, unsigned jobs,
                   CRecordingObserver& observer, SPlanOptions plan = SPlanOptions())
{
    SRunOptions options;
    options.jobs = jobs;
    options.plan = plan;
    options.interrupt = &script.interrupt;
    CScanRun run(
        database, options,
        [&script](unsigned worker) { return std::make_unique<CScriptedSession>(script, worker); }, observer,
        [] { return std::string("2024-03-07T09:05:01Z"); });
    return run.Run(files);
}

std::vector<SLibraryFile> Files(const CStrings& paths, SFileStamp stamp = kStamp)
{
    std::vector<SLibraryFile> files;
    for (const std::string& path : paths)
        files.push_back(SLibraryFile{path, stamp});
    return files;
}

SScanOutcome Crash(const std::string& dump = std::string())
{
    SScanOutcome outcome = ProblemOutcome(EOutcome::Crashed, "the scan server crashed (exit code 9)");
    outcome.exitCode = 9;
    if (!dump.empty())
        outcome.dumpFiles.push_back(dump);
    return outcome;
}

/// Makes S.dll a shell of three sub-plug-ins; other libraries stay plain.
void AddShell(CScript& script)
{
    script.outcomes["S.dll"] = {ScannedOutcome(0x5300, "Shell", {{0x53, "Three"}, {0x51, "One"}, {0x52, "Two"}})};
}

TEST(ScanRun, ShellSubPluginsFollowTheShellOnItsSession)
{
    for (unsigned jobs : {1u, 3u}) {
        CScript script;
        AddShell(script);
        CScanDatabase database;
        CRecordingObserver observer;
        const SRunResult result = RunScan(database, script, Files({"A.dll", "S.dll", "B.dll", "C.dll"}), jobs, observer);
        EXPECT_EQ(7u, result.finished) << jobs;
        EXPECT_EQ(4u, observer.librariesDone.size()) << jobs;
        EXPECT_EQ((std::vector<std::size_t>{4, 7}), observer.planned) << jobs;
        bool found = false;
        for (const auto& session : script.bySession) {
            const CStrings& asked = session.second;
            for (std::size_t index = 0; index < asked.size(); ++index) {
                if (asked[index] != "S.dll")
                    continue;
                found = true;
                ASSERT_GE(asked.size(), index + 4) << jobs;
                EXPECT_EQ((CStrings{"S.dll>00000053", "S.dll>00000051", "S.dll>00000052"}),
                          CStrings(asked.begin() + static_cast<long>(index) + 1,
                                   asked.begin() + static_cast<long>(index) + 4))
                    << jobs;
            }
        }
        EXPECT_TRUE(found) << jobs;
        EXPECT_EQ((CStrings{"A.dll", "B.dll", "C.dll", "S.dll", "S.dll>00000051", "S.dll>00000052", "S.dll>00000053"}),
                  Requests(database.Entries()))
            << jobs;
        EXPECT_EQ("Plain S.dll>00000052", database.FindSubPlugin("S.dll", 0x52)->outcome.record.name);
    }
}

TEST(ScanRun, ACrashIsRetriedOnceBeforeItIsRecorded)
{
    CScript script;
    script.outcomes["Flaky.dll"] = {Crash("f1.mdmp"), ScannedOutcome(0x46, "Flaky")};
    script.outcomes["Crash.dll"] = {Crash("c1.mdmp"), Crash("c2.mdmp")};
    script.outcomes["Hang.dll"] = {ProblemOutcome(EOutcome::TimedOut, "no answer")};
    script.outcomes["Bad.dll"] = {ProblemOutcome(EOutcome::Failed, "Failed to load library, err=193")};
    CScanDatabase database;
    CRecordingObserver observer;
    RunScan(database, script, Files({"Flaky.dll", "Crash.dll", "Hang.dll", "Bad.dll"}), 1, observer);
    EXPECT_EQ((CStrings{"Flaky.dll", "Flaky.dll", "Crash.dll", "Crash.dll", "Hang.dll", "Bad.dll"}), script.asked);
    EXPECT_EQ((CStrings{"Flaky.dll", "Crash.dll"}), observer.retried);
    EXPECT_EQ(EOutcome::Scanned, database.FindLibrary("Flaky.dll")->outcome.kind);
    EXPECT_EQ(EOutcome::Crashed, database.FindLibrary("Crash.dll")->outcome.kind);
    EXPECT_EQ(CStrings{"f1.mdmp"}, database.FindLibrary("Flaky.dll")->outcome.dumpFiles);
    EXPECT_EQ((CStrings{"c1.mdmp", "c2.mdmp"}), database.FindLibrary("Crash.dll")->outcome.dumpFiles);
    EXPECT_EQ(EOutcome::TimedOut, database.FindLibrary("Hang.dll")->outcome.kind);
    EXPECT_EQ(EOutcome::Failed, database.FindLibrary("Bad.dll")->outcome.kind);
}

TEST(ScanRun, ASecondRunScansOnlyWhatChanged)
{
    CScript script;
    AddShell(script);
    script.outcomes["Crash.dll"] = {Crash()};
    CScanDatabase database;
    CRecordingObserver first;
    RunScan(database, script, Files({"A.dll", "S.dll", "Crash.dll"}), 2, first);
    script.asked.clear();

    CRecordingObserver second;
    const SRunResult unchanged = RunScan(database, script, Files({"A.dll", "S.dll", "Crash.dll"}), 2, second);
    EXPECT_EQ(CStrings{}, script.asked);
    EXPECT_EQ(0u, unchanged.finished);
    EXPECT_EQ(6u, unchanged.skipped);
    EXPECT_EQ(3u, unchanged.skippedLibraries);

    std::vector<SLibraryFile> files = Files({"A.dll", "S.dll", "Crash.dll"});
    files[0].stamp.modified += 1;
    CRecordingObserver third;
    const SRunResult touched = RunScan(database, script, files, 2, third);
    EXPECT_EQ(CStrings{"A.dll"}, script.asked);
    EXPECT_EQ(1u, touched.finished);
    EXPECT_EQ(5u, touched.skipped);

    script.asked.clear();
    CRecordingObserver fourth;
    RunScan(database, script, files, 2, fourth, SPlanOptions{false, true});
    EXPECT_EQ((CStrings{"Crash.dll", "Crash.dll"}), script.asked) << "retried, and retried once more after its crash";
}

TEST(ScanRun, AnInterruptedShellResumesWithTheMissingSubPlugins)
{
    CScript script;
    AddShell(script);
    CScanDatabase database;
    database.Put(Entry("S.dll", kStamp,
                       ScannedOutcome(0x5300, "Shell", {{0x53, "Three"}, {0x51, "One"}, {0x52, "Two"}})));
    database.Put(SubEntry("S.dll", 0x53, kStamp, ScannedOutcome(0x53, "Three")));
    CRecordingObserver observer;
    const SRunResult result = RunScan(database, script, Files({"S.dll"}), 1, observer);
    EXPECT_EQ((CStrings{"S.dll>00000051", "S.dll>00000052"}), script.asked);
    EXPECT_EQ(2u, result.finished);
    EXPECT_EQ(2u, result.skipped);
    EXPECT_EQ(4u, database.Size());
}

TEST(ScanRun, AShellThatChangedDropsTheSubPluginsItNoLongerLists)
{
    CScript script;
    script.outcomes["S.dll"] = {ScannedOutcome(0x5300, "Shell", {{0x52, "Two"}})};
    CScanDatabase database;
    database.Put(Entry("S.dll", SFileStamp{1, 1},
                       ScannedOutcome(0x5300, "Shell", {{0x51, "One"}, {0x52, "Two"}})));
    database.Put(SubEntry("S.dll", 0x51, SFileStamp{1, 1}, ScannedOutcome(0x51, "One")));
    database.Put(SubEntry("S.dll", 0x52, SFileStamp{1, 1}, ScannedOutcome(0x52, "Two")));
    CRecordingObserver observer;
    RunScan(database, script, Files({"S.dll"}), 1, observer);
    EXPECT_EQ((CStrings{"S.dll", "S.dll>00000052"}), Requests(database.Entries()));
    EXPECT_EQ(kStamp, database.FindSubPlugin("S.dll", 0x52)->stamp);

    script.outcomes["S.dll"] = {ProblemOutcome(EOutcome::TimedOut, "no answer")};
    RunScan(database, script, Files({"S.dll"}, SFileStamp{2, 2}), 1, observer);
    EXPECT_EQ(CStrings{"S.dll"}, Requests(database.Entries()));
}

TEST(ScanRun, ParallelRunsGiveTheSameDatabaseAsOne)
{
    const CStrings paths = {"A.dll", "S.dll", "B.dll", "Crash.dll", "C.dll", "D.dll", "Flaky.dll", "E.dll"};
    std::string single;
    for (unsigned jobs : {1u, 2u, 4u, 16u}) {
        CScript script;
        AddShell(script);
        script.outcomes["Crash.dll"] = {Crash()};
        script.outcomes["Flaky.dll"] = {Crash(), ScannedOutcome(0x46, "Flaky")};
        CScanDatabase database;
        CRecordingObserver observer;
        RunScan(database, script, Files(paths), jobs, observer);
        if (jobs == 1)
            single = database.ToJson();
        else
            EXPECT_EQ(single, database.ToJson()) << jobs;
    }
}

TEST(ScanRun, ARunWithoutAServerStopsAndRecordsNothingForIt)
{
    CScript script;
    SScanOutcome noServer = ProblemOutcome(EOutcome::NoServer, "cannot start ScanServer-x64.exe, error 2");
    for (const char* path : {"A.dll", "B.dll", "C.dll", "D.dll"})
        script.outcomes[path] = {noServer};
    CScanDatabase database;
    CRecordingObserver observer;
    const SRunResult result = RunScan(database, script, Files({"A.dll", "B.dll", "C.dll", "D.dll"}), 1, observer);
    EXPECT_TRUE(result.serverFailed);
    EXPECT_EQ("cannot start ScanServer-x64.exe, error 2", result.serverError);
    EXPECT_EQ(CStrings{"A.dll"}, script.asked);
    EXPECT_EQ(0u, database.Size());
}

TEST(ScanRun, AnInterruptedRunRecordsOnlyWhatEndedAndTheNextRunDoesTheRest)
{
    CScript script;
    AddShell(script);
    script.interruptAt = "S.dll>00000051";
    const std::vector<SLibraryFile> files = Files({"A.dll", "S.dll", "B.dll"});
    CScanDatabase database;
    CRecordingObserver observer;
    const SRunResult result = RunScan(database, script, files, 1, observer);
    EXPECT_TRUE(result.interrupted);
    EXPECT_EQ((CStrings{"A.dll", "S.dll", "S.dll>00000053", "S.dll>00000051"}), script.asked)
        << "the killed request is not retried and nothing more is handed out";
    EXPECT_EQ((CStrings{"A.dll", "S.dll", "S.dll>00000053"}), Requests(database.Entries()));
    EXPECT_EQ(CStrings{"A.dll"}, observer.librariesDone);

    script.asked.clear();
    script.interruptAt.clear();
    script.interrupt = false;
    EXPECT_FALSE(RunScan(database, script, files, 1, observer).interrupted);
    EXPECT_EQ((CStrings{"S.dll>00000051", "S.dll>00000052", "B.dll"}), script.asked);
}

} // namespace

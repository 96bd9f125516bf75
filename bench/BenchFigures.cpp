#include "bench/BenchFigures.h"

#include "bench/BenchProcess.h"
#include "bench/HeapProbe.h"
#include "bench/MinimalHost.h"
#include "client/DatabaseFile.h"
#include "client/ScanClient.h"
#include "client/ScanProgress.h"
#include "client/ServerConnection.h"

#include <tessivane/scan.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

namespace {

using CClock = std::chrono::steady_clock;

constexpr uint32_t kExitWaitMs = 30000;
constexpr double kMegabyte = 1024.0 * 1024.0;
/// Figure 5: the heap probe's requests in a row that measure what the probe's own requests leave.
constexpr int kProbeRepeats = 50;

double SecondsSince(CClock::time_point start) { return std::chrono::duration<double>(CClock::now() - start).count(); }

/// One server driven through the client, with every failure turned into a text.
class CBenchServer {
public:
    ~CBenchServer()
    {
        if (m_connection.IsRunning())
            m_connection.Kill();
    }

    /// Starts the program and waits for its first "ready:".
    std::string Start(const std::string& program)
    {
        SServerOptions options;
        options.serverPath = program;
        if (!m_connection.Start(options))
            return m_connection.GetError();
        return m_connection.ReadUntilReady(nullptr) == EWaitResult::Ready ? std::string()
                                                                           : program + " did not become ready";
    }

    /// One request up to the next "ready:"; a logged error fails it unless one
    /// is expected. lines, when given, gets the number of lines the request
    /// produced (ready included).
    std::string Request(const std::string& request, std::size_t* lines = nullptr, bool errorExpected = false)
    {
        m_lines.clear();
        if (!m_connection.SendRequest(request))
            return "the server's input closed before \"" + request + "\"";
        if (m_connection.ReadUntilReady(&m_lines) != EWaitResult::Ready)
            return "no \"ready:\" after \"" + request + "\"";
        bool failed = false;
        for (const std::string& line : m_lines)
            failed = failed || line.compare(0, 6, "error:") == 0;
        if (failed != errorExpected)
            return "\"" + request + "\" " + (failed ? "failed" : "did not fail as expected");
        if (lines != nullptr)
            *lines = m_lines.size() + 1;
        return std::string();
    }

    /// Closes the server's input: it begins to shut down.
    void CloseInput() { m_connection.CloseInput(); }

    /// Closes the input and waits for the exit code 0.
    std::string Stop()
    {
        m_connection.CloseInput();
        uint32_t exitCode = 0;
        if (!m_connection.WaitForExit(kExitWaitMs, exitCode))
            return "a server did not exit after its input closed";
        return exitCode == 0 ? std::string() : "a server exited with " + std::to_string(exitCode);
    }

    SMemoryCounters Memory() const { return ProcessMemory(m_connection); }
    std::vector<std::string> Libraries() const { return LoadedLibraries(m_connection); }

private:
    CServerConnection m_connection;
    std::vector<std::string> m_lines;
};

/// Servers whose input is closed and whose ends are awaited at the end of the
/// round: a Wine prefix that expects a window manager where there is none
/// makes a server's orderly exit wait two seconds for its splash window to be
/// withdrawn (tools/wine-env.sh tells ours). Such waits sleep, so they overlap
/// with the next measurements instead of adding up.
std::vector<std::unique_ptr<CBenchServer>> g_retiredServers;
std::vector<std::unique_ptr<CMinimalHost>> g_retiredHosts;

void Retire(std::unique_ptr<CBenchServer> server)
{
    server->CloseInput();
    g_retiredServers.push_back(std::move(server));
}

void Retire(std::unique_ptr<CMinimalHost> host)
{
    host->CloseInput();
    g_retiredHosts.push_back(std::move(host));
}

struct SLimitRun {
    double microseconds = 0;     ///< for all requests
    double workingSetBefore = 0; ///< bytes, after the untimed first request
    double workingSetAfter = 0;  ///< bytes, after the last request
};

/// Runs the in-process limit holding the server's libraries; false with error.
/// With a probe, the heap probe is requested before and after the requests.
bool RunInProcessLimit(const SBenchSetup& setup, const std::string& library, int requests, std::size_t lines,
                       const std::vector<std::string>& serverLibraries, SLimitRun& result, std::string& error,
                       const std::string& probe = std::string())
{
    std::vector<std::string> arguments = {library, std::to_string(requests), std::to_string(lines)};
    if (!probe.empty())
        arguments.insert(arguments.end(), {"--probe", probe});
    arguments.insert(arguments.end(), serverLibraries.begin(), serverLibraries.end());
    const SProcessRun run = RunProgram(setup.inProcessLimit, arguments);
    if (!run.started) {
        error = run.error;
        return false;
    }
    // The result follows the lines the program wrote for the protocol's share.
    const std::size_t found = run.output.rfind("elapsed: ");
    const char* text = found == std::string::npos ? "" : run.output.c_str() + found + 9;
    char* rest = nullptr;
    result.microseconds = std::strtod(text, &rest);
    result.workingSetBefore = std::strtod(rest, &rest);
    result.workingSetAfter = std::strtod(rest, &rest);
    if (run.exitCode != 0 || result.microseconds <= 0) {
        const std::size_t tail = std::min<std::size_t>(run.output.size(), 500);
        error = "InProcessLimit failed: " + run.output.substr(run.output.size() - tail);
        return false;
    }
    return true;
}

struct SStartTimes {
    double readyMs = 0; ///< from starting the process to its first "ready:"
    double exitMs = 0;  ///< from closing its input to its end
};

/// One start; the exit is timed when asked, else the process is ended at once
/// (one timed exit a round tells what an exit costs).
SStartTimes TimeOneStart(const std::string& program, bool timeExit, std::string& error)
{
    SStartTimes times;
    CBenchServer server;
    CClock::time_point start = CClock::now();
    error = server.Start(program);
    times.readyMs = SecondsSince(start) * 1000;
    if (!error.empty() || !timeExit)
        return times;
    start = CClock::now();
    error = server.Stop();
    times.exitMs = SecondsSince(start) * 1000;
    return times;
}

/// Starts a server and scans the requests; its exit is left to Stop.
std::string StartAndScan(CBenchServer& server, const std::string& program, const std::vector<std::string>& requests)
{
    std::string error = server.Start(program);
    for (std::size_t index = 0; error.empty() && index < requests.size(); ++index)
        error = server.Request(requests[index]);
    return error;
}

std::string ScratchDatabase(const SBenchSetup& setup) { return setup.scratch + BenchSystem().separator + "bench-plugins.json"; }

/// Runs the scanner with the arguments to its end; what went wrong, if anything.
std::string TimeScannerRun(const SBenchSetup& setup, const std::vector<std::string>& arguments, double& seconds,
                           double* peakMegabytes = nullptr)
{
    const CClock::time_point start = CClock::now();
    const SProcessRun run = RunProgram(setup.scanner, arguments);
    seconds = SecondsSince(start);
    if (peakMegabytes != nullptr)
        *peakMegabytes = static_cast<double>(run.peakMemory) / kMegabyte;
    if (!run.started)
        return run.error;
    std::string command = "PluginScanner";
    for (const std::string& argument : arguments)
        command += " " + argument;
    return run.exitCode == 0 ? std::string()
                             : command + " ended with " + std::to_string(run.exitCode) + ":\n" + run.output;
}

/// The scanner over a folder from an empty database.
std::string TimeScanner(const SBenchSetup& setup, const std::string& folder, unsigned jobs, double& seconds)
{
    const std::string database = ScratchDatabase(setup);
    RemoveFile(database);
    return TimeScannerRun(setup, {"scan", folder, "--jobs", std::to_string(jobs), "--db", database}, seconds);
}

/// Seconds the scanner's code takes to save the database file as it is now:
/// the fastest of a few saves of it to a scratch file.
double TimeDatabaseSave(const std::string& databasePath, const std::string& scratchPath, std::string& error)
{
    CScanDatabase database;
    std::vector<std::string> rejected;
    if (!ReadDatabaseFile(databasePath, database, error, rejected))
        return 0;
    double fastest = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const CClock::time_point start = CClock::now();
        const auto text = [&database](const CScanDatabase::CTextWriter& write) { return database.WriteJson(write); };
        if (!WriteFileAtomically(scratchPath, text, error))
            return 0;
        const double seconds = SecondsSince(start);
        fastest = attempt == 0 ? seconds : std::min(fastest, seconds);
    }
    RemoveFile(scratchPath);
    return fastest;
}

/// The seconds a run of runSeconds spends saving, when it saves on the
/// scan engine's schedule (client/ScanProgress.h) and a save costs in proportion
/// to the entries done so far, up to finalSave for the whole database at the end.
double ScheduledSaveSeconds(double runSeconds, double finalSave)
{
    double total = finalSave; // the save at the end
    double lastSave = 0;
    for (double now = SaveInterval(0); now < runSeconds; now += SaveInterval(lastSave)) {
        lastSave = finalSave * now / runSeconds;
        total += lastSave;
        now += lastSave;
    }
    return total;
}

/// The heap probe's figures, by field name.
using CProbeFigures = std::map<std::string, double>;

std::string HeapProbeFile(const SBenchSetup& setup)
{
    return setup.scratch + BenchSystem().separator + "heap-probe.txt";
}

/// Starts the server with the probe's file named in its environment (the file
/// removed first); the variable is removed again at once, so that no other
/// server writes there.
std::string StartProbedServer(CBenchServer& server, const SBenchSetup& setup)
{
    if (setup.heapProbe.empty())
        return server.Start(setup.server);
    RemoveFile(HeapProbeFile(setup));
    SetVariable(kHeapProbeFileVariable, HeapProbeFile(setup));
    const std::string error = server.Start(setup.server);
    SetVariable(kHeapProbeFileVariable, std::string());
    return error;
}

/// The fields of every line the probe wrote to its file, in order.
std::vector<CProbeFigures> ReadProbeLines(const SBenchSetup& setup)
{
    std::istringstream text(ReadWholeFile(HeapProbeFile(setup)));
    std::vector<CProbeFigures> lines;
    std::string line;
    while (std::getline(text, line)) {
        std::istringstream fields(line);
        CProbeFigures figures;
        std::string field;
        while (fields >> field) {
            const std::size_t equals = field.find('=');
            if (equals != std::string::npos)
                figures[field.substr(0, equals)] = std::strtod(field.c_str() + equals + 1, nullptr);
        }
        lines.push_back(figures);
    }
    return lines;
}

/// The probe's last count lines, oldest first; what went wrong when there are
/// fewer or one lacks the C runtime's heap.
std::string LastProbeLines(const SBenchSetup& setup, std::size_t count, std::vector<CProbeFigures>& last)
{
    const std::vector<CProbeFigures> lines = ReadProbeLines(setup);
    if (lines.size() < count)
        return "the heap probe wrote fewer lines than it was requested to " + HeapProbeFile(setup);
    last.assign(lines.end() - static_cast<std::ptrdiff_t>(count), lines.end());
    for (const CProbeFigures& figures : last) {
        if (figures.count(heap_probe_field::kCrtUsed) == 0)
            return "the heap probe wrote no figures of the C runtime's heap to " + HeapProbeFile(setup);
    }
    return std::string();
}

/// Requests the probe and reads the fields of the line it wrote.
std::string ReadHeapProbe(CBenchServer& server, const SBenchSetup& setup, CProbeFigures& figures)
{
    std::string error = server.Request(setup.heapProbe);
    std::vector<CProbeFigures> last;
    if (error.empty())
        error = LastProbeLines(setup, 1, last);
    if (error.empty())
        figures = last.front();
    return error;
}

/// "<prefix><field>": how much each field grew per request between two readings.
void AddProbeGrowth(const std::string& prefix, const CProbeFigures& before, const CProbeFigures& after,
                    int requests, CRoundValues& values)
{
    for (const auto& field : after) {
        const auto earlier = before.find(field.first);
        if (earlier != before.end())
            values.Add(prefix + field.first, (field.second - earlier->second) / requests);
    }
}

/// "memory.missing.growth": the server's working set growth per request, in
/// kilobytes, for requests whose library does not exist, so that no plug-in
/// code runs and every byte of growth would be the server's own.
std::string MeasureGrowthWithoutPlugIn(const SBenchSetup& setup, CRoundValues& values)
{
    const std::string missing = setup.scratch + BenchSystem().separator + "NoSuchPlugin" + BenchSystem().librarySuffix;
    const int requests = std::max(2, setup.footprintRequests / 2);
    auto server = std::make_unique<CBenchServer>();
    std::string error = StartProbedServer(*server, setup);
    if (error.empty())
        error = server->Request(missing, nullptr, true);
    // The probe's requests lie outside the host's readings.
    CProbeFigures probedBefore;
    if (error.empty() && !setup.heapProbe.empty())
        error = ReadHeapProbe(*server, setup, probedBefore);
    const SMemoryCounters before = server->Memory();
    for (int request = 1; error.empty() && request < requests; ++request)
        error = server->Request(missing, nullptr, true);
    const SMemoryCounters after = server->Memory();
    CProbeFigures probedAfter;
    if (error.empty() && !setup.heapProbe.empty())
        error = ReadHeapProbe(*server, setup, probedAfter);
    if (!error.empty())
        return error;
    if (!before.valid || !after.valid)
        return "the server's memory counters cannot be read";
    const double grown = static_cast<double>(after.workingSet) - static_cast<double>(before.workingSet);
    values.Add("memory.missing.growth", grown / 1024 / (requests - 1));
    AddProbeGrowth("heap.missing.", probedBefore, probedAfter, requests - 1, values);
    Retire(std::move(server));
    return std::string();
}

/// A host's requests through the C library over the same server: each a whole
/// tvs_scan, its result read and freed; the first (the server's start) untimed.
std::string TimeLibraryRequests(const SBenchSetup& setup, const std::string& library, int requests, double& seconds)
{
    tvs_options options;
    tvs_options_init(&options);
    options.server = setup.server.c_str();
    tvs_scanner* const scanner = tvs_scanner_new(&options);
    if (scanner == nullptr)
        return "the C library made no scanner";
    std::string error;
    const auto scan = [&] {
        tvs_result* const result = tvs_scan(scanner, library.c_str());
        if (result == nullptr || tvs_result_outcome(result) != TVS_SCANNED)
            error = "\"" + library + "\" through the C library: " +
                    (result != nullptr ? tvs_result_error(result) : "out of memory");
        tvs_result_free(result);
    };
    scan();
    const CClock::time_point start = CClock::now();
    for (int request = 0; error.empty() && request < requests; ++request)
        scan();
    seconds = SecondsSince(start);
    tvs_scanner_free(scanner);
    return error;
}

/// A host's requests through the C++ scan client over the same server: each
/// a whole Scan (the file's header checked, the record parsed); the first
/// (the server's start) untimed.
std::string TimeScanClientRequests(const SBenchSetup& setup, const std::string& library, int requests,
                                   double& seconds)
{
    SScanClientOptions options;
    options.serverPath = setup.server;
    CScanClient client(options);
    std::string error;
    const auto scan = [&] {
        const SScanOutcome outcome = client.Scan(library);
        if (outcome.kind != EOutcome::Scanned)
            error = "\"" + library + "\" through the scan client: " + outcome.error;
    };
    scan();
    const CClock::time_point start = CClock::now();
    for (int request = 0; error.empty() && request < requests; ++request)
        scan();
    seconds = SecondsSince(start);
    return error;
}

/// Requests per second of the minimal host over program: one untimed request, then requests timed.
bool TimeMinimalHost(const std::string& program, const std::string& library, int requests, double& rate)
{
    auto host = std::make_unique<CMinimalHost>();
    bool served = host->Start(program) && host->Request(library);
    const CClock::time_point start = CClock::now();
    for (int request = 0; served && request < requests; ++request)
        served = host->Request(library);
    rate = requests / SecondsSince(start);
    Retire(std::move(host));
    return served;
}

} // namespace

std::string MeasureRequestCost(const SBenchSetup& setup, const std::string& key, const std::string& library,
                               int requests, CRoundValues& values, SRequestFacts& facts)
{
    auto server = std::make_unique<CBenchServer>();
    std::string error = server->Start(setup.server);
    // The first request is untimed, as in the limit program, and counts the lines.
    if (error.empty())
        error = server->Request(library, &facts.linesPerRequest);
    const std::vector<std::string> serverLibraries = server->Libraries();
    facts.serverLibraries = serverLibraries.size();
    if (error.empty() && serverLibraries.empty())
        error = "the server's loaded libraries cannot be read";
    const CClock::time_point start = CClock::now();
    for (int request = 0; error.empty() && request < requests; ++request)
        error = server->Request(library);
    const double seconds = SecondsSince(start);
    if (!error.empty())
        return error;
    Retire(std::move(server));
    values.Add(key + ".server", requests / seconds);

    double librarySeconds = 0;
    error = TimeLibraryRequests(setup, library, requests, librarySeconds);
    if (!error.empty())
        return error;
    values.Add(key + ".library", requests / librarySeconds);

    double scanClientSeconds = 0;
    error = TimeScanClientRequests(setup, library, requests, scanClientSeconds);
    if (!error.empty())
        return error;
    values.Add(key + ".scanClient", requests / scanClientSeconds);

    double minimalRate = 0;
    if (!TimeMinimalHost(setup.server, library, requests, minimalRate))
        return "the server failed under the minimal host";
    values.Add(key + ".minimalHost", minimalRate);
    // The protocol's round trip alone: the same host over a program that
    // answers every request with "ready:" at once.
    double roundTripRate = 0;
    if (!TimeMinimalHost(setup.readyLimit, library, requests, roundTripRate))
        return "the ready limit did not answer the minimal host";
    values.Add(key + ".roundTrip", roundTripRate);

    SLimitRun withoutProtocol;
    if (!RunInProcessLimit(setup, library, requests, 0, serverLibraries, withoutProtocol, error))
        return error;
    values.Add(key + ".limitA", requests / (withoutProtocol.microseconds / 1e6));
    SLimitRun withLines;
    if (!RunInProcessLimit(setup, library, requests, facts.linesPerRequest, serverLibraries, withLines, error))
        return error;
    values.Add(key + ".limitB", requests / (withLines.microseconds / 1e6));
    return std::string();
}

std::string MeasureServerModels(const SBenchSetup& setup, int round, CRoundValues& values)
{
    // The clock stops at the last answer: a host needs the answers, not the
    // servers' ends. The exits are awaited (and checked) with the round's.
    CClock::time_point start = CClock::now();
    auto persistent = std::make_unique<CBenchServer>();
    std::string error = StartAndScan(*persistent, setup.server, setup.libraryCopies);
    values.Add("files.persistent", SecondsSince(start));
    if (!error.empty())
        return error;
    Retire(std::move(persistent));

    const std::size_t files = setup.libraryCopies.size();
    const std::size_t share = std::min<std::size_t>(static_cast<std::size_t>(setup.freshFiles), files);
    start = CClock::now();
    for (std::size_t index = 0; error.empty() && index < share; ++index) {
        const std::string& library = setup.libraryCopies[(static_cast<std::size_t>(round) * share + index) % files];
        auto fresh = std::make_unique<CBenchServer>();
        error = StartAndScan(*fresh, setup.server, {library});
        Retire(std::move(fresh));
    }
    if (error.empty())
        values.Add("files.fresh", SecondsSince(start) / static_cast<double>(share));
    return error;
}

std::string MeasureStartUp(const SBenchSetup& setup, CRoundValues& values)
{
    struct SProgram {
        const std::string& path;
        const char* key;
        std::vector<double> ready;
    };
    std::vector<SProgram> programs = {{setup.server, "server", {}}};
    // A server without start-up work of its own (no splash) has no StartupLimit.
    if (!setup.startupLimit.empty())
        programs.push_back({setup.startupLimit, "startupLimit", {}});
    programs.push_back({setup.readyLimit, "limit", {}});
    std::string error;
    // Alternating, so that every program meets the same moments of the machine.
    for (int start = 0; error.empty() && start < setup.starts; ++start) {
        const bool timeExit = start == 0;
        for (SProgram& program : programs) {
            const SStartTimes times = TimeOneStart(program.path, timeExit, error);
            if (!error.empty())
                return error;
            program.ready.push_back(times.readyMs);
            if (timeExit)
                values.Add(std::string("exit.") + program.key, times.exitMs);
        }
    }
    for (const SProgram& program : programs)
        values.Add(std::string("start.") + program.key, Summarise(program.ready).median);
    return std::string();
}

std::string MeasureShellScale(const SBenchSetup& setup, int round, CRoundValues& values)
{
    auto server = std::make_unique<CBenchServer>();
    std::string error = server->Start(setup.server);
    if (!error.empty())
        return error;
    CClock::time_point start = CClock::now();
    std::size_t lines = 0;
    error = server->Request(setup.shellBig, &lines);
    if (!error.empty())
        return error;
    values.Add("shell.enumeration", SecondsSince(start) * 1000);
    values.Add("shell.enumeration.lines", static_cast<double>(lines));

    const SMemoryCounters before = server->Memory();
    start = CClock::now();
    for (int request = 0; error.empty() && request < setup.shellRequests; ++request) {
        const int position = (round * setup.shellRequests + request) % kBigShellSubPlugins;
        error = server->Request(setup.shellBig + ">" + HexId(kBigShellFirstId + static_cast<uint32_t>(position)));
    }
    if (!error.empty())
        return error;
    values.Add("shell.big", SecondsSince(start) * 1e6 / setup.shellRequests);
    // The whole probe runs, but no library is loaded or freed: growth here
    // would be the server's (or the effect's) own.
    const SMemoryCounters after = server->Memory();
    if (before.valid && after.valid)
        values.Add("shell.growth", (static_cast<double>(after.workingSet) - static_cast<double>(before.workingSet)) /
                                       1024 / setup.shellRequests);

    // The sample shell's three instruments, TsI1..TsI3, in turn.
    constexpr uint32_t kSmallShellFirstId = 0x54734931;
    error = server->Request(setup.smallShell);
    start = CClock::now();
    for (int request = 0; error.empty() && request < setup.shellRequests; ++request)
        error = server->Request(setup.smallShell + ">" +
                                HexId(kSmallShellFirstId + static_cast<uint32_t>(request % 3)));
    if (!error.empty())
        return error;
    values.Add("shell.small", SecondsSince(start) * 1e6 / setup.shellRequests);
    Retire(std::move(server));
    return std::string();
}

std::vector<int> FootprintCheckpoints(const SBenchSetup& setup)
{
    std::vector<int> checkpoints;
    for (const int count : {1, 100, 500, setup.footprintRequests}) {
        if (count <= setup.footprintRequests && (checkpoints.empty() || count > checkpoints.back()))
            checkpoints.push_back(count);
    }
    return checkpoints;
}

std::string MeasureFootprint(const SBenchSetup& setup, const std::string& library, CRoundValues& values)
{
    auto server = std::make_unique<CBenchServer>();
    std::string error = StartProbedServer(*server, setup);
    int done = 0;
    double firstWorkingSet = 0;
    // The heaps are read at the second checkpoint and the last, after the
    // working set: the growth between them is per request, away from the first
    // request's set-up.
    const std::vector<int> checkpoints = FootprintCheckpoints(setup);
    const bool probed = !setup.heapProbe.empty() && checkpoints.size() > 2;
    CProbeFigures firstProbe;
    for (const int checkpoint : checkpoints) {
        for (; error.empty() && done < checkpoint; ++done)
            error = server->Request(library);
        if (!error.empty())
            return error;
        const SMemoryCounters memory = server->Memory();
        if (!memory.valid)
            return "the server's memory counters cannot be read";
        values.Add("memory.ws." + std::to_string(checkpoint), memory.workingSet / kMegabyte);
        if (checkpoint == 1)
            firstWorkingSet = static_cast<double>(memory.workingSet);
        if (checkpoint == setup.footprintRequests) {
            values.Add("memory.peak", memory.peakWorkingSet / kMegabyte);
            if (checkpoint > 1)
                values.Add("memory.growth", (memory.workingSet - firstWorkingSet) / 1024 / (checkpoint - 1));
        }
        if (!probed || (checkpoint != checkpoints[1] && checkpoint != checkpoints.back()))
            continue;
        CProbeFigures figures;
        error = ReadHeapProbe(*server, setup, figures);
        if (error.empty() && checkpoint == checkpoints[1]) {
            // Again in a row: what a plug-in's load and free leave behind when
            // the plug-in keeps nothing (the probe has no C++ runtime).
            for (int repeat = 0; error.empty() && repeat < kProbeRepeats; ++repeat)
                error = ReadHeapProbe(*server, setup, firstProbe);
            AddProbeGrowth("heap.probe.", figures, firstProbe, kProbeRepeats, values);
        } else if (error.empty()) {
            AddProbeGrowth("heap.", firstProbe, figures, checkpoint - checkpoints[1], values);
        }
        if (!error.empty())
            return error;
    }
    const std::vector<std::string> serverLibraries = server->Libraries();
    Retire(std::move(server));

    // The control: the same loads and frees in a process of ours that keeps
    // nothing, to tell the system's own growth from the server's.
    SLimitRun control;
    if (!setup.heapProbe.empty()) {
        RemoveFile(HeapProbeFile(setup));
        SetVariable(kHeapProbeFileVariable, HeapProbeFile(setup));
    }
    const bool ran =
        RunInProcessLimit(setup, library, setup.footprintRequests, 0, serverLibraries, control, error, setup.heapProbe);
    SetVariable(kHeapProbeFileVariable, std::string());
    if (!ran)
        return error;
    values.Add("memory.control.growth",
               (control.workingSetAfter - control.workingSetBefore) / 1024 / setup.footprintRequests);
    if (!setup.heapProbe.empty()) {
        std::vector<CProbeFigures> probes;
        error = LastProbeLines(setup, 2, probes);
        if (!error.empty())
            return error;
        AddProbeGrowth("heap.control.", probes[0], probes[1], setup.footprintRequests, values);
    }

    error = MeasureGrowthWithoutPlugIn(setup, values);
    if (!error.empty())
        return error;

    auto minimal = std::make_unique<CBenchServer>();
    error = minimal->Start(setup.readyLimit);
    if (!error.empty())
        return error;
    const SMemoryCounters memory = minimal->Memory();
    if (!memory.valid)
        return "the minimal program's memory counters cannot be read";
    values.Add("memory.limit.ws", memory.workingSet / kMegabyte);
    values.Add("memory.limit.peak", memory.peakWorkingSet / kMegabyte);
    Retire(std::move(minimal));
    return std::string();
}

std::string MeasureScannerJobs(const SBenchSetup& setup, CRoundValues& values)
{
    for (const unsigned jobs : {1u, 2u}) {
        double seconds = 0;
        std::string error = TimeScanner(setup, setup.copiesFolder, jobs, seconds);
        if (!error.empty())
            return error;
        values.Add("jobs." + std::to_string(jobs), seconds);
        error = TimeScanner(setup, setup.heavyCopiesFolder, jobs, seconds);
        if (!error.empty())
            return error;
        values.Add("jobs.heavy." + std::to_string(jobs), seconds);
    }
    return std::string();
}

std::string MeasureCollectionScale(const SBenchSetup& setup, CRoundValues& values)
{
    const std::string database = ScratchDatabase(setup);
    double seconds = 0;
    double peak = 0;
    for (std::size_t index = 0; index < setup.collectionSizes.size(); ++index) {
        RemoveFile(database);
        const std::string size = std::to_string(setup.collectionSizes[index]);
        const std::string error =
            TimeScannerRun(setup, {"scan", setup.collectionFolders[index], "--db", database}, seconds, &peak);
        if (!error.empty())
            return error;
        values.Add("scale." + size, seconds);
        values.Add("scale." + size + ".peak", peak);
    }
    const double firstRun = seconds;
    std::string error = TimeScannerRun(setup, {"scan", setup.collectionFolders.back(), "--db", database}, seconds);
    if (!error.empty())
        return error;
    values.Add("scale.rerun", seconds);
    error = TimeScannerRun(setup, {"list", "--db", database}, seconds);
    if (!error.empty())
        return error;
    values.Add("scale.list", seconds);
    const double finalSave = TimeDatabaseSave(database, database + ".copy", error);
    if (!error.empty())
        return error;
    values.Add("scale.saves", 100 * ScheduledSaveSeconds(firstRun, finalSave) / firstRun);
    values.Add("scale.save", finalSave * 1000);
    return std::string();
}

std::string AwaitRetiredServers()
{
    std::string error;
    for (const auto& server : g_retiredServers) {
        const std::string stopped = server->Stop();
        if (error.empty())
            error = stopped;
    }
    for (const auto& host : g_retiredHosts) {
        if (!host->Stop() && error.empty())
            error = "a server driven by the minimal host did not exit with 0";
    }
    g_retiredServers.clear();
    g_retiredHosts.clear();
    return error;
}

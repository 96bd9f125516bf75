#include "bench/BenchFigures.h"

#include "bench/BenchProcess.h"
#include "client/ServerConnection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using CClock = std::chrono::steady_clock;

constexpr uint32_t kExitWaitMs = 30000;
constexpr double kMegabyte = 1024.0 * 1024.0;

double SecondsSince(CClock::time_point start) { return std::chrono::duration<double>(CClock::now() - start).count(); }

std::string HexId(uint32_t id)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", id);
    return text;
}

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

    /// One request up to the next "ready:"; a logged error fails it. lines, when
    /// given, gets the number of lines the request produced (ready included).
    std::string Request(const std::string& request, std::size_t* lines = nullptr)
    {
        m_lines.clear();
        if (!m_connection.SendRequest(request))
            return "the server's input closed before \"" + request + "\"";
        if (m_connection.ReadUntilReady(&m_lines) != EWaitResult::Ready)
            return "no \"ready:\" after \"" + request + "\"";
        for (const std::string& line : m_lines) {
            if (line.compare(0, 6, "error:") == 0)
                return "\"" + request + "\" failed: " + line;
        }
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

    SMemoryCounters Memory() const { return ProcessMemory(m_connection.GetProcessHandle()); }
    std::vector<std::string> Libraries() const { return LoadedLibraries(m_connection.GetProcessHandle()); }

private:
    CServerConnection m_connection;
    std::vector<std::string> m_lines;
};

struct SLimitRun {
    double microseconds = 0;  ///< for all requests
    double workingSetBefore = 0; ///< bytes, after the untimed first request
    double workingSetAfter = 0;  ///< bytes, after the last request
};

/// Runs the in-process limit holding the server's libraries; false with error.
bool RunInProcessLimit(const SBenchSetup& setup, const std::string& library, int requests, std::size_t lines,
                       const std::vector<std::string>& serverLibraries, SLimitRun& result, std::string& error)
{
    std::vector<std::string> arguments = {library, std::to_string(requests), std::to_string(lines)};
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
        error = "InProcessLimit failed: " + run.output.substr(run.output.size() - std::min<std::size_t>(run.output.size(), 500));
        return false;
    }
    return true;
}

struct SStartTimes {
    double readyMs = 0; ///< from starting the process to its first "ready:"
    double exitMs = 0;  ///< from closing its input to its end
};

SStartTimes TimeOneStart(const std::string& program, std::string& error)
{
    SStartTimes times;
    CBenchServer server;
    CClock::time_point start = CClock::now();
    error = server.Start(program);
    times.readyMs = SecondsSince(start) * 1000;
    start = CClock::now();
    if (error.empty())
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

std::string TimeScanner(const SBenchSetup& setup, unsigned jobs, double& seconds)
{
    const std::string database = setup.scratch + "\\bench-plugins.json";
    RemoveFile(database);
    const CClock::time_point start = CClock::now();
    const SProcessRun run =
        RunProgram(setup.scanner, {"scan", setup.copiesFolder, "--jobs", std::to_string(jobs), "--db", database});
    seconds = SecondsSince(start);
    if (!run.started)
        return run.error;
    return run.exitCode == 0 ? std::string()
                             : "PluginScanner --jobs " + std::to_string(jobs) + " ended with " +
                                   std::to_string(run.exitCode) + ":\n" + run.output;
}

} // namespace

std::string MeasureRequestCost(const SBenchSetup& setup, const std::string& key, const std::string& library,
                               int requests, CRoundValues& values, SRequestFacts& facts)
{
    CBenchServer server;
    std::string error = server.Start(setup.server);
    // The first request is untimed, as in the limit program, and counts the lines.
    if (error.empty())
        error = server.Request(library, &facts.linesPerRequest);
    const std::vector<std::string> serverLibraries = server.Libraries();
    facts.serverLibraries = serverLibraries.size();
    if (error.empty() && serverLibraries.empty())
        error = "the server's loaded libraries cannot be read";
    const CClock::time_point start = CClock::now();
    for (int request = 0; error.empty() && request < requests; ++request)
        error = server.Request(library);
    const double seconds = SecondsSince(start);
    if (error.empty())
        error = server.Stop();
    if (!error.empty())
        return error;
    values.Add(key + ".server", requests / seconds);

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
    // servers' ends. The exits are awaited (and checked) afterwards.
    CClock::time_point start = CClock::now();
    CBenchServer persistent;
    std::string error = StartAndScan(persistent, setup.server, setup.libraryCopies);
    values.Add("files.persistent", SecondsSince(start));
    if (error.empty())
        error = persistent.Stop();
    if (!error.empty())
        return error;

    const std::size_t files = setup.libraryCopies.size();
    const std::size_t share = std::min<std::size_t>(static_cast<std::size_t>(setup.freshFiles), files);
    std::vector<std::unique_ptr<CBenchServer>> servers;
    start = CClock::now();
    for (std::size_t index = 0; error.empty() && index < share; ++index) {
        const std::string& library = setup.libraryCopies[(static_cast<std::size_t>(round) * share + index) % files];
        servers.push_back(std::make_unique<CBenchServer>());
        error = StartAndScan(*servers.back(), setup.server, {library});
        servers.back()->CloseInput();
    }
    if (error.empty())
        values.Add("files.fresh", SecondsSince(start) / static_cast<double>(share));
    for (std::size_t server = 0; error.empty() && server < servers.size(); ++server)
        error = servers[server]->Stop();
    return error;
}

std::string MeasureStartUp(const SBenchSetup& setup, CRoundValues& values)
{
    std::vector<SStartTimes> server;
    std::vector<SStartTimes> limit;
    std::string error;
    // Alternating, so that both programs meet the same moments of the machine.
    for (int start = 0; error.empty() && start < setup.starts; ++start) {
        server.push_back(TimeOneStart(setup.server, error));
        if (error.empty())
            limit.push_back(TimeOneStart(setup.readyLimit, error));
    }
    if (!error.empty())
        return error;
    const auto median = [](const std::vector<SStartTimes>& times, double SStartTimes::*member) {
        std::vector<double> picked;
        for (const SStartTimes& time : times)
            picked.push_back(time.*member);
        return Summarise(picked).median;
    };
    values.Add("start.server", median(server, &SStartTimes::readyMs));
    values.Add("start.limit", median(limit, &SStartTimes::readyMs));
    values.Add("exit.server", median(server, &SStartTimes::exitMs));
    values.Add("exit.limit", median(limit, &SStartTimes::exitMs));
    return std::string();
}

std::string MeasureShellScale(const SBenchSetup& setup, int round, CRoundValues& values)
{
    CBenchServer server;
    std::string error = server.Start(setup.server);
    if (!error.empty())
        return error;
    CClock::time_point start = CClock::now();
    std::size_t lines = 0;
    error = server.Request(setup.shellBig, &lines);
    if (!error.empty())
        return error;
    values.Add("shell.enumeration", SecondsSince(start) * 1000);
    values.Add("shell.enumeration.lines", static_cast<double>(lines));

    start = CClock::now();
    for (int request = 0; error.empty() && request < setup.shellRequests; ++request) {
        const int position = (round * setup.shellRequests + request) % kBigShellSubPlugins;
        error = server.Request(setup.shellBig + ">" + HexId(kBigShellFirstId + static_cast<uint32_t>(position)));
    }
    if (!error.empty())
        return error;
    values.Add("shell.big", SecondsSince(start) * 1e6 / setup.shellRequests);

    // The sample shell's three instruments, TsI1..TsI3, in turn.
    constexpr uint32_t kSmallShellFirstId = 0x54734931;
    error = server.Request(setup.smallShell);
    start = CClock::now();
    for (int request = 0; error.empty() && request < setup.shellRequests; ++request)
        error = server.Request(setup.smallShell + ">" + HexId(kSmallShellFirstId + static_cast<uint32_t>(request % 3)));
    if (!error.empty())
        return error;
    values.Add("shell.small", SecondsSince(start) * 1e6 / setup.shellRequests);
    return server.Stop();
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
    CBenchServer server;
    std::string error = server.Start(setup.server);
    int done = 0;
    double firstWorkingSet = 0;
    for (const int checkpoint : FootprintCheckpoints(setup)) {
        for (; error.empty() && done < checkpoint; ++done)
            error = server.Request(library);
        if (!error.empty())
            return error;
        const SMemoryCounters memory = server.Memory();
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
    }
    const std::vector<std::string> serverLibraries = server.Libraries();
    error = server.Stop();
    if (!error.empty())
        return error;

    // The control: the same loads and frees in a process of ours that keeps
    // nothing, to tell the system's own growth from the server's.
    SLimitRun control;
    if (!RunInProcessLimit(setup, library, setup.footprintRequests, 0, serverLibraries, control, error))
        return error;
    values.Add("memory.control.growth",
               (control.workingSetAfter - control.workingSetBefore) / 1024 / setup.footprintRequests);

    CBenchServer minimal;
    error = minimal.Start(setup.readyLimit);
    if (!error.empty())
        return error;
    const SMemoryCounters memory = minimal.Memory();
    if (!memory.valid)
        return "the minimal program's memory counters cannot be read";
    values.Add("memory.limit.ws", memory.workingSet / kMegabyte);
    values.Add("memory.limit.peak", memory.peakWorkingSet / kMegabyte);
    return minimal.Stop();
}

std::string MeasureScannerJobs(const SBenchSetup& setup, CRoundValues& values)
{
    for (const unsigned jobs : {1u, 2u}) {
        double seconds = 0;
        const std::string error = TimeScanner(setup, jobs, seconds);
        if (!error.empty())
            return error;
        values.Add("jobs." + std::to_string(jobs), seconds);
    }
    return std::string();
}

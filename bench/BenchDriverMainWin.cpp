// BenchDriver.exe: measures the scan server against the limits it is compared
// with, round after round, and prints a table of medians and spreads.
//
//   BenchDriver.exe [--rounds N] [--requests N] [--heavy-requests N] [--files N]
//                   [--fresh-files N] [--starts N] [--shell-requests N]
//                   [--footprint-requests N] [--only 1,2,...]
//
// The counts are per round (see SBenchSetup); the footprint is read in the
// first round only, as it hardly varies and its thousand requests take long.
//
// Every program and plug-in it uses is found next to it (the build's bin
// folder): ScanServer-x64.exe, InProcessLimit.exe, ReadyLimit.exe, StartupLimit.exe,
// PluginScanner.exe, fixtures\, samples\ and bench\HeavyEffect.dll. The copies of
// the plain fixture go to bench-scratch\ there and are removed at the end.
// Exit code 0, or 1 when a measurement failed, 2 after a usage error.

#include "bench/BenchFigures.h"
#include "bench/BenchProcess.h"
#include "bench/BenchTable.h"
#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "wire/Protocol.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <set>

namespace {

constexpr int kFigureCount = 6;

struct SDriverOptions {
    int rounds = 5;
    int files = 200;
    std::set<int> figures = {1, 2, 3, 4, 5, 6};
};

/// Counts as the round loop knows them, for the table's headings.
struct SRunFacts {
    SRequestFacts plain;
    SRequestFacts heavy;
    std::string plainName;
    std::string heavyName;
};

bool ParsePositive(const std::wstring& text, int& value)
{
    wchar_t* end = nullptr;
    const long parsed = std::wcstol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || parsed <= 0 || parsed > 1000000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseFigures(const std::wstring& text, std::set<int>& figures)
{
    figures.clear();
    for (const wchar_t character : text) {
        if (character >= L'1' && character < L'1' + kFigureCount)
            figures.insert(character - L'0');
        else if (character != L',')
            return false;
    }
    return !figures.empty();
}

bool ParseArguments(int argc, wchar_t** argv, SDriverOptions& options, SBenchSetup& setup)
{
    for (int index = 1; index < argc; ++index) {
        const std::wstring name = argv[index];
        if (index + 1 >= argc)
            return false;
        const std::wstring value = argv[++index];
        bool ok = false;
        if (name == L"--rounds")
            ok = ParsePositive(value, options.rounds);
        else if (name == L"--requests")
            ok = ParsePositive(value, setup.requests);
        else if (name == L"--heavy-requests")
            ok = ParsePositive(value, setup.heavyRequests);
        else if (name == L"--fresh-files")
            ok = ParsePositive(value, setup.freshFiles);
        else if (name == L"--files")
            ok = ParsePositive(value, options.files);
        else if (name == L"--starts")
            ok = ParsePositive(value, setup.starts);
        else if (name == L"--shell-requests")
            ok = ParsePositive(value, setup.shellRequests);
        else if (name == L"--footprint-requests")
            ok = ParsePositive(value, setup.footprintRequests);
        else if (name == L"--only")
            ok = ParseFigures(value, options.figures);
        if (!ok)
            return false;
    }
    return true;
}

std::string NeedFile(const std::string& path, std::string& missing)
{
    if (!FileExists(path))
        missing += "  " + path + "\n";
    return path;
}

std::string PreparePlainCopies(const std::string& plain, const std::string& bin, int files, SBenchSetup& setup)
{
    setup.scratch = bin + "bench-scratch";
    RemoveFolder(setup.scratch);
    setup.copiesFolder = setup.scratch + "\\libraries";
    if (!MakeFolder(setup.copiesFolder))
        return "cannot create " + setup.copiesFolder;
    for (int file = 1; file <= files; ++file) {
        char name[32];
        std::snprintf(name, sizeof name, "\\Plain%03d.dll", file);
        const std::string copy = setup.copiesFolder + name;
        if (!CopyOneFile(plain, copy))
            return "cannot copy " + plain + " to " + copy;
        setup.libraryCopies.push_back(copy);
    }
    return std::string();
}

std::string Run(const SDriverOptions& options, const SBenchSetup& setup, const std::string& plain,
                const std::string& heavy, CRoundValues& values, SRunFacts& facts)
{
    const auto wants = [&options](int figure) { return options.figures.count(figure) > 0; };
    for (int round = 1; round <= options.rounds; ++round) {
        std::string error;
        const auto step = [&](int figure, const char* what, const auto& measure) {
            if (!error.empty() || !wants(figure))
                return;
            const auto start = std::chrono::steady_clock::now();
            error = measure();
            std::fprintf(stderr, "round %d/%d: %s (%.1f s)\n", round, options.rounds, what,
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        };
        step(1, "per-request cost, plain fixture",
             [&] { return MeasureRequestCost(setup, "plain", plain, setup.requests, values, facts.plain); });
        step(1, "per-request cost, real-sized library",
             [&] { return MeasureRequestCost(setup, "heavy", heavy, setup.heavyRequests, values, facts.heavy); });
        step(2, "persistent server against a server per file",
             [&] { return MeasureServerModels(setup, round - 1, values); });
        step(3, "start-up", [&] { return MeasureStartUp(setup, values); });
        step(4, "shell scale", [&] { return MeasureShellScale(setup, round - 1, values); });
        if (round == 1)
            step(5, "footprint", [&] { return MeasureFootprint(setup, plain, values); });
        step(6, "scanner --jobs 1 and 2", [&] {
            return setup.scanner.empty() ? std::string() : MeasureScannerJobs(setup, values);
        });
        const std::string retired = AwaitRetiredServers();
        if (error.empty())
            error = retired;
        if (!error.empty())
            return error;
    }
    return std::string();
}

/// Per-round values derived from two quantities of the same round.
std::vector<double> PerRound(const std::vector<double>& left, const std::vector<double>& right,
                             double (*combine)(double, double))
{
    std::vector<double> combined;
    for (std::size_t round = 0; round < std::min(left.size(), right.size()); ++round)
        combined.push_back(combine(left[round], right[round]));
    return combined;
}

std::vector<double> Scaled(const std::vector<double>& values, double factor)
{
    std::vector<double> scaled;
    for (const double value : values)
        scaled.push_back(value * factor);
    return scaled;
}

double MicrosecondsAbove(double ratePerSecond, double limitPerSecond)
{
    return 1e6 / ratePerSecond - 1e6 / limitPerSecond;
}

void AddRequestCostRows(CBenchTable& table, const CRoundValues& values, const std::string& key,
                        const std::string& library, const SRequestFacts& facts, int requests)
{
    const std::size_t lines = facts.linesPerRequest;
    const auto& server = values.Get(key + ".server");
    const auto& limitA = values.Get(key + ".limitA");
    const auto& limitB = values.Get(key + ".limitB");
    table.AddHeading("1  Per-request cost: " + library + ", " + std::to_string(requests) + " requests a round, " +
                     std::to_string(lines) + " line writes+flushes per request");
    table.AddNote("the limit program holds the server's " + std::to_string(facts.serverLibraries) +
                  " loaded libraries, so a plug-in's imports find the same modules resident");
    const auto& minimalHost = values.Get(key + ".minimalHost");
    table.AddRow("server, through the client", Summarise(server), "requests/s");
    table.AddRow("server, minimal host (one thread, plain read loop)", Summarise(minimalHost), "requests/s");
    table.AddRow("limit (a): same Windows work in-process, no protocol", Summarise(limitA), "requests/s");
    table.AddRow("limit (b): (a) + " + std::to_string(lines) + " line writes+flushes, host reads", Summarise(limitB),
                 "requests/s");
    table.AddRow("server / limit (a)", Summarise(RoundRatios(server, limitA)), "x");
    table.AddRow("server / limit (b)", Summarise(RoundRatios(server, limitB)), "x");
    table.AddRow("minimal host / limit (b)", Summarise(RoundRatios(minimalHost, limitB)), "x");
    table.AddRow("cost per request above limit (b), through the client",
                 Summarise(PerRound(server, limitB, MicrosecondsAbove)), "us");
    table.AddRow("cost per request above limit (b), minimal host",
                 Summarise(PerRound(minimalHost, limitB, MicrosecondsAbove)), "us");
}

std::string Megabytes(uint64_t bytes)
{
    return FormatFigure(static_cast<double>(bytes) / (1024.0 * 1024.0)) + " MB";
}

void AddFootprintRows(CBenchTable& table, const CRoundValues& values, const SBenchSetup& setup)
{
    table.AddHeading("5  Footprint (host's view of the process: GetProcessMemoryInfo; first round only)");
    table.AddNote(std::string(kServerProgram) + " " + Megabytes(FileSize(setup.server)) + " on disk, ReadyLimit.exe " +
                  Megabytes(FileSize(setup.readyLimit)));
    for (const int count : FootprintCheckpoints(setup)) {
        const std::string after = " after " + std::to_string(count) + " requests";
        table.AddRow("server working set" + after, Summarise(values.Get("memory.ws." + std::to_string(count))), "MB");
    }
    const std::string last = std::to_string(setup.footprintRequests);
    const auto& growth = values.Get("memory.growth");
    const auto& control = values.Get("memory.control.growth");
    table.AddRow("server working set growth per request", Summarise(growth), "KB");
    table.AddRow("control: in-process loads+frees of the same library", Summarise(control), "KB");
    table.AddRow("server's own growth per request (server - control)",
                 Summarise(PerRound(growth, control, [](double server, double limit) { return server - limit; })),
                 "KB");
    table.AddRow("server growth per request, missing library (no plug-in code)",
                 Summarise(values.Get("memory.missing.growth")), "KB");
    table.AddRow("server peak working set after " + last + " requests", Summarise(values.Get("memory.peak")), "MB");
    table.AddRow("minimal program (limit) working set", Summarise(values.Get("memory.limit.ws")), "MB");
    table.AddRow("minimal program (limit) peak working set", Summarise(values.Get("memory.limit.peak")), "MB");
    table.AddRow("server peak / limit peak",
                 Summarise(RoundRatios(values.Get("memory.peak"), values.Get("memory.limit.peak"))), "x");
}

std::string BuildTable(const SDriverOptions& options, const SBenchSetup& setup, const CRoundValues& values,
                       const SRunFacts& facts)
{
    CBenchTable table;
    const auto wants = [&options](int figure) { return options.figures.count(figure) > 0; };
    if (wants(1)) {
        AddRequestCostRows(table, values, "plain", facts.plainName, facts.plain, setup.requests);
        AddRequestCostRows(table, values, "heavy", facts.heavyName, facts.heavy, setup.heavyRequests);
    }
    if (wants(2)) {
        const double files = static_cast<double>(setup.libraryCopies.size());
        const std::vector<double> persistent = values.Get("files.persistent");
        const std::vector<double> fresh = Scaled(values.Get("files.fresh"), files);
        table.AddHeading("2  " + FormatFigure(files) +
                         " plug-in files (copies of the plain fixture), first start to last answer");
        table.AddRow("one persistent server", Summarise(persistent), "s");
        table.AddRow("a fresh server per file (the peers' model)", Summarise(fresh), "s");
        table.AddNote("(fresh servers: " + std::to_string(setup.freshFiles) + " files a round, the next " +
                      std::to_string(setup.freshFiles) + " each round, time per file scaled to " +
                      FormatFigure(files) + ")");
        table.AddRow("fresh per file / persistent", Summarise(RoundRatios(fresh, persistent)), "x");
        table.AddRow("per file, persistent server", Summarise(Scaled(persistent, 1000 / files)), "ms");
        table.AddRow("per file, fresh server", Summarise(Scaled(values.Get("files.fresh"), 1000)), "ms");
    }
    if (wants(3)) {
        const auto& server = values.Get("start.server");
        const auto& startupLimit = values.Get("start.startupLimit");
        const auto& limit = values.Get("start.limit");
        table.AddHeading("3  Start-up: process creation to the first \"ready:\" (median of " +
                         std::to_string(setup.starts) + " starts a round)");
        table.AddNote(std::string(kServerProgram) + " " + Megabytes(FileSize(setup.server)) + " on disk");
        table.AddRow("server (GDI+, splash window, banner)", Summarise(server), "ms");
        table.AddRow("limit: the same start-up work done plainly (StartupLimit)", Summarise(startupLimit), "ms");
        table.AddRow("minimal GUI program writing \"ready:\" (ReadyLimit)", Summarise(limit), "ms");
        table.AddRow("server / StartupLimit", Summarise(RoundRatios(server, startupLimit)), "x");
        table.AddRow("server / ReadyLimit", Summarise(RoundRatios(server, limit)), "x");
        table.AddRow("server: input closed to process end (first start)", Summarise(values.Get("exit.server")), "ms");
        table.AddRow("StartupLimit: input closed to process end", Summarise(values.Get("exit.startupLimit")), "ms");
        table.AddRow("ReadyLimit: input closed to process end", Summarise(values.Get("exit.limit")), "ms");
    }
    if (wants(4)) {
        const auto& big = values.Get("shell.big");
        const auto& small = values.Get("shell.small");
        table.AddHeading("4  Scale: ShellBig.dll, 2,000 sub-plug-ins; " + std::to_string(setup.shellRequests) +
                         " path>id requests a round (the next ids each round), as many of the sample shell");
        const auto& enumeration = values.Get("shell.enumeration");
        const auto& enumerationLines = values.Get("shell.enumeration.lines");
        table.AddRow("enumeration request (2,000 sub-plug-ins listed)", Summarise(enumeration), "ms");
        if (!enumerationLines.empty() && !values.Get("plain.limitB").empty()) {
            // What the enumeration's lines alone cost at limit (b)'s price of a line in the same round.
            const double lineCount = enumerationLines.front();
            const std::size_t plainLines = facts.plain.linesPerRequest;
            const auto millisecondsAbove = [](double withLines, double without) {
                return 1e3 / withLines - 1e3 / without;
            };
            const auto lineMs = PerRound(values.Get("plain.limitB"), values.Get("plain.limitA"), millisecondsAbove);
            std::vector<double> linesOnly;
            for (const double requestLinesMs : lineMs)
                linesOnly.push_back(requestLinesMs / static_cast<double>(plainLines) * lineCount);
            table.AddRow("its " + FormatFigure(lineCount) + " lines at limit (b)'s cost of a line",
                         Summarise(linesOnly), "ms");
            table.AddRow("enumeration / its lines at limit (b)", Summarise(RoundRatios(enumeration, linesOnly)), "x");
        }
        table.AddRow("ShellBig.dll>id from the cached library", Summarise(big), "us/request");
        table.AddRow("3-instrument sample shell>id from the cache", Summarise(small), "us/request");
        table.AddRow("big / small shell, per request", Summarise(RoundRatios(big, small)), "x");
        table.AddRow("server working set growth per big-shell>id request", Summarise(values.Get("shell.growth")),
                     "KB");
        const auto& plainRate = values.Get("plain.server");
        if (!plainRate.empty()) {
            const auto perRequest = PerRound(plainRate, plainRate, [](double rate, double) { return 1e6 / rate; });
            table.AddRow("big shell>id / plain uncached request (figure 1)", Summarise(RoundRatios(big, perRequest)),
                         "x");
        }
    }
    if (wants(5))
        AddFootprintRows(table, values, setup);
    if (wants(6)) {
        const auto& one = values.Get("jobs.1");
        const auto& two = values.Get("jobs.2");
        table.AddHeading("6  PluginScanner.exe over the " + std::to_string(setup.libraryCopies.size()) +
                         " files, fresh database, whole process");
        if (setup.scanner.empty()) {
            table.AddNote("PluginScanner.exe not found: not measured");
        } else {
            table.AddRow("--jobs 1", Summarise(one), "s");
            table.AddRow("--jobs 2", Summarise(two), "s");
            table.AddRow("speed-up, --jobs 1 / --jobs 2", Summarise(RoundRatios(one, two)), "x");
        }
    }
    return table.Render();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // The table keeps its plain line feeds, without CR LF translation.
    _setmode(_fileno(stdout), _O_BINARY);
    SDriverOptions options;
    SBenchSetup setup;
    if (!ParseArguments(argc, argv, options, setup)) {
        std::fputs("usage: BenchDriver.exe [--rounds N] [--requests N] [--heavy-requests N] [--files N]\n"
                   "                       [--fresh-files N] [--starts N] [--shell-requests N]\n"
                   "                       [--footprint-requests N] [--only 1,2,...]\n",
                   stderr);
        return 2;
    }
    const std::string bin = ProgramFolder();
    std::string missing;
    setup.server = NeedFile(bin + kServerProgram, missing);
    setup.inProcessLimit = NeedFile(bin + "InProcessLimit.exe", missing);
    setup.readyLimit = NeedFile(bin + "ReadyLimit.exe", missing);
    setup.startupLimit = NeedFile(bin + "StartupLimit.exe", missing);
    setup.shellBig = NeedFile(bin + "fixtures\\ShellBig.dll", missing);
    setup.smallShell = NeedFile(bin + "samples\\TessivaneInstrumentShell.dll", missing);
    const std::string plain = NeedFile(bin + "fixtures\\PlainEffect.dll", missing);
    const std::string heavy = NeedFile(bin + "bench\\HeavyEffect.dll", missing);
    if (FileExists(bin + "PluginScanner.exe"))
        setup.scanner = bin + "PluginScanner.exe";
    if (!missing.empty()) {
        std::fprintf(stderr, "BenchDriver: missing (build the targets bench, fixtures and ScanServer):\n%s",
                     missing.c_str());
        return 1;
    }
    std::string error = PreparePlainCopies(plain, bin, options.files, setup);

    SRunFacts facts;
    facts.plainName = "PlainEffect.dll (" + Megabytes(FileSize(plain)) + ")";
    facts.heavyName = "HeavyEffect.dll (" + Megabytes(FileSize(heavy)) + ", imports 12 system DLLs)";
    CRoundValues values;
    if (error.empty())
        error = Run(options, setup, plain, heavy, values, facts);
    RemoveFolder(setup.scratch);
    if (!error.empty()) {
        std::fprintf(stderr, "BenchDriver: %s\n", error.c_str());
        return 1;
    }
    std::printf("Scan server benchmarks under Wine: %d rounds; median and spread over the rounds;\n"
                "ratios are formed within each round.\n\n%s",
                options.rounds, BuildTable(options, setup, values, facts).c_str());
    return 0;
}

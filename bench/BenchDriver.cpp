// BenchDriver: measures the scan server against the limits it is compared
// with, round after round, and prints a table of medians and spreads.
//
//   BenchDriver[.exe] [--rounds N] [--requests N] [--heavy-requests N] [--files N]
//                   [--fresh-files N] [--starts N] [--shell-requests N]
//                   [--footprint-requests N] [--collection N] [--only 1,2,...]
//
// The counts are per round (see SBenchSetup); the footprint is read in the
// first round only, as it hardly varies and its thousand requests take long.
//
// Every program and plug-in it uses is found in the given folder (the build's
// bin folder), under the system's names (bench/BenchProcess.h): the server,
// InProcessLimit, ReadyLimit, StartupLimit (Windows), PluginScanner, fixtures/,
// samples/ and bench/HeavyEffect; bench/HeapProbe.dll where it is built (Windows),
// for figure 5's heap rows. The copies of the plain fixture and of
// HeavyEffect go to bench-scratch/ there and are removed at the end (real
// copies: the scanner takes hard links to one file for that one file). --collection names figure 7's largest
// collection (100 and 1,000 files below it).

#include "bench/BenchDriver.h"

#include "bench/BenchFigures.h"
#include "bench/BenchProcess.h"
#include "bench/BenchTable.h"
#include "bench/HeapProbe.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

constexpr int kFigureCount = 7;
/// Figure 7's collections below the largest; each a folder of folders of this many files.
constexpr int kSmallerCollections[] = {100, 1000};
constexpr int kCollectionFolderFiles = 100;

struct SDriverOptions {
    int rounds = 5;
    int files = 200;
    int collection = 10000;
    std::set<int> figures = {1, 2, 3, 4, 5, 6, 7};
};

/// Counts as the round loop knows them, for the table's headings.
struct SRunFacts {
    SRequestFacts plain;
    SRequestFacts heavy;
    std::string plainName;
    std::string heavyName;
};

bool ParsePositive(const std::string& text, int& value)
{
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || parsed <= 0 || parsed > 1000000)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseFigures(const std::string& text, std::set<int>& figures)
{
    figures.clear();
    for (const char character : text) {
        if (character >= '1' && character < '1' + kFigureCount)
            figures.insert(character - '0');
        else if (character != ',')
            return false;
    }
    return !figures.empty();
}

bool ParseArguments(const std::vector<std::string>& arguments, SDriverOptions& options, SBenchSetup& setup)
{
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& name = arguments[index];
        if (index + 1 >= arguments.size())
            return false;
        const std::string& value = arguments[++index];
        bool ok = false;
        if (name == "--rounds")
            ok = ParsePositive(value, options.rounds);
        else if (name == "--requests")
            ok = ParsePositive(value, setup.requests);
        else if (name == "--heavy-requests")
            ok = ParsePositive(value, setup.heavyRequests);
        else if (name == "--fresh-files")
            ok = ParsePositive(value, setup.freshFiles);
        else if (name == "--files")
            ok = ParsePositive(value, options.files);
        else if (name == "--starts")
            ok = ParsePositive(value, setup.starts);
        else if (name == "--shell-requests")
            ok = ParsePositive(value, setup.shellRequests);
        else if (name == "--footprint-requests")
            ok = ParsePositive(value, setup.footprintRequests);
        else if (name == "--collection")
            ok = ParsePositive(value, options.collection);
        else if (name == "--only")
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

/// Copies of the library named "<folder>/<stem>NNN" in one folder, or in
/// folders of kCollectionFolderFiles ("<folder>/NNN/<stem>NNNNN") when grouped.
std::string PrepareCopies(const std::string& library, const std::string& folder, const char* stem, int files,
                          bool grouped, std::vector<std::string>* copies)
{
    const SBenchSystem& system = BenchSystem();
    for (int file = 1; file <= files; ++file) {
        std::string parent = folder;
        char name[64];
        if (grouped) {
            std::snprintf(name, sizeof name, "%c%03d", system.separator, (file - 1) / kCollectionFolderFiles);
            parent += name;
            std::snprintf(name, sizeof name, "%c%s%05d%s", system.separator, stem, file, system.librarySuffix);
        } else {
            std::snprintf(name, sizeof name, "%c%s%03d%s", system.separator, stem, file, system.librarySuffix);
        }
        if ((file - 1) % kCollectionFolderFiles == 0 && !MakeFolder(parent))
            return "cannot create " + parent;
        const std::string copy = parent + name;
        if (!CopyOneFile(library, copy))
            return "cannot copy " + library + " to " + copy;
        if (copies != nullptr)
            copies->push_back(copy);
    }
    return std::string();
}

std::string PrepareCopies(const std::string& plain, const std::string& heavy, const std::string& bin,
                          const SDriverOptions& options, SBenchSetup& setup)
{
    const char separator = BenchSystem().separator;
    setup.scratch = bin + "bench-scratch";
    RemoveFolder(setup.scratch);
    setup.copiesFolder = setup.scratch + separator + "libraries";
    std::string error = PrepareCopies(plain, setup.copiesFolder, "Plain", options.files, false, &setup.libraryCopies);
    if (options.figures.count(6) > 0 && error.empty()) {
        setup.heavyCopiesFolder = setup.scratch + separator + "heavy";
        error = PrepareCopies(heavy, setup.heavyCopiesFolder, "Heavy", options.files, false, nullptr);
    }
    if (options.figures.count(7) == 0)
        return error;
    for (const int size : kSmallerCollections) {
        if (size < options.collection)
            setup.collectionSizes.push_back(size);
    }
    setup.collectionSizes.push_back(options.collection);
    for (const int size : setup.collectionSizes) {
        setup.collectionFolders.push_back(setup.scratch + separator + "collection-" + std::to_string(size));
        if (error.empty())
            error = PrepareCopies(plain, setup.collectionFolders.back(), "Plain", size, true, nullptr);
    }
    return error;
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
        step(7, "collection scale", [&] {
            return setup.scanner.empty() ? std::string() : MeasureCollectionScale(setup, values);
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
    const auto& cApi = values.Get(key + ".library");
    table.AddRow("server, through the client", Summarise(server), "requests/s");
    const auto& scanClient = values.Get(key + ".scanClient");
    table.AddRow("server, through the C API", Summarise(cApi), "requests/s");
    table.AddRow("server, through the C++ scan client (header checked, record parsed)", Summarise(scanClient),
                 "requests/s");
    table.AddRow("server, minimal host (one thread, plain read loop)", Summarise(minimalHost), "requests/s");
    table.AddRow(std::string("limit (a): same ") + BenchSystem().system + " work in-process, no protocol",
                 Summarise(limitA), "requests/s");
    table.AddRow("limit (b): (a) + " + std::to_string(lines) + " line writes+flushes, host reads", Summarise(limitB),
                 "requests/s");
    table.AddRow("server / limit (a)", Summarise(RoundRatios(server, limitA)), "x");
    table.AddRow("server / limit (b)", Summarise(RoundRatios(server, limitB)), "x");
    table.AddRow("C API / client (at least 0.98)", Summarise(RoundRatios(cApi, server)), "x");
    table.AddRow("C API / C++ scan client", Summarise(RoundRatios(cApi, scanClient)), "x");
    table.AddRow("client / minimal host (at least 0.95)", Summarise(RoundRatios(server, minimalHost)), "x");
    table.AddRow("minimal host / limit (b)", Summarise(RoundRatios(minimalHost, limitB)), "x");
    const auto& roundTrip = values.Get(key + ".roundTrip");
    const std::vector<double> limitBWithRoundTrip = PerRound(limitB, roundTrip, [](double limit, double trip) {
        return 1.0 / (1.0 / limit + 1.0 / trip);
    });
    table.AddRow("round trip alone: minimal host over ReadyLimit answering \"ready:\"", Summarise(roundTrip),
                 "requests/s");
    table.AddRow("limit (b) plus one round trip a request", Summarise(limitBWithRoundTrip), "requests/s");
    table.AddRow("server / (limit (b) plus the round trip)", Summarise(RoundRatios(server, limitBWithRoundTrip)), "x");
    table.AddRow("cost per request above limit (b), through the client",
                 Summarise(PerRound(server, limitB, MicrosecondsAbove)), "us");
    table.AddRow("cost per request above limit (b), minimal host",
                 Summarise(PerRound(minimalHost, limitB, MicrosecondsAbove)), "us");
}

std::string Megabytes(uint64_t bytes)
{
    return FormatFigure(static_cast<double>(bytes) / (1024.0 * 1024.0)) + " MB";
}

/// A field of the heap probe's line as figure 5 shows its growth.
struct SHeapRow {
    const char* field;
    const char* label;
    bool bytes; ///< shown in kilobytes; else a count
};

/// The plain requests' growth, field by field: whose memory grows.
constexpr SHeapRow kHeapRows[] = {
    {heap_probe_field::kWorkingSet, "working set (the process's own reading)", true},
    {heap_probe_field::kCrtUsed, "C runtime heap (_heapwalk): used bytes", true},
    {heap_probe_field::kCrtBlocks, "C runtime heap: used blocks", false},
    {heap_probe_field::kCrtFree, "C runtime heap: free bytes", true},
    {heap_probe_field::kCrtHeapCommitted, "C runtime heap (HeapWalk): committed bytes", true},
    {heap_probe_field::kCrtHeapResident, "C runtime heap: resident bytes (its pages in the working set)", true},
    {heap_probe_field::kCrtHeapResidentFree, "C runtime heap: resident bytes of pages with free blocks", true},
    {heap_probe_field::kProcessHeapBusy, "process heap: busy bytes", true},
    {heap_probe_field::kProcessHeapCommitted, "process heap: committed bytes", true},
    {heap_probe_field::kOtherHeapsBusy, "other heaps: busy bytes", true},
    {heap_probe_field::kOtherHeapsCommitted, "other heaps: committed bytes", true},
    {heap_probe_field::kHeapCount, "heaps", false},
    {heap_probe_field::kPrivateCommitted, "committed private memory (VirtualQuery)", true},
    {heap_probe_field::kMappedCommitted, "committed mapped memory", true},
    {heap_probe_field::kImageCommitted, "committed image memory", true},
    {heap_probe_field::kRegions, "address space regions in use", false},
    {heap_probe_field::kUnixAnonymous, "Linux: anonymous resident memory", true},
    {heap_probe_field::kUnixBreakHeap, "Linux: C library heap (brk) resident", true},
    {heap_probe_field::kUnixLibraries, "Linux: shared libraries resident", true},
    {heap_probe_field::kUnixFiles, "Linux: other mapped files resident", true},
    {heap_probe_field::kUnixMappings, "Linux: mappings", false},
};

/// Rows of the heap probe's growth per request under a prefix of values.
void AddHeapRows(CBenchTable& table, const CRoundValues& values, const std::string& prefix,
                 const std::vector<SHeapRow>& rows)
{
    for (const SHeapRow& row : rows) {
        const std::vector<double>& growth = values.Get(prefix + row.field);
        if (growth.empty())
            continue; // a field the system does not tell (the Linux view outside Wine)
        table.AddRow(row.label, Summarise(row.bytes ? Scaled(growth, 1.0 / 1024) : growth),
                     row.bytes ? "KB" : "count");
    }
}

/// Figure 5's heap rows: what grows per plain request, the size of a block the
/// C runtime heap gains, the server alone (the missing library) and the probe's
/// own request.
void AddHeapProbeRows(CBenchTable& table, const CRoundValues& values, const SBenchSetup& setup)
{
    if (values.Get(std::string("heap.") + heap_probe_field::kCrtUsed).empty())
        return;
    const std::vector<int> checkpoints = FootprintCheckpoints(setup);
    table.AddNote("heap probe (bench/HeapProbe.dll requested by the server), growth per plain request from " +
                  std::to_string(checkpoints[1]) + " to " + std::to_string(checkpoints.back()) + " requests:");
    AddHeapRows(table, values, "heap.", std::vector<SHeapRow>(std::begin(kHeapRows), std::end(kHeapRows)));
    const std::string used = heap_probe_field::kCrtUsed;
    const std::string blocks = heap_probe_field::kCrtBlocks;
    table.AddRow("C runtime heap: size of a block it gains (used bytes / used blocks)",
                 Summarise(Scaled(RoundRatios(values.Get("heap." + used), values.Get("heap." + blocks)), 1.0 / 1024)),
                 "KB");
    const std::vector<SHeapRow> summary = {
        {heap_probe_field::kWorkingSet, "working set", true},
        {heap_probe_field::kCrtUsed, "C runtime heap: used bytes", true},
        {heap_probe_field::kCrtBlocks, "C runtime heap: used blocks", false},
        {heap_probe_field::kCrtHeapResident, "C runtime heap: resident bytes", true},
        {heap_probe_field::kCrtHeapResidentFree, "C runtime heap: resident bytes of pages with free blocks", true},
        {heap_probe_field::kPrivateCommitted, "committed private memory", true},
        {heap_probe_field::kUnixAnonymous, "Linux: anonymous resident memory", true},
    };
    table.AddNote("the control's loads and frees of the same library in a process of ours, per load:");
    AddHeapRows(table, values, "heap.control.", summary);
    const std::string resident = heap_probe_field::kCrtHeapResident;
    table.AddRow("server - control: C runtime heap resident bytes",
                 Summarise(Scaled(PerRound(values.Get("heap." + resident), values.Get("heap.control." + resident),
                                           [](double server, double control) { return server - control; }),
                                  1.0 / 1024)),
                 "KB");
    table.AddNote("the same server's requests for a missing library (no plug-in code), per request:");
    AddHeapRows(table, values, "heap.missing.", summary);
    table.AddNote("the probe's own requests in a row (a plug-in without a C++ runtime), per request:");
    AddHeapRows(table, values, "heap.probe.", summary);
}

void AddFootprintRows(CBenchTable& table, const CRoundValues& values, const SBenchSetup& setup)
{
    const SBenchSystem& system = BenchSystem();
    const std::string memory = system.memory;
    table.AddHeading(std::string("5  Footprint (host's view of the process: ") + system.memorySource +
                     "; first round only)");
    table.AddNote(std::string(system.server) + " " + Megabytes(FileSize(setup.server)) + " on disk, ReadyLimit " +
                  Megabytes(FileSize(setup.readyLimit)));
    for (const int count : FootprintCheckpoints(setup)) {
        const std::string after = " after " + std::to_string(count) + " requests";
        table.AddRow("server " + memory + after, Summarise(values.Get("memory.ws." + std::to_string(count))), "MB");
    }
    const std::string last = std::to_string(setup.footprintRequests);
    const auto& growth = values.Get("memory.growth");
    const auto& control = values.Get("memory.control.growth");
    table.AddRow("server " + memory + " growth per request", Summarise(growth), "KB");
    table.AddRow("control: in-process loads+frees of the same library", Summarise(control), "KB");
    table.AddRow("server's own growth per request (server - control)",
                 Summarise(PerRound(growth, control, [](double server, double limit) { return server - limit; })),
                 "KB");
    table.AddRow("server growth per request, missing library (no plug-in code)",
                 Summarise(values.Get("memory.missing.growth")), "KB");
    table.AddRow("server peak " + memory + " after " + last + " requests", Summarise(values.Get("memory.peak")), "MB");
    table.AddRow("minimal program (limit) " + memory, Summarise(values.Get("memory.limit.ws")), "MB");
    table.AddRow("minimal program (limit) peak " + memory, Summarise(values.Get("memory.limit.peak")), "MB");
    table.AddRow("server peak / limit peak",
                 Summarise(RoundRatios(values.Get("memory.peak"), values.Get("memory.limit.peak"))), "x");
    AddHeapProbeRows(table, values, setup);
}

void AddCollectionRows(CBenchTable& table, const SBenchSetup& setup, const CRoundValues& values)
{
    const std::string scanner = std::string("PluginScanner") + BenchSystem().programSuffix;
    table.AddHeading("7  Collection scale: " + scanner + " over copies of the plain fixture in folders of " +
                     std::to_string(kCollectionFolderFiles) + ", from an empty database, default jobs, whole process");
    if (setup.scanner.empty()) {
        table.AddNote(scanner + " not found: not measured");
        return;
    }
    const std::string smallest = std::to_string(setup.collectionSizes.front());
    const std::string largest = std::to_string(setup.collectionSizes.back());
    for (const int files : setup.collectionSizes) {
        const std::string size = std::to_string(files);
        table.AddRow(size + " files", Summarise(values.Get("scale." + size)), "s");
        table.AddRow("per file, " + size + " files",
                     Summarise(Scaled(values.Get("scale." + size), 1000.0 / files)), "ms");
    }
    const double ratio = static_cast<double>(setup.collectionSizes.front()) / setup.collectionSizes.back();
    table.AddRow("per file, " + largest + " files / per file, " + smallest + " files",
                 Summarise(Scaled(RoundRatios(values.Get("scale." + largest), values.Get("scale." + smallest)), ratio)),
                 "x");
    table.AddRow("unchanged rerun of " + largest + " files", Summarise(values.Get("scale.rerun")), "s");
    table.AddRow("one save of the " + largest + "-entry database (its text, write, flush, rename)",
                 Summarise(values.Get("scale.save")), "ms");
    table.AddRow("share of time in database saves, " + largest + " files (save schedule x that cost)",
                 Summarise(values.Get("scale.saves")), "%");
    for (const int files : setup.collectionSizes) {
        const std::string size = std::to_string(files);
        table.AddRow("scanner peak " + std::string(BenchSystem().memory) + ", " + size + " files",
                     Summarise(values.Get("scale." + size + ".peak")), "MB");
    }
    table.AddRow("peak, " + largest + " files / peak, " + smallest + " files",
                 Summarise(RoundRatios(values.Get("scale." + largest + ".peak"), values.Get("scale." + smallest + ".peak"))),
                 "x");
    table.AddRow("list of the " + largest + "-entry database", Summarise(values.Get("scale.list")), "s");
}

std::string BuildTable(const SDriverOptions& options, const SBenchSetup& setup, const CRoundValues& values,
                       const SRunFacts& facts)
{
    const SBenchSystem& system = BenchSystem();
    const std::string shellBig = std::string("ShellBig") + system.librarySuffix;
    const std::string scanner = std::string("PluginScanner") + system.programSuffix;
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
        table.AddNote(std::string(system.server) + " " + Megabytes(FileSize(setup.server)) + " on disk");
        table.AddRow(std::string("server (") + system.serverStart + ")", Summarise(server), "ms");
        if (system.hasStartupLimit)
            table.AddRow("limit: the same start-up work done plainly (StartupLimit)", Summarise(startupLimit), "ms");
        table.AddRow(std::string(system.readyLimit) + " (ReadyLimit)", Summarise(limit), "ms");
        if (system.hasStartupLimit)
            table.AddRow("server / StartupLimit", Summarise(RoundRatios(server, startupLimit)), "x");
        table.AddRow("server / ReadyLimit", Summarise(RoundRatios(server, limit)), "x");
        table.AddRow("server: input closed to process end (first start)", Summarise(values.Get("exit.server")), "ms");
        if (system.hasStartupLimit)
            table.AddRow("StartupLimit: input closed to process end", Summarise(values.Get("exit.startupLimit")),
                         "ms");
        table.AddRow("ReadyLimit: input closed to process end", Summarise(values.Get("exit.limit")), "ms");
    }
    if (wants(4)) {
        const auto& big = values.Get("shell.big");
        const auto& small = values.Get("shell.small");
        table.AddHeading("4  Scale: " + shellBig + ", 2,000 sub-plug-ins; " + std::to_string(setup.shellRequests) +
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
        table.AddRow(shellBig + ">id from the cached library", Summarise(big), "us/request");
        table.AddRow("3-instrument sample shell>id from the cache", Summarise(small), "us/request");
        table.AddRow("big / small shell, per request", Summarise(RoundRatios(big, small)), "x");
        table.AddRow("server " + std::string(system.memory) + " growth per big-shell>id request", Summarise(values.Get("shell.growth")),
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
        table.AddHeading("6  " + scanner + " over the " + std::to_string(setup.libraryCopies.size()) +
                         " files, fresh database, whole process");
        if (setup.scanner.empty()) {
            table.AddNote(scanner + " not found: not measured");
        } else {
            table.AddRow("--jobs 1", Summarise(one), "s");
            table.AddRow("--jobs 2", Summarise(two), "s");
            table.AddRow("speed-up, --jobs 1 / --jobs 2", Summarise(RoundRatios(one, two)), "x");
            const auto& heavyOne = values.Get("jobs.heavy.1");
            const auto& heavyTwo = values.Get("jobs.heavy.2");
            table.AddNote("as many copies of " + facts.heavyName);
            table.AddRow("--jobs 1, real-sized library", Summarise(heavyOne), "s");
            table.AddRow("--jobs 2, real-sized library", Summarise(heavyTwo), "s");
            table.AddRow("speed-up, --jobs 1 / --jobs 2, real-sized library", Summarise(RoundRatios(heavyOne, heavyTwo)),
                         "x");
        }
    }
    if (wants(7))
        AddCollectionRows(table, setup, values);
    return table.Render();
}

} // namespace

int RunBenchDriver(const std::string& bin, const std::vector<std::string>& arguments)
{
    SDriverOptions options;
    SBenchSetup setup;
    const SBenchSystem& system = BenchSystem();
    if (!ParseArguments(arguments, options, setup)) {
        std::fputs("usage: BenchDriver [--rounds N] [--requests N] [--heavy-requests N] [--files N]\n"
                   "                   [--fresh-files N] [--starts N] [--shell-requests N]\n"
                   "                   [--footprint-requests N] [--collection N] [--only 1,2,...]\n",
                   stderr);
        return 2;
    }
    const auto program = [&](const char* name) { return bin + name + system.programSuffix; };
    const auto library = [&](const char* folder, const char* name) {
        return bin + folder + system.separator + name + system.librarySuffix;
    };
    std::string missing;
    setup.server = NeedFile(bin + system.server, missing);
    setup.inProcessLimit = NeedFile(program("InProcessLimit"), missing);
    setup.readyLimit = NeedFile(program("ReadyLimit"), missing);
    if (system.hasStartupLimit)
        setup.startupLimit = NeedFile(program("StartupLimit"), missing);
    setup.shellBig = NeedFile(library("fixtures", "ShellBig"), missing);
    setup.smallShell = NeedFile(library("samples", "TessivaneInstrumentShell"), missing);
    const std::string plain = NeedFile(library("fixtures", "PlainEffect"), missing);
    const std::string heavy = NeedFile(library("bench", "HeavyEffect"), missing);
    if (FileExists(program("PluginScanner")))
        setup.scanner = program("PluginScanner");
    if (FileExists(library("bench", "HeapProbe")))
        setup.heapProbe = library("bench", "HeapProbe");
    if (!missing.empty()) {
        std::fprintf(stderr, "BenchDriver: missing (build the targets bench, fixtures and the server):\n%s",
                     missing.c_str());
        return 1;
    }
    std::string error = PrepareCopies(plain, heavy, bin, options, setup);

    SRunFacts facts;
    facts.plainName = "PlainEffect" + std::string(system.librarySuffix) + " (" + Megabytes(FileSize(plain)) + ")";
    facts.heavyName = "HeavyEffect" + std::string(system.librarySuffix) + " (" + Megabytes(FileSize(heavy)) + ", " +
                      system.heavyLinks + ")";
    CRoundValues values;
    if (error.empty())
        error = Run(options, setup, plain, heavy, values, facts);
    RemoveFolder(setup.scratch);
    if (!error.empty()) {
        std::fprintf(stderr, "BenchDriver: %s\n", error.c_str());
        return 1;
    }
    std::printf("Scan server benchmarks %s: %d rounds; median and spread over the rounds;\n"
                "ratios are formed within each round.\n\n%s",
                system.where, options.rounds, BuildTable(options, setup, values, facts).c_str());
    return 0;
}

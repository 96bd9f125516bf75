#pragma once
/// The measurements of one benchmark round, figure by figure. Each adds this
/// round's values to the round values under fixed names (see the functions) and
/// returns an empty text, or what went wrong: a failed request or a program
/// that could not be started makes the whole run worthless, so the driver stops.
///
/// Times come from the host's steady clock around whole exchanges, so every
/// figure includes the host side's own work (pipes, the reader thread, parsing
/// lines into a list) as a real host pays it. Where a figure takes a share of a
/// larger set each round (fresh servers, sub-plug-in ids), the shares of
/// successive rounds follow each other, so that a full run covers the set.

#include "bench/BenchStats.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SBenchSetup {
    std::string server;         ///< ScanServer-x64.exe, scan-server
    std::string inProcessLimit; ///< InProcessLimit(.exe)
    std::string readyLimit;     ///< ReadyLimit(.exe)
    std::string startupLimit;   ///< StartupLimit.exe; empty where the server has no splash
    std::string scanner;        ///< PluginScanner(.exe); empty: figure 6 is skipped
    std::string shellBig;       ///< the shell with 2,000 sub-plug-ins
    std::string smallShell;     ///< a shell with three sub-plug-ins, the plain cached case
    std::vector<std::string> libraryCopies; ///< one plain plug-in copied to many files
    std::string copiesFolder;   ///< the folder that holds exactly those copies
    std::string heavyCopiesFolder; ///< as many copies of the real-sized library
    std::vector<int> collectionSizes;          ///< figure 7: the collections' file counts, smallest first
    std::vector<std::string> collectionFolders; ///< figure 7: one folder per size, its copies in folders of a hundred
    std::string heapProbe;      ///< bench/HeapProbe.dll where it is built (Windows); empty: figure 5 reads no heaps
    std::string scratch;        ///< a folder for the scanner's database
    int requests = 100;         ///< figure 1: timed requests per round, plain fixture
    int heavyRequests = 12;     ///< figure 1: timed requests per round, real-sized library
    int freshFiles = 10;        ///< figure 2: files a round that get a fresh server each
    int starts = 3;             ///< figure 3: starts per round of each program
    int shellRequests = 100;    ///< figure 4: sub-plug-in requests per round (of 2,000 ids)
    int footprintRequests = 1000; ///< figure 5: requests before the last reading
};

/// What figure 1 learnt about the server besides the times.
struct SRequestFacts {
    std::size_t linesPerRequest = 0;  ///< line writes of one request, ready marker included
    std::size_t serverLibraries = 0;  ///< libraries the server holds, which the limit loads too
};

/// Figure 1 for one library under the key, with that many timed requests:
/// "<key>.server" (through the client's server connection), "<key>.library"
/// (through the C library, whole results), "<key>.scanClient" (through the C++
/// scan client, records parsed), "<key>.minimalHost" (the server driven
/// by the least a host can do), "<key>.limitA" and "<key>.limitB", all in
/// requests per second.
std::string MeasureRequestCost(const SBenchSetup& setup, const std::string& key, const std::string& library,
                               int requests, CRoundValues& values, SRequestFacts& facts);

/// Figure 2: "files.persistent", seconds from the server's start to the last
/// answer over all copies; "files.fresh", seconds per file with a fresh server
/// for each (start to answer), over this round's share of the copies.
std::string MeasureServerModels(const SBenchSetup& setup, int round, CRoundValues& values);

/// Figure 3: "start.server", "start.startupLimit" and "start.limit"
/// (ReadyLimit), milliseconds from process creation to the first "ready:"
/// (the median of this round's starts); "exit.server", "exit.startupLimit"
/// and "exit.limit", from closing the input to the process's end (the round's
/// first start; the others are ended at once). The StartupLimit values only
/// when the setup names it.
std::string MeasureStartUp(const SBenchSetup& setup, CRoundValues& values);

/// Figure 4: "shell.enumeration" (milliseconds for the big shell's own request,
/// which writes "shell.enumeration.lines" lines),
/// "shell.big" (this round's share of its sub-plug-in ids) and "shell.small"
/// (microseconds per sub-plug-in request served from the cached library);
/// "shell.growth", the server's working set growth in kilobytes per big-shell
/// sub-plug-in request (a whole probe without a load or a free).
std::string MeasureShellScale(const SBenchSetup& setup, int round, CRoundValues& values);

/// Figure 5: megabytes from the host's view of the server: "memory.ws.<n>"
/// after n plain requests (n = 1, 100, 500 and the footprint count),
/// "memory.peak" after the last; the minimal program's "memory.limit.ws" and
/// "memory.limit.peak". Kilobytes per request: "memory.growth" of the server's
/// working set from the first request to the last, "memory.control.growth" of
/// the in-process limit's over as many loads and frees of the same library,
/// "memory.missing.growth" of a server's over half as many requests for a
/// library that does not exist (no plug-in code runs).
/// With the heap probe, per request, each field of its line (bench/HeapProbe.h)
/// as "heap.<field>" (the plain requests from the second checkpoint to the
/// last), "heap.control.<field>" (the in-process limit's loads and frees),
/// "heap.missing.<field>" (the missing library's requests) and
/// "heap.probe.<field>" (the probe's own requests in a row): bytes or counts.
std::string MeasureFootprint(const SBenchSetup& setup, const std::string& library, CRoundValues& values);

/// Figure 6: "jobs.1" and "jobs.2", seconds of the scanner over the copies;
/// "jobs.heavy.1" and "jobs.heavy.2" over as many copies of the real-sized library.
std::string MeasureScannerJobs(const SBenchSetup& setup, CRoundValues& values);

/// Figure 7: the scanner over each collection from an empty database:
/// "scale.<files>" seconds and "scale.<files>.peak" megabytes (the largest
/// resident set or working set of the scanner); over the largest, "scale.rerun"
/// (seconds of a rerun that finds nothing changed), "scale.list" (seconds of
/// `list`) and "scale.saves" (percent of the first run spent saving the
/// database: the scanner's save schedule with the cost of saving its final
/// database, measured here with the same code).
std::string MeasureCollectionScale(const SBenchSetup& setup, CRoundValues& values);

/// Waits for the ends of the servers the figures left shutting down (their input
/// closed) and empties the list; what went wrong when one did not exit with 0.
/// The driver calls it at the end of every round.
std::string AwaitRetiredServers();

/// The request counts after which figure 5 reads the server's memory.
std::vector<int> FootprintCheckpoints(const SBenchSetup& setup);

/// The big shell's sub-plug-in count; its ids follow each other from kBigShellFirstId.
constexpr int kBigShellSubPlugins = 2000;
constexpr uint32_t kBigShellFirstId = 0x42470001;

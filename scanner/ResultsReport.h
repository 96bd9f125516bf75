#pragma once
/// What the scanner prints at the end of a run: the table of results, the
/// problems, the summary, the results as JSON, and its exit code.

#include "client/LibraryFiles.h"
#include "client/ScanDatabase.h"
#include "client/ScanPlan.h"
#include "client/ScanProgress.h"
#include "scanner/DuplicateIds.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

/// The scanner's exit codes.
enum EScannerExit : int {
    kExitClean = 0,         ///< every plug-in covered scanned (files that are not plug-ins aside)
    kExitProblems = 1,      ///< some failed, crashed or timed out, or a path was not found
    kExitUsage = 2,         ///< the command line was wrong
    kExitTrouble = 3,       ///< the database or the server could not be used; the run stopped
    kExitInterrupted = 130, ///< Ctrl+C (128 + SIGINT, as shells report it): what ended is saved
};

/// The entries a run covers: for each file in order, its library's entry and
/// then its sub-plug-ins' in the shell's order.
std::vector<const SDatabaseEntry*> CoveredEntries(const CScanDatabase& database,
                                                  const std::vector<SLibraryFile>& files);

/// "effect", "synth", "shell", ... for a record's category; "-" for -1.
std::string CategoryName(int32_t category);

/// The table: one row per entry, a header, columns fitted to their contents.
std::string FormatResultsTable(const std::vector<const SDatabaseEntry*>& entries);
/// The same table given to write in pieces of tens of kilobytes, each ending
/// with a whole line, so that a large collection's table is never held whole.
void WriteResultsTable(const std::vector<const SDatabaseEntry*>& entries,
                       const std::function<void(const std::string& piece)>& write);

/// One line per entry that did not scan (not-a-plug-in files included) and per
/// path problem, with the reason; empty when there is none.
std::string FormatProblems(const std::vector<const SDatabaseEntry*>& entries,
                           const std::vector<SPathProblem>& pathProblems);

/// "Scanned 5 requests in 0:03 with 2 servers: 4 scanned, 1 crashed; 3 unchanged skipped."
/// An interrupted run adds "; interrupted, the rest is scanned by the next run".
std::string FormatSummary(const SRunSummary& summary);

/// kExitClean or kExitProblems for the covered entries and path problems.
int ResultsExitCode(const std::vector<const SDatabaseEntry*>& entries, const std::vector<SPathProblem>& pathProblems);

/// The --json document: {"database", "results" (entries, each with "thisRun":
/// its scannedThisRun), "notFound", "duplicates", "summary"}.
std::string FormatResultsJson(const std::vector<const SDatabaseEntry*>& entries,
                              const std::vector<SPathProblem>& pathProblems,
                              const std::vector<SDuplicateId>& duplicates, const SRunSummary& summary);

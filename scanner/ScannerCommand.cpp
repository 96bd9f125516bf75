#include "scanner/ScannerCommand.h"

#include "client/DatabaseFile.h"
#include "client/LibraryFiles.h"
#include "client/PlatformRouter.h"
#include "client/ScanClient.h"
#include "client/ScanRun.h"
#include "scanner/ConsoleOutput.h"
#include "scanner/DuplicateIds.h"
#include "scanner/ProgressPrinter.h"
#include "scanner/ResultsReport.h"
#include "scanner/ScanProgress.h"
#include "wire/Protocol.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace {

using CClock = std::chrono::steady_clock;

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/")); }

double SecondsSince(CClock::time_point start)
{
    return std::chrono::duration<double>(CClock::now() - start).count();
}

/// The first lines of a run without paths: the folders the system's rules found.
std::string FormatDefaultFolders(const std::vector<std::string>& folders)
{
    std::string text = "Scanning the plug-in folders:\n";
    for (const std::string& folder : folders)
        text += "  " + folder + "\n";
    return text;
}

class CScanner {
public:
    CScanner(const SScannerOptions& options, const SScannerPlatform& platform)
        : m_options(options), m_platform(platform), m_out(false), m_err(true)
    {
    }

    int Run()
    {
        m_databasePath = FullPath(m_options.database.empty() ? m_platform.defaultDatabase : m_options.database);
        std::string error;
        std::vector<std::string> rejected;
        if (!CreateFolders(FolderOf(m_databasePath), error) || !m_lock.Acquire(m_databasePath, error) ||
            !ReadDatabaseFile(m_databasePath, m_database, error, rejected))
            return Trouble(error);
        for (const std::string& entry : rejected)
            m_err.Write("PluginScanner: warning: the database " + m_databasePath + " has a damaged " + entry +
                        "; it is left out and counts as not scanned\n");
        if (m_options.command == EScannerCommand::List)
            return List();
        return Scan();
    }

private:
    int Trouble(const std::string& error)
    {
        m_err.Write("PluginScanner: " + error + "\n");
        return kExitTrouble;
    }

    int List()
    {
        std::vector<SLibraryFile> libraries;
        for (const std::string& path : m_database.LibraryPaths())
            libraries.push_back(SLibraryFile{path, SFileStamp()});
        SRunSummary summary;
        summary.database = m_databasePath;
        Print(libraries, {}, {}, summary, false);
        return ResultsExitCode(CoveredEntries(m_database, libraries), {});
    }

    int Scan()
    {
        const SScannerSystem& system = *m_platform.commandLine;
        const std::string server =
            m_options.server.empty() ? m_platform.programFolder + system.serverProgram : FullPath(m_options.server);
        // The x86 server (Windows only) is started only for x86 libraries;
        // without it they end "no server" and the run goes on.
        const std::string serverX86 = !m_options.serverX86.empty()       ? FullPath(m_options.serverX86)
                                      : system.serverX86Program != nullptr ? m_platform.programFolder + system.serverX86Program
                                                                           : std::string();
        if (IsFileGone(server))
            return Trouble("cannot find the scan server " + server);
        m_platform.watchInterrupt();
        if (m_options.paths.empty() && m_platform.defaultFolders.empty()) {
            m_err.Write(std::string("PluginScanner: none of the plug-in folders exists (") + system.defaultFolders + ")\n");
            return kExitProblems;
        }
        if (m_options.paths.empty())
            m_err.Write(FormatDefaultFolders(m_platform.defaultFolders));
        SFoundLibraries found = FindLibraryFiles(m_options.paths.empty() ? m_platform.defaultFolders : m_options.paths);
        OrderByPlatform(found.files, CheckLibraryFile);
        const CClock::time_point start = CClock::now();
        m_database.RemoveGone(IsFileGone);

        CProgressPrinter printer([this](const std::string& text) { m_err.Write(text); }, m_err.IsTerminal(),
                                 m_err.Columns(), [start] { return SecondsSince(start); });
        CScanProgress progress(
            m_database, printer, [start] { return SecondsSince(start); },
            [this](const std::string& json, std::string& error) {
                return WriteFileAtomically(m_databasePath, json, error);
            });
        SScanClientOptions client;
        client.serverPath = server;
        client.dumpRoot = FolderOf(m_databasePath) + m_platform.separator + "dumps";
        client.silenceTimeoutMs = static_cast<uint32_t>(std::lround(m_options.timeoutSeconds * 1000));
        SRunOptions run;
        run.jobs = m_options.jobs != 0 ? m_options.jobs : std::max(1u, std::thread::hardware_concurrency());
        run.plan.retryProblems = m_options.retry;
        run.plan.rescanAll = m_options.rescan;
        run.interrupt = m_platform.interrupted;
        run.optionalPlatforms = {kPlatformX86};
        CScanRun scan(
            m_database, run,
            [&](unsigned) {
                return std::make_unique<CPlatformRouter>(CheckLibraryFile, [&](const std::string& platform) {
                    SScanClientOptions options = client;
                    options.platform = platform;
                    options.serverPath = platform == kPlatformX86 ? serverX86 : server;
                    return std::make_unique<CScanClient>(options);
                });
            },
            progress, m_platform.utcNow);
        const SRunResult result = scan.Run(found.files);
        printer.Finish();
        progress.Save();
        if (!progress.saveError.empty())
            return Trouble(progress.saveError);
        if (result.serverFailed)
            return Trouble("cannot use the scan server: " + result.serverError);

        SRunSummary& summary = progress.summary;
        summary.skipped = result.skipped;
        summary.pathProblems = found.problems.size();
        summary.elapsedSeconds = SecondsSince(start);
        summary.servers = static_cast<unsigned>(std::min<std::size_t>(run.jobs, found.files.size()));
        summary.interrupted = result.interrupted;
        summary.database = m_databasePath;
        Print(found.files, found.problems, progress.scannedThisRun, summary, true);
        return result.interrupted ? kExitInterrupted : ResultsExitCode(CoveredEntries(m_database, found.files),
                                                                       found.problems);
    }

    void Print(const std::vector<SLibraryFile>& files, const std::vector<SPathProblem>& problems,
               const std::set<std::string>& scannedThisRun, const SRunSummary& summary, bool withSummary)
    {
        const std::vector<const SDatabaseEntry*> covered = CoveredEntries(m_database, files);
        const std::vector<SDuplicateId> duplicates = FindDuplicateIds(m_database.Entries());
        if (m_options.json) {
            m_out.Write(FormatResultsJson(covered, scannedThisRun, problems, duplicates, summary));
            return;
        }
        if (!covered.empty())
            m_out.Write(FormatResultsTable(covered));
        const std::string problemLines = FormatProblems(covered, problems);
        if (!problemLines.empty())
            m_out.Write("\nNot scanned:\n" + problemLines);
        const std::string duplicateLines = FormatDuplicateIds(duplicates);
        if (!duplicateLines.empty())
            m_out.Write("\n" + duplicateLines);
        m_out.Write("\n");
        if (withSummary)
            m_out.Write(FormatSummary(summary));
        m_out.Write("Database: " + m_databasePath + "\n");
    }

    const SScannerOptions& m_options;
    const SScannerPlatform& m_platform;
    CConsoleOutput m_out;
    CConsoleOutput m_err;
    std::string m_databasePath;
    CDatabaseLock m_lock;
    CScanDatabase m_database;
};

} // namespace

int RunScannerCommand(const std::vector<std::string>& arguments, const SScannerPlatform& platform)
{
    const SParsedArguments parsed = ParseScannerArguments(arguments, *platform.commandLine);
    if (!parsed.run) {
        CConsoleOutput(parsed.exitCode != kExitClean).Write(parsed.output);
        return parsed.exitCode;
    }
    return CScanner(parsed.options, platform).Run();
}

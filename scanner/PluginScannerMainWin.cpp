// PluginScanner.exe: scans plug-in libraries with scan servers into a database
// and prints the results. Run "PluginScanner --help" for its use and exit codes.

#include "client/DatabaseFile.h"
#include "client/LibraryFiles.h"
#include "client/PlatformRouter.h"
#include "client/ScanClient.h"
#include "client/ScanRun.h"
#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "scanner/ConsoleOutput.h"
#include "scanner/DuplicateIds.h"
#include "scanner/ProgressPrinter.h"
#include "scanner/ResultsReport.h"
#include "scanner/ScanProgress.h"
#include "scanner/ScannerOptions.h"
#include "wire/Protocol.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

using CClock = std::chrono::steady_clock;

/// Set by Ctrl+C (or Ctrl+Break): the scan run stops and the scanner exits
/// with kExitInterrupted once it has saved and printed what it has.
std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE; // closing the console or logging off: the default ending
    g_interrupted = true;
    return TRUE;
}

std::string DefaultDatabasePath()
{
    wchar_t folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    const std::string base = length > 0 && length < MAX_PATH ? Utf8FromWide(std::wstring(folder, length))
                                                             : ProgramFolder();
    return base + "\\Tessivane\\PluginScanner\\plugins.json";
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/")); }

/// The current time as the database keeps it: "2024-03-07T09:05:01Z".
std::string UtcNow()
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

double SecondsSince(CClock::time_point start)
{
    return std::chrono::duration<double>(CClock::now() - start).count();
}

class CScanner {
public:
    explicit CScanner(const SScannerOptions& options) : m_options(options), m_out(false), m_err(true) {}

    int Run()
    {
        m_databasePath = FullPath(m_options.database.empty() ? DefaultDatabasePath() : m_options.database);
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
        const std::string server =
            m_options.server.empty() ? ProgramFolder() + kServerProgramX64 : FullPath(m_options.server);
        // The x86 server is started only for x86 libraries; without it they end
        // "no server" and the run goes on.
        const std::string serverX86 =
            m_options.serverX86.empty() ? ProgramFolder() + kServerProgramX86 : FullPath(m_options.serverX86);
        if (GetFileAttributesW(WideFromUtf8(server).c_str()) == INVALID_FILE_ATTRIBUTES)
            return Trouble("cannot find the scan server " + server);
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
        SFoundLibraries found = FindLibraryFiles(m_options.paths);
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
        client.dumpRoot = FolderOf(m_databasePath) + "\\dumps";
        client.silenceTimeoutMs = static_cast<uint32_t>(std::lround(m_options.timeoutSeconds * 1000));
        SRunOptions run;
        run.jobs = m_options.jobs != 0 ? m_options.jobs : std::max(1u, std::thread::hardware_concurrency());
        run.plan.retryProblems = m_options.retry;
        run.plan.rescanAll = m_options.rescan;
        run.interrupt = &g_interrupted;
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
            progress,
            UtcNow);
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
    CConsoleOutput m_out;
    CConsoleOutput m_err;
    std::string m_databasePath;
    CDatabaseLock m_lock;
    CScanDatabase m_database;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index)
        arguments.push_back(Utf8FromWide(argv[index]));
    const SParsedArguments parsed = ParseScannerArguments(arguments, kWindowsScanner);
    if (!parsed.run) {
        CConsoleOutput(parsed.exitCode != kExitClean).Write(parsed.output);
        return parsed.exitCode;
    }
    return CScanner(parsed.options).Run();
}

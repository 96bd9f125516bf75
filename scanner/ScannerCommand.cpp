#include "scanner/ScannerCommand.h"

#include "client/LibraryFiles.h"
#include "client/ScanEngine.h"
#include "scanner/ConsoleOutput.h"
#include "scanner/DuplicateIds.h"
#include "scanner/ProgressPrinter.h"
#include "scanner/ResultsReport.h"

#include <cmath>

namespace {

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/")); }

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
        std::string error;
        if (!m_engine.Open(FullPath(m_options.database.empty() ? m_platform.defaultDatabase : m_options.database),
                           error))
            return Trouble(error);
        for (const std::string& entry : m_engine.GetRejected())
            m_err.Write("PluginScanner: warning: the database " + m_engine.GetDatabasePath() + " has a damaged " +
                        entry + "; it is left out and counts as not scanned\n");
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
        for (const std::string& path : m_engine.GetDatabase().LibraryPaths())
            libraries.push_back(SLibraryFile{path, SFileStamp()});
        const std::vector<const SDatabaseEntry*> covered = CoveredEntries(m_engine.GetDatabase(), libraries);
        libraries = std::vector<SLibraryFile>();
        SRunSummary summary;
        summary.database = m_engine.GetDatabasePath();
        Print(covered, {}, summary, false);
        return ResultsExitCode(covered, {});
    }

    /// The engine's options from the command line and the scanner's place.
    SEngineOptions EngineOptions() const
    {
        const SScannerSystem& system = *m_platform.commandLine;
        SEngineOptions engine;
        engine.server =
            m_options.server.empty() ? m_platform.programFolder + system.serverProgram : FullPath(m_options.server);
        // The x86 server (Windows only) is started only for x86 libraries.
        engine.serverX86 = !m_options.serverX86.empty()         ? FullPath(m_options.serverX86)
                           : system.serverX86Program != nullptr ? m_platform.programFolder + system.serverX86Program
                                                                : std::string();
        engine.dumpRoot = FolderOf(m_engine.GetDatabasePath()) + m_platform.separator + "dumps";
        engine.silenceTimeoutMs = static_cast<uint32_t>(std::lround(m_options.timeoutSeconds * 1000));
        engine.jobs = m_options.jobs;
        engine.plan.retryProblems = m_options.retry;
        engine.plan.rescanAll = m_options.rescan;
        engine.interrupt = m_platform.interrupted;
        engine.utcNow = m_platform.utcNow;
        engine.fillScannedThisRun = false; // the results read each entry's own mark
        return engine;
    }

    int Scan()
    {
        std::string error;
        if (!m_engine.Prepare(EngineOptions(), error))
            return Trouble(error);
        m_platform.watchInterrupt();
        const SScannerSystem& system = *m_platform.commandLine;
        if (m_options.paths.empty() && m_platform.defaultFolders.empty()) {
            m_err.Write(std::string("PluginScanner: none of the plug-in folders exists (") + system.defaultFolders + ")\n");
            return kExitProblems;
        }
        if (m_options.paths.empty())
            m_err.Write(FormatDefaultFolders(m_platform.defaultFolders));
        CProgressPrinter printer([this](const std::string& text) { m_err.Write(text); }, m_err.IsTerminal(),
                                 m_err.Columns(), [this] { return m_engine.GetElapsed(); });
        SEngineResult result =
            m_engine.Scan(m_options.paths.empty() ? m_platform.defaultFolders : m_options.paths, printer);
        printer.Finish();
        if (!result.saveError.empty())
            return Trouble(result.saveError);
        if (!result.serverError.empty())
            return Trouble(result.serverError);
        const std::vector<const SDatabaseEntry*> covered = CoveredEntries(m_engine.GetDatabase(), result.files);
        // The walked list is done with: a large collection's paths go before the results are made.
        result.files = std::vector<SLibraryFile>();
        Print(covered, result.problems, result.summary, true);
        return result.summary.interrupted ? kExitInterrupted : ResultsExitCode(covered, result.problems);
    }

    void Print(const std::vector<const SDatabaseEntry*>& covered, const std::vector<SPathProblem>& problems,
               const SRunSummary& summary, bool withSummary)
    {
        const std::vector<SDuplicateId> duplicates = FindDuplicateIds(m_engine.GetDatabase().Entries());
        if (m_options.json) {
            m_out.Write(FormatResultsJson(covered, problems, duplicates, summary));
            return;
        }
        if (!covered.empty())
            WriteResultsTable(covered, [this](const std::string& piece) { m_out.Write(piece); });
        const std::string problemLines = FormatProblems(covered, problems);
        if (!problemLines.empty())
            m_out.Write("\nNot scanned:\n" + problemLines);
        if (!duplicates.empty()) {
            m_out.Write("\n");
            WriteDuplicateIds(duplicates, [this](const std::string& piece) { m_out.Write(piece); });
        }
        m_out.Write("\n");
        if (withSummary)
            m_out.Write(FormatSummary(summary));
        m_out.Write("Database: " + m_engine.GetDatabasePath() + "\n");
    }

    const SScannerOptions& m_options;
    const SScannerPlatform& m_platform;
    CConsoleOutput m_out;
    CConsoleOutput m_err;
    CScanEngine m_engine;
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

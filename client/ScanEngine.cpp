#include "client/ScanEngine.h"

#include "client/PlatformRouter.h"
#include "wire/Protocol.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace {

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("\\/")); }

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

bool CScanEngine::Open(const std::string& databasePath, std::string& error)
{
    m_databasePath = databasePath;
    return CreateFolders(FolderOf(m_databasePath), error) && m_lock.Acquire(m_databasePath, error) &&
           ReadDatabaseFile(m_databasePath, m_database, error, m_rejected);
}

bool CScanEngine::Prepare(const SEngineOptions& options, std::string& error)
{
    m_options = options;
    if (!m_options.seconds)
        m_options.seconds = SteadySeconds;
    if (m_options.jobs == 0)
        m_options.jobs = std::max(1u, std::thread::hardware_concurrency());
    if (!IsFileGone(m_options.server))
        return true;
    error = "cannot find the scan server " + m_options.server;
    return false;
}

double CScanEngine::GetElapsed() const { return m_start < 0 ? 0 : m_options.seconds() - m_start; }

std::unique_ptr<CScanSession> CScanEngine::MakeSession() const
{
    return std::make_unique<CPlatformRouter>(CheckLibraryFile, [this](const std::string& platform) {
        SScanClientOptions client;
        client.platform = platform;
        client.serverPath = platform == kPlatformX86 ? m_options.serverX86 : m_options.server;
        client.dumpRoot = m_options.dumpRoot;
        client.silenceTimeoutMs = m_options.silenceTimeoutMs;
        return std::make_unique<CScanClient>(client);
    });
}

SEngineResult CScanEngine::Scan(const std::vector<std::string>& paths, CRunObserver& observer)
{
    SEngineResult result;
    SFoundLibraries found = FindLibraryFiles(paths);
    OrderByPlatform(found.files, CheckLibraryFile);
    result.files = std::move(found.files);
    result.problems = std::move(found.problems);
    m_start = m_options.seconds();
    m_database.RemoveGone(IsFileGone);

    CScanProgress progress(m_database, observer, [this] { return GetElapsed(); },
                           [this](const CScanDatabase& database, std::string& error) {
                               return WriteFileAtomically(
                                   m_databasePath,
                                   [&database](const CScanDatabase::CTextWriter& write) {
                                       return database.WriteJson(write);
                                   },
                                   error);
                           });
    progress.FillScannedThisRun(m_options.fillScannedThisRun);
    SRunOptions run;
    run.jobs = m_options.jobs;
    run.plan = m_options.plan;
    run.retryCrashes = m_options.retryCrashes;
    run.interrupt = m_options.interrupt;
    // Without the x86 server x86 libraries end "no server" and the run goes on.
    run.optionalPlatforms = {kPlatformX86};
    CScanRun scan(m_database, run, [this](unsigned) { return MakeSession(); }, progress, m_options.utcNow);
    const SRunResult ran = scan.Run(result.files);
    progress.Save();
    result.saveError = progress.saveError;
    if (ran.serverFailed)
        result.serverError = "cannot use the scan server: " + ran.serverError;

    result.scannedThisRun = std::move(progress.scannedThisRun);
    SRunSummary& summary = result.summary;
    summary = progress.summary;
    summary.skipped = ran.skipped;
    summary.pathProblems = result.problems.size();
    summary.elapsedSeconds = GetElapsed();
    summary.servers = static_cast<unsigned>(std::min<std::size_t>(run.jobs, result.files.size()));
    summary.interrupted = ran.interrupted;
    summary.database = m_databasePath;
    return result;
}

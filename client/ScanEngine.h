#pragma once
/// A whole scan run, as PluginScanner and the C library's whole runs do it: the
/// database opened, locked and read; the entries of files that are gone
/// dropped; the library files found under the paths and put in platform order;
/// the run on parallel sessions, each routing a library to a scan client of its
/// platform; the database saved as the run goes and once more at its end; the
/// counts. Showing the run is the caller's: it follows it through a
/// CRunObserver and reads the result and the database afterwards.
///
/// Invariants: the database is written only while the engine holds its lock; a
/// run that is interrupted, or stopped because a server cannot be used, has
/// saved every entry that ended, so the next run scans only the rest.

#include "client/DatabaseFile.h"
#include "client/LibraryFiles.h"
#include "client/ScanClient.h"
#include "client/ScanProgress.h"
#include "client/ScanRun.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct SEngineOptions {
    std::string server;    ///< the x64 server (on Linux the native one), a full path
    std::string serverX86; ///< the x86 server, a full path; empty: none, x86 libraries end "no server"
    std::string dumpRoot;  ///< the servers' dumps and crash reports go below it; empty: none
    uint32_t silenceTimeoutMs = kDefaultSilenceTimeoutMs;
    unsigned jobs = 0;        ///< parallel servers; 0: one per processor
    SPlanOptions plan;        ///< rescan every file, retry crashes and time-outs
    bool retryCrashes = true; ///< a crash is tried once more in a fresh server
    /// Set from any thread to interrupt the run; null: never.
    const std::atomic<bool>* interrupt = nullptr;
    /// The time of a scan as the database keeps it: "2024-03-07T09:05:01Z".
    std::function<std::string()> utcNow;
    /// A steady clock in seconds; null: the system's.
    std::function<double()> seconds;
    /// Fill SEngineResult::scannedThisRun. A caller that reads the entries'
    /// own scannedThisRun instead turns it off: a large collection's requests
    /// are then not copied once more.
    bool fillScannedThisRun = true;
};

struct SEngineResult {
    std::vector<SLibraryFile> files;      ///< the library files found, in the order they were handed out
    std::vector<SPathProblem> problems;   ///< paths that do not lead to a library file
    std::set<std::string> scannedThisRun; ///< the requests that ended in this run
    SRunSummary summary;                  ///< the counts, the time taken and the database's path
    std::string saveError;   ///< not empty: the database could not be saved
    std::string serverError; ///< not empty: a server could not be used and the run stopped early
};

class CScanEngine {
public:
    CScanEngine() = default;
    CScanEngine(const CScanEngine&) = delete;
    CScanEngine& operator=(const CScanEngine&) = delete;

    /// Opens the database at its full path: makes its folder, takes its lock
    /// (held while the engine lives) and reads it. False, with error set, when
    /// the folder cannot be made, another scanner holds the lock, or the file
    /// cannot be read or is not a database (it is then left alone).
    bool Open(const std::string& databasePath, std::string& error);
    /// The entries the database file held that did not read, one line each:
    /// they are left out and count as not scanned.
    const std::vector<std::string>& GetRejected() const { return m_rejected; }
    const CScanDatabase& GetDatabase() const { return m_database; }
    const std::string& GetDatabasePath() const { return m_databasePath; }

    /// Takes the options of the runs to come. False, with error set, when the
    /// x64 server is missing.
    bool Prepare(const SEngineOptions& options, std::string& error);
    /// Runs over the paths (files and folders, full or relative): scans what
    /// the database does not hold as it is now, saving it as the run goes, and
    /// returns when everything is done, a server cannot be used or the run was
    /// interrupted. Calls the observer on this thread.
    SEngineResult Scan(const std::vector<std::string>& paths, CRunObserver& observer);
    /// Seconds since the current or last run's scanning began (after the walk); 0 before.
    double GetElapsed() const;

private:
    /// One worker's session: a router over scan clients of both platforms.
    std::unique_ptr<CScanSession> MakeSession() const;

    std::string m_databasePath;
    CDatabaseLock m_lock;
    CScanDatabase m_database;
    std::vector<std::string> m_rejected;
    SEngineOptions m_options;
    double m_start = -1; ///< m_options.seconds() when scanning began; negative before
};

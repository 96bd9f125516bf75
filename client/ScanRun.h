#pragma once
/// One run of the scanner over a list of library files: plans each library
/// against the database, scans what needs scanning on several sessions at once,
/// and puts every outcome into the database as it arrives.
///
/// Invariants: the database and the observer are touched only on the thread
/// that called Run; a library and all its sub-plug-ins are scanned by one
/// worker on one session, one after the other, so a shell's sub-plug-ins are
/// served from the library the server keeps loaded; unless told not to, a
/// crash is retried once (the session starts a fresh server) before it is
/// recorded, and the entry lists the dumps of both attempts. An interrupted run hands out no more
/// requests, interrupts the sessions and records nothing for the requests that
/// had not ended: they stay unscanned, so a later run does them.

#include "client/ScanDatabase.h"
#include "client/ScanPlan.h"
#include "client/ScanSession.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct SRunOptions {
    unsigned jobs = 1; ///< parallel sessions
    SPlanOptions plan;
    bool retryCrashes = true; ///< a crash is tried once more (the session starts a fresh server)
    /// Set from any thread (a Ctrl+C) to interrupt the run; null: never.
    const std::atomic<bool>* interrupt = nullptr;
    /// Platforms whose server may be missing: a request whose server of such a
    /// platform cannot start ends "no server" and the run goes on. Without a
    /// server of any other platform the run stops.
    std::set<std::string> optionalPlatforms;
};

/// What happened during a run. Called on the thread that called Run.
class CRunObserver {
public:
    virtual ~CRunObserver() = default;
    /// The number of requests known to be planned changed (a shell adds its sub-plug-ins).
    virtual void OnPlanned(std::size_t requests) {}
    /// A worker sent a request.
    virtual void OnStarted(unsigned worker, const std::string& request) {}
    /// A request that runs long shows windows (their titles).
    virtual void OnDialogs(unsigned worker, const std::string& request, const std::vector<std::string>& titles) {}
    /// A request ended and its entry is in the database; retried: it crashed
    /// once and this is the outcome of the second attempt.
    virtual void OnFinished(const SDatabaseEntry& entry, bool retried) {}
    /// A library and its sub-plug-ins are done: a good moment to save.
    virtual void OnLibraryDone(const std::string& path) {}
    /// Called a few times a second while the run waits.
    virtual void OnTick() {}
};

struct SRunResult {
    std::size_t finished = 0;         ///< requests that ended this run
    std::size_t skipped = 0;          ///< entries left as they were (unchanged)
    std::size_t skippedLibraries = 0; ///< libraries not scanned at all
    bool serverFailed = false;        ///< a server of a platform not optional could not be started: the run stopped early
    bool interrupted = false;         ///< the interrupt was set: the run stopped early
    std::string serverError;
};

class CScanRun {
public:
    using CSessionFactory = std::function<std::unique_ptr<CScanSession>(unsigned worker)>;
    /// The time of a scan as the database keeps it.
    using CClock = std::function<std::string()>;

    CScanRun(CScanDatabase& database, const SRunOptions& options, CSessionFactory sessions, CRunObserver& observer,
             CClock now);

    /// Scans the files (in this order of dispatch). Returns when all are done, a
    /// server could not be started, or the run was interrupted.
    SRunResult Run(const std::vector<SLibraryFile>& files);

private:
    CScanDatabase& m_database;
    SRunOptions m_options;
    CSessionFactory m_sessions;
    CRunObserver& m_observer;
    CClock m_now;
};

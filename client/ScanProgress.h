#pragma once
/// Follows a scan run for the scan engine: counts what ended, saves the
/// database as the run goes (see SaveInterval) and passes every event on to the host's observer (the scanner's
/// progress printer).

#include "client/ScanDatabase.h"
#include "client/ScanRun.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <set>
#include <string>

/// Pending changes are saved at least this often while a run goes on...
constexpr double kSaveEverySeconds = 0.5;
/// ...unless saving the database (written whole) takes long: a save then waits
/// this many times as long as the last one took, so that the saves of a large
/// collection take at most about 1 / (1 + this) of the run, and a killed run
/// loses at most that many save times of work.
constexpr double kSaveWaitPerSaveSecond = 20;

/// Seconds from the end of a save that took lastSaveSeconds until pending
/// changes are saved again.
inline double SaveInterval(double lastSaveSeconds)
{
    return std::max(kSaveEverySeconds, kSaveWaitPerSaveSecond * lastSaveSeconds);
}

/// The counts of a run, as the scanner's summary and its --json document give them.
struct SRunSummary {
    std::array<std::size_t, 6> finished{}; ///< requests that ended this run, by EOutcome
    std::size_t skipped = 0;               ///< entries kept unchanged from earlier runs
    std::size_t pathProblems = 0;
    double elapsedSeconds = 0;
    unsigned servers = 0;
    bool interrupted = false; ///< the run was interrupted: the rest waits for the next run
    std::string database;
};

class CScanProgress : public CRunObserver {
public:
    /// Writes the database to its file; false, with error set, when that failed.
    using CSave = std::function<bool(const CScanDatabase& database, std::string& error)>;
    /// Seconds since the run started.
    using CElapsed = std::function<double()>;

    /// Passes the events on to printer; saves the database through save.
    CScanProgress(CScanDatabase& database, CRunObserver& printer, CElapsed elapsed, CSave save);

    void OnPlanned(std::size_t requests) override { m_printer.OnPlanned(requests); }
    void OnStarted(unsigned worker, const std::string& request) override { m_printer.OnStarted(worker, request); }
    void OnDialogs(unsigned worker, const std::string& request, const std::vector<std::string>& titles) override
    {
        m_printer.OnDialogs(worker, request, titles);
    }
    void OnFinished(const SDatabaseEntry& entry, bool retried) override;
    void OnLibraryDone(const std::string& path) override { SaveIfDue(); }
    void OnTick() override;

    /// Saves the database now, pending changes or not (entries of files that
    /// are gone may have been dropped before the run); false, with saveError
    /// set, when that failed.
    bool Save();
    /// Whether scannedThisRun is filled (it is unless told otherwise); a caller
    /// that reads the entries' own scannedThisRun turns it off.
    void FillScannedThisRun(bool fill) { m_fillScannedThisRun = fill; }

    SRunSummary summary;
    std::set<std::string> scannedThisRun;
    std::string saveError;

private:
    void SaveIfDue();

    CScanDatabase& m_database;
    CRunObserver& m_printer;
    CElapsed m_elapsed;
    CSave m_save;
    bool m_dirty = false;
    bool m_fillScannedThisRun = true;
    double m_lastSave = -kSaveEverySeconds; ///< when the last save ended
    double m_lastSaveSeconds = 0;           ///< how long it took
};

#include "client/ScanRun.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr auto kTickInterval = std::chrono::milliseconds(250);
/// The most events that wait for the run's thread: while it is busy (saving a
/// large database, or not given the processor) the workers wait instead of
/// piling up finished entries, so the run's memory does not depend on how the
/// threads happen to be scheduled. Some eighty requests' worth (a request makes
/// two or three events): about what the workers scan while a large database is saved.
constexpr std::size_t kMostWaitingEvents = 256;

/// Whether the outcome says that a server the run cannot do without is missing.
bool StopsTheRun(const SScanOutcome& outcome, const std::set<std::string>& optionalPlatforms)
{
    return outcome.kind == EOutcome::NoServer && optionalPlatforms.count(outcome.platform) == 0;
}

/// The libraries to scan, in the order they are handed out: each points into
/// the run's own list (a large collection's files are not copied again); the
/// few that scan only some sub-plug-ins of an unchanged shell have their ids
/// by job, the others scan the library and then its sub-plug-ins.
struct SJobs {
    std::vector<const SLibraryFile*> files;
    std::map<std::size_t, std::vector<uint32_t>> subPluginsOnly;
};

/// One request's entry, whether it took a second attempt, and whether the run
/// was interrupted before it ended (its outcome is then not to be used).
struct SAttempt {
    SDatabaseEntry entry;
    bool retried = false;
    bool interrupted = false;
};

struct SEvent {
    enum class EKind { Started, Dialogs, Finished, LibraryDone, WorkerEnded };
    EKind kind = EKind::WorkerEnded;
    unsigned worker = 0;
    std::string request;
    std::vector<std::string> titles;
    SDatabaseEntry entry;
    bool retried = false;
};

/// Events from the workers to the thread that runs the scan, at most
/// kMostWaitingEvents at a time.
class CEventQueue {
public:
    /// Waits while the queue is full: the run's thread takes events until every
    /// worker has ended, or closes the queue when it leaves early, so the wait
    /// always ends. A closed queue drops the event.
    void Push(SEvent event)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_room.wait(lock, [this] { return m_closed || m_events.size() < kMostWaitingEvents; });
        if (m_closed)
            return;
        m_events.push_back(std::move(event));
        m_changed.notify_one();
    }

    /// False when nothing arrived within the wait.
    bool Pop(SEvent& event, std::chrono::milliseconds wait)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_for(lock, wait, [this] { return !m_events.empty(); }))
            return false;
        event = std::move(m_events.front());
        m_events.pop_front();
        m_room.notify_one();
        return true;
    }

    /// The run's thread takes no more events: the workers waiting for room go on.
    void Close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_room.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::condition_variable m_room;
    std::deque<SEvent> m_events;
    bool m_closed = false;
};

/// The ids of a shell's sub-plug-ins, each once, in the shell's order.
std::vector<uint32_t> SubPluginIds(const SScanOutcome& outcome)
{
    std::vector<uint32_t> ids;
    if (!outcome.hasRecord || !outcome.record.IsShell())
        return ids;
    for (const SSubPlugin& sub : outcome.record.shells)
        if (std::find(ids.begin(), ids.end(), sub.id) == ids.end())
            ids.push_back(sub.id);
    return ids;
}

/// What the workers share: the jobs, the next one to take, the stop flag, the
/// interrupt and the sessions that are open.
class CWorkers {
public:
    CWorkers(SJobs jobs, CScanRun::CSessionFactory& sessions, CEventQueue& events,
             const SRunOptions& options)
        : m_jobs(std::move(jobs)), m_sessions(sessions), m_events(events), m_interrupt(options.interrupt),
          m_optionalPlatforms(options.optionalPlatforms), m_retryCrashes(options.retryCrashes)
    {
    }

    /// One worker's life: takes jobs until none is left or the run stops. What
    /// it throws (memory ran out) stops the run and waits for the run's thread
    /// in RethrowFailure: an exception must not leave a thread.
    void Work(unsigned worker) noexcept
    {
        try {
            TakeJobs(worker);
            SEvent ended;
            ended.kind = SEvent::EKind::WorkerEnded;
            ended.worker = worker;
            m_events.Push(std::move(ended));
        } catch (...) {
            Fail(std::current_exception());
        }
        // Counted after the worker's last event, for a run that misses it (Ended).
        m_ended.fetch_add(1, std::memory_order_acq_rel);
    }

    /// Interrupts every open session (called once the interrupt is seen).
    void InterruptSessions()
    {
        std::lock_guard<std::mutex> lock(m_sessionsMutex);
        for (CScanSession* session : m_open)
            session->Interrupt();
    }

    /// Stops the run: no worker takes another job, and the requests in
    /// progress end at once.
    void Stop()
    {
        m_stop = true;
        InterruptSessions();
    }

    /// How many workers have ended.
    unsigned Ended() const { return m_ended.load(std::memory_order_acquire); }

    /// Throws on the run's thread what a worker threw, if one did.
    void RethrowFailure()
    {
        std::lock_guard<std::mutex> lock(m_sessionsMutex);
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    /// Keeps a session on the list InterruptSessions reaches while it lives.
    class CEnlisted {
    public:
        CEnlisted(CWorkers& workers, CScanSession* session) : m_workers(workers), m_session(session)
        {
            m_workers.Enlist(m_session, true);
        }
        ~CEnlisted() { m_workers.Enlist(m_session, false); }
        CEnlisted(const CEnlisted&) = delete;
        CEnlisted& operator=(const CEnlisted&) = delete;

    private:
        CWorkers& m_workers;
        CScanSession* m_session;
    };

    void TakeJobs(unsigned worker)
    {
        const std::unique_ptr<CScanSession> session = m_sessions(worker);
        // Open before the first look at the interrupt, so InterruptSessions
        // reaches every session that may still scan.
        const CEnlisted enlisted(*this, session.get());
        for (;;) {
            const std::size_t index = m_next++;
            if (Stopping() || index >= m_jobs.files.size())
                break;
            RunJob(worker, *session, index);
        }
    }

    void Fail(std::exception_ptr failure)
    {
        {
            std::lock_guard<std::mutex> lock(m_sessionsMutex);
            if (!m_failure)
                m_failure = std::move(failure);
        }
        Stop();
    }

    bool Interrupted() const { return m_interrupt != nullptr && *m_interrupt; }
    bool Stopping() const { return m_stop || Interrupted(); }

    void Enlist(CScanSession* session, bool open)
    {
        std::lock_guard<std::mutex> lock(m_sessionsMutex);
        if (open)
            m_open.push_back(session);
        else
            m_open.erase(std::find(m_open.begin(), m_open.end(), session));
    }

    void RunJob(unsigned worker, CScanSession& session, std::size_t job)
    {
        const SLibraryFile& file = *m_jobs.files[job];
        std::vector<uint32_t> subPlugins;
        const auto only = m_jobs.subPluginsOnly.find(job);
        if (only != m_jobs.subPluginsOnly.end()) {
            subPlugins = only->second;
        } else {
            SAttempt library = Scan(worker, session, file, false, 0);
            subPlugins = SubPluginIds(library.entry.outcome);
            if (!Report(worker, std::move(library)))
                return;
        }
        for (const uint32_t id : subPlugins) {
            if (Stopping() || !Report(worker, Scan(worker, session, file, true, id)))
                return;
        }
        SEvent done;
        done.kind = SEvent::EKind::LibraryDone;
        done.worker = worker;
        done.request = file.path;
        m_events.Push(std::move(done));
    }

    /// Scans one request, once more after a crash unless the run stops or crashes are not retried.
    SAttempt Scan(unsigned worker, CScanSession& session, const SLibraryFile& file, bool isSubPlugin, uint32_t id)
    {
        SAttempt attempt;
        SDatabaseEntry& entry = attempt.entry;
        entry.path = file.path;
        entry.isSubPlugin = isSubPlugin;
        entry.subId = id;
        entry.stamp = file.stamp;
        const std::string request = entry.Request();
        SScanObserver observer;
        observer.onDialogs = [this, worker, &request](const std::vector<std::string>& titles) {
            SEvent event;
            event.kind = SEvent::EKind::Dialogs;
            event.worker = worker;
            event.request = request;
            event.titles = titles;
            m_events.Push(std::move(event));
        };
        Started(worker, request);
        entry.outcome = session.Scan(request, observer);
        if (entry.outcome.kind == EOutcome::Crashed && m_retryCrashes && !Stopping()) {
            std::vector<std::string> dumps = std::move(entry.outcome.dumpFiles);
            Started(worker, request);
            entry.outcome = session.Scan(request, observer);
            dumps.insert(dumps.end(), entry.outcome.dumpFiles.begin(), entry.outcome.dumpFiles.end());
            entry.outcome.dumpFiles = std::move(dumps);
            attempt.retried = true;
        }
        // A request the interrupt cut short (its server killed) did not end.
        attempt.interrupted = Interrupted();
        return attempt;
    }

    void Started(unsigned worker, const std::string& request)
    {
        SEvent event;
        event.kind = SEvent::EKind::Started;
        event.worker = worker;
        event.request = request;
        m_events.Push(std::move(event));
    }

    /// Hands a finished entry to the run; false when the run must stop.
    bool Report(unsigned worker, SAttempt attempt)
    {
        if (attempt.interrupted)
            return false;
        const bool noServer = StopsTheRun(attempt.entry.outcome, m_optionalPlatforms);
        if (noServer)
            m_stop = true;
        SEvent event;
        event.kind = SEvent::EKind::Finished;
        event.worker = worker;
        event.entry = std::move(attempt.entry);
        event.retried = attempt.retried;
        m_events.Push(std::move(event));
        return !noServer;
    }

    const SJobs m_jobs;
    CScanRun::CSessionFactory& m_sessions;
    CEventQueue& m_events;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    const std::atomic<bool>* m_interrupt;
    const std::set<std::string>& m_optionalPlatforms;
    const bool m_retryCrashes;
    std::atomic<unsigned> m_ended{0};
    std::mutex m_sessionsMutex;
    std::exception_ptr m_failure; ///< what a worker threw first
    std::vector<CScanSession*> m_open;
};

/// The workers' threads, joined however the run's thread leaves Run; leaving
/// early (its memory ran out) first stops the workers.
class CWorkerThreads {
public:
    CWorkerThreads(CWorkers& workers, CEventQueue& events, unsigned count) : m_workers(workers), m_events(events)
    {
        m_threads.reserve(count);
    }
    ~CWorkerThreads()
    {
        if (std::any_of(m_threads.begin(), m_threads.end(), [](const std::thread& thread) { return thread.joinable(); })) {
            m_workers.Stop();
            // No one takes their events any more: a worker waiting for room must not wait for ever.
            m_events.Close();
        }
        Join();
    }
    CWorkerThreads(const CWorkerThreads&) = delete;
    CWorkerThreads& operator=(const CWorkerThreads&) = delete;

    void Start(unsigned worker)
    {
        m_threads.emplace_back([this, worker] { m_workers.Work(worker); });
    }

    void Join()
    {
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }

private:
    CWorkers& m_workers;
    CEventQueue& m_events;
    std::vector<std::thread> m_threads;
};

} // namespace

CScanRun::CScanRun(CScanDatabase& database, const SRunOptions& options, CSessionFactory sessions,
                   CRunObserver& observer, CClock now)
    : m_database(database), m_options(options), m_sessions(std::move(sessions)), m_observer(observer),
      m_now(std::move(now))
{
}

SRunResult CScanRun::Run(const std::vector<SLibraryFile>& files)
{
    SRunResult result;
    m_database.ClearScannedThisRun();
    SJobs jobs;
    jobs.files.reserve(files.size());
    std::size_t planned = 0;
    for (const SLibraryFile& file : files) {
        SLibraryPlan plan = PlanLibrary(m_database, file, m_options.plan);
        const std::size_t entries = m_database.EntriesOf(file.path).size();
        if (plan.action == EPlanAction::Skip) {
            result.skipped += entries;
            ++result.skippedLibraries;
            continue;
        }
        if (plan.action == EPlanAction::ScanSubPlugins) {
            std::size_t known = 0;
            for (const uint32_t id : plan.subPlugins)
                known += m_database.FindSubPlugin(file.path, id) != nullptr ? 1 : 0;
            result.skipped += entries - known;
            planned += plan.subPlugins.size();
            jobs.subPluginsOnly[jobs.files.size()] = std::move(plan.subPlugins);
        } else {
            ++planned;
        }
        jobs.files.push_back(&file);
    }
    m_observer.OnPlanned(planned);
    const auto interrupted = [this] { return m_options.interrupt != nullptr && *m_options.interrupt; };
    if (jobs.files.empty()) {
        result.interrupted = interrupted();
        return result;
    }

    const unsigned workerCount =
        static_cast<unsigned>(std::min<std::size_t>(std::max(1u, m_options.jobs), jobs.files.size()));
    CEventQueue events;
    CWorkers workers(std::move(jobs), m_sessions, events, m_options);
    CWorkerThreads threads(workers, events, workerCount);
    for (unsigned worker = 0; worker < workerCount; ++worker)
        threads.Start(worker);

    unsigned running = workerCount;
    // Every worker has ended, whether or not its last event could be sent: the
    // next empty look at the queue ends the run.
    bool allEnded = false;
    while (running > 0) {
        if (!result.interrupted && interrupted()) {
            result.interrupted = true;
            workers.InterruptSessions();
        }
        SEvent event;
        if (!events.Pop(event, kTickInterval)) {
            if (allEnded)
                break;
            allEnded = workers.Ended() == workerCount;
            m_observer.OnTick();
            continue;
        }
        switch (event.kind) {
        case SEvent::EKind::Started:
            m_observer.OnStarted(event.worker, event.request);
            break;
        case SEvent::EKind::Dialogs:
            m_observer.OnDialogs(event.worker, event.request, event.titles);
            break;
        case SEvent::EKind::Finished: {
            SDatabaseEntry& entry = event.entry;
            if (StopsTheRun(entry.outcome, m_options.optionalPlatforms)) {
                result.serverFailed = true;
                result.serverError = entry.outcome.error;
                break;
            }
            entry.scannedAt = m_now();
            if (!entry.isSubPlugin) {
                const std::vector<uint32_t> subPlugins = SubPluginIds(entry.outcome);
                m_database.RemoveSubPluginsExcept(entry.path, subPlugins);
                planned += subPlugins.size();
                if (!subPlugins.empty())
                    m_observer.OnPlanned(planned);
            }
            ++result.finished;
            entry.scannedThisRun = true;
            m_database.Put(entry);
            m_observer.OnFinished(entry, event.retried);
            break;
        }
        case SEvent::EKind::LibraryDone:
            m_observer.OnLibraryDone(event.request);
            break;
        case SEvent::EKind::WorkerEnded:
            --running;
            break;
        }
    }
    threads.Join();
    workers.RethrowFailure();
    result.interrupted = interrupted();
    return result;
}

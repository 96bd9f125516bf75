// The C library over the host-side client: each scanner routes its requests
// through a platform router whose sessions are scan clients, one server at a
// time; a whole run goes through the scan engine, as PluginScanner's does.
// Every entry point catches every exception: running out of memory gives NULL
// (or TVS_RUN_OUT_OF_MEMORY), anything else a failed result (or NULL where no
// result is made).

#include "tessivane/scan.h"

#include "capi/ApiSystem.h"
#include "client/DatabaseFile.h"
#include "client/EntryJson.h"
#include "client/JsonMembers.h"
#include "client/LibraryFiles.h"
#include "client/PlatformRouter.h"
#include "client/ScanClient.h"
#include "client/ScanEngine.h"
#include "foundation/Version.h"
#include "wire/Protocol.h"

#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

/// How a request ended as the C library names it (it adds TVS_INTERRUPTED),
/// with the client's outcome behind it.
struct SApiOutcome {
    tvs_outcome kind = TVS_FAILED;
    SScanOutcome scan;
};

/// The options as this library knows them: a member is read only when the
/// host's size covers it whole.
struct SKnownOptions {
    std::string server;
    std::string serverX86;
    std::string dumpFolder;
    uint32_t timeoutMs = kDefaultSilenceTimeoutMs;
    bool retryCrash = true;
};

/// Whether the host's size covers the member at the offset whole.
template <typename TMember, typename TOptions>
bool Covers(const TOptions& options, std::size_t offset)
{
    return options.size >= offset + sizeof(TMember);
}

/// Covers for a member named as in tvs_options.
#define TVS_COVERS(options, member) Covers<decltype(tvs_options::member)>(options, offsetof(tvs_options, member))
/// Covers for a member named as in tvs_run_options.
#define TVS_RUN_COVERS(options, member) \
    Covers<decltype(tvs_run_options::member)>(options, offsetof(tvs_run_options, member))

/// Why a run ended TVS_RUN_INTERRUPTED.
constexpr const char* kRunInterruptedError = "the run was interrupted: what ended is saved, the next run scans the rest";
/// Why a run ended TVS_RUN_OUT_OF_MEMORY.
constexpr const char* kOutOfMemoryError = "out of memory";

std::string TextOr(const char* text, const std::string& fallback) { return text != nullptr ? text : fallback; }

SKnownOptions ReadOptions(const tvs_options& options)
{
    SKnownOptions known;
    const char* server = TVS_COVERS(options, server) ? options.server : nullptr;
    const char* serverX86 = TVS_COVERS(options, server_x86) ? options.server_x86 : nullptr;
    known.server = TextOr(server, InstalledServer(kPlatformX64));
    known.serverX86 = TextOr(serverX86, InstalledServer(kPlatformX86));
    if (TVS_COVERS(options, dump_folder) && options.dump_folder != nullptr)
        known.dumpFolder = options.dump_folder;
    if (TVS_COVERS(options, timeout_ms))
        known.timeoutMs = options.timeout_ms;
    if (TVS_COVERS(options, retry_crash))
        known.retryCrash = options.retry_crash != 0;
    return known;
}

/// The path part of a request ("path" or "path>XXXXXXXX").
std::string PathOf(const std::string& request) { return request.substr(0, request.find(kShellIdMarker)); }

/// A request that a waiting interrupt ended before it began.
SApiOutcome Interrupted()
{
    SApiOutcome outcome;
    outcome.kind = TVS_INTERRUPTED;
    outcome.scan.kind = EOutcome::Failed;
    outcome.scan.error = kInterruptedError;
    return outcome;
}

tvs_outcome ApiOutcome(EOutcome kind)
{
    switch (kind) {
    case EOutcome::Scanned:
        return TVS_SCANNED;
    case EOutcome::Crashed:
        return TVS_CRASHED;
    case EOutcome::TimedOut:
        return TVS_TIMED_OUT;
    case EOutcome::NotPlugin:
        return TVS_NOT_PLUGIN;
    case EOutcome::NoServer:
        return TVS_NO_SERVER;
    case EOutcome::Failed:
        break;
    }
    return TVS_FAILED;
}

} // namespace

/// A scanner: its options, its router (made on first use, and again after an
/// interrupt: the client's interrupt sticks), the interrupt's state, and its
/// last run's error.
struct tvs_scanner {
    explicit tvs_scanner(SKnownOptions known) : m_options(std::move(known)) {}

    const SKnownOptions& GetOptions() const { return m_options; }

    /// Scans one request (once more after a crash, when asked), unless an interrupt waits.
    SApiOutcome Scan(const std::string& request)
    {
        CPlatformRouter* scanning = Begin();
        if (scanning == nullptr)
            return Interrupted();
        SApiOutcome outcome;
        bool interrupted = false;
        try {
            outcome.scan = scanning->Scan(request, SScanObserver());
            if (outcome.scan.kind == EOutcome::Crashed && m_options.retryCrash && !InterruptWaits()) {
                std::vector<std::string> dumps = std::move(outcome.scan.dumpFiles);
                outcome.scan = scanning->Scan(request, SScanObserver());
                dumps.insert(dumps.end(), outcome.scan.dumpFiles.begin(), outcome.scan.dumpFiles.end());
                outcome.scan.dumpFiles = std::move(dumps);
            }
        } catch (...) {
            // The request stopped half way (out of memory): its server may still
            // be answering it, so it goes with the router.
            End(interrupted, true);
            throw;
        }
        End(interrupted, false);
        // Only a request the interrupt cut short is interrupted: one that had
        // ended by itself keeps its outcome.
        const bool cutShort = interrupted && outcome.scan.kind == EOutcome::Failed && !outcome.scan.hasRecord &&
                              outcome.scan.error == kInterruptedError;
        outcome.kind = cutShort ? TVS_INTERRUPTED : ApiOutcome(outcome.scan.kind);
        return outcome;
    }

    void Interrupt()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_running) {
            m_runInterrupt = true;
            return;
        }
        m_interrupt = true;
        if (m_busy && m_router)
            m_router->Interrupt();
    }

    /// Marks a whole run in progress and hands it its interrupt, set at once
    /// when an interrupt waits (which the run then uses up).
    const std::atomic<bool>* BeginRun()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = true;
        m_runInterrupt = m_interrupt;
        m_interrupt = false;
        return &m_runInterrupt;
    }

    /// Ends the whole run: later interrupts go to requests again.
    void EndRun()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
        m_runInterrupt = false;
    }

    std::string error; ///< why the last run did not end TVS_RUN_DONE; empty when it did

private:
    /// The router for the next request, marked busy; null when a waiting
    /// interrupt ends the request at once (the interrupt is then used up).
    CPlatformRouter* Begin()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_interrupt) {
            m_interrupt = false;
            return nullptr;
        }
        if (!m_router)
            m_router = MakeRouter();
        m_busy = true;
        return m_router.get();
    }

    /// Ends the request: an interrupt that came during it is used up, and takes
    /// the router (its servers stopped) with it; so does an abandoned request.
    void End(bool& interrupted, bool abandoned)
    {
        std::unique_ptr<CPlatformRouter> ended; // ends after the lock is let go: stopping a server takes time
        std::lock_guard<std::mutex> lock(m_mutex);
        m_busy = false;
        interrupted = m_interrupt;
        m_interrupt = false;
        if (interrupted || abandoned)
            ended = std::move(m_router);
    }

    bool InterruptWaits()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_interrupt;
    }

    std::unique_ptr<CPlatformRouter> MakeRouter() const
    {
        SScanClientOptions client;
        client.dumpRoot = m_options.dumpFolder;
        client.silenceTimeoutMs = m_options.timeoutMs;
        return std::make_unique<CPlatformRouter>(CheckLibraryFile, [client, this](const std::string& platform) {
            SScanClientOptions made = client;
            made.platform = platform;
            made.serverPath = platform == kPlatformX86 ? m_options.serverX86 : m_options.server;
            return std::make_unique<CScanClient>(made);
        });
    }

    const SKnownOptions m_options;
    std::mutex m_mutex; ///< guards what tvs_interrupt touches: the router, busy and interrupt
    std::unique_ptr<CPlatformRouter> m_router;
    bool m_busy = false;      ///< a request is in progress
    bool m_interrupt = false; ///< tvs_interrupt came and no request has used it up yet
    bool m_running = false;   ///< a whole run is in progress: tvs_interrupt goes to it
    std::atomic<bool> m_runInterrupt{false}; ///< the interrupt of the whole run in progress
};

/// One request's result, with every text the accessors return.
struct tvs_result {
    tvs_outcome outcome = TVS_FAILED;
    std::string request;
    SScanOutcome scan;
    std::string platform;
    std::string json;
};

namespace {

/// The result of a database entry that answers the request, its JSON the entry's members.
std::unique_ptr<tvs_result> EntryResult(SDatabaseEntry entry, tvs_outcome kind, std::string request)
{
    CJsonObject json = EntryToJson(entry);
    const CJsonEmptier emptier(json);
    json["outcome"] = tvs_outcome_name(kind);
    auto result = std::make_unique<tvs_result>();
    result->outcome = kind;
    result->request = std::move(request);
    result->json = json.dump(-1, ' ', false, CJsonObject::error_handler_t::replace);
    result->platform = OutcomePlatform(entry.outcome);
    result->scan = std::move(entry.outcome);
    return result;
}

/// The result of the request, its JSON the database entry's members.
std::unique_ptr<tvs_result> MakeResult(const std::string& request, SApiOutcome outcome)
{
    SDatabaseEntry entry;
    entry.path = PathOf(request);
    const std::size_t marker = request.find(kShellIdMarker);
    entry.isSubPlugin = marker != std::string::npos && ParseHexId(request.substr(marker + 1), entry.subId);
    entry.stamp = FileStampOf(entry.path);
    entry.scannedAt = UtcNow();
    entry.outcome = std::move(outcome.scan);
    return EntryResult(std::move(entry), outcome.kind, request);
}

/// A failed result naming what went wrong; NULL when even that cannot be made.
tvs_result* FailedResult(const std::string& request, const char* error) noexcept
{
    try {
        SApiOutcome outcome;
        outcome.scan.error = error;
        return MakeResult(request, std::move(outcome)).release();
    } catch (...) {
        return nullptr;
    }
}

const char* Text(const tvs_result* result, const std::string tvs_result::*text)
{
    return result != nullptr ? (result->*text).c_str() : "";
}

const SPluginRecord* RecordOf(const tvs_result* result)
{
    return result != nullptr && result->scan.hasRecord ? &result->scan.record : nullptr;
}

const char* RecordText(const tvs_result* result, const std::string SPluginRecord::*text)
{
    const SPluginRecord* record = RecordOf(result);
    return record != nullptr ? (record->*text).c_str() : "";
}

int RecordNumber(const tvs_result* result, const int32_t SPluginRecord::*number, int without)
{
    const SPluginRecord* record = RecordOf(result);
    return record != nullptr ? static_cast<int>(record->*number) : without;
}

const std::vector<SSubPlugin>* ShellsOf(const tvs_result* result)
{
    const SPluginRecord* record = RecordOf(result);
    return record != nullptr ? &record->shells : nullptr;
}

/// The run's options as this library knows them (see ReadOptions).
SEngineOptions ReadRunOptions(const tvs_run_options& options, const SKnownOptions& scanner)
{
    SEngineOptions engine;
    engine.fillScannedThisRun = false; // the C library reports no such set
    engine.server = scanner.server;
    engine.serverX86 = scanner.serverX86;
    engine.dumpRoot = scanner.dumpFolder;
    engine.silenceTimeoutMs = scanner.timeoutMs;
    engine.retryCrashes = scanner.retryCrash;
    if (TVS_RUN_COVERS(options, jobs))
        engine.jobs = options.jobs;
    engine.plan.retryProblems = TVS_RUN_COVERS(options, retry) && options.retry != 0;
    engine.plan.rescanAll = TVS_RUN_COVERS(options, rescan) && options.rescan != 0;
    engine.utcNow = UtcNow;
    return engine;
}

/// The database a run uses: the one the options name, else the user's own one.
std::string RunDatabase(const tvs_run_options& options)
{
    const char* database = TVS_RUN_COVERS(options, database) ? options.database : nullptr;
    return FullPath(database != nullptr && *database != '\0' ? database : DefaultDatabasePath());
}

/// Hands each entry that ended to the host's progress function, as a result
/// that lives for the call. Never throws into the run: a result that cannot be
/// made for want of memory is not reported, and the run ends out of memory.
class CRunProgress : public CRunObserver {
public:
    CRunProgress(tvs_progress_fn progress, void* context) : m_progress(progress), m_context(context) {}

    void OnFinished(const SDatabaseEntry& entry, bool retried) override { Report(entry); }

    /// A path that leads to no library file: failed with the reason, as tvs_scan
    /// answers a missing file (it has no database entry).
    void OnPathProblem(const SPathProblem& problem)
    {
        try {
            SDatabaseEntry entry;
            entry.path = problem.path;
            entry.scannedAt = UtcNow();
            entry.outcome.kind = EOutcome::Failed;
            entry.outcome.error = problem.error;
            Report(entry);
        } catch (...) {
            outOfMemory = true;
        }
    }

    bool outOfMemory = false;

private:
    void Report(const SDatabaseEntry& entry)
    {
        if (m_progress == nullptr)
            return;
        try {
            const std::unique_ptr<tvs_result> result =
                EntryResult(entry, ApiOutcome(entry.outcome.kind), entry.Request());
            m_progress(m_context, result.get());
        } catch (...) {
            outOfMemory = true;
        }
    }

    tvs_progress_fn m_progress;
    void* m_context;
};

/// Sets the scanner's error; without the memory for it, none.
void SetError(tvs_scanner& scanner, const char* error) noexcept
{
    try {
        scanner.error = error;
    } catch (...) {
        scanner.error.clear();
    }
}

/// The whole run on the scanner; its error says why it did not end TVS_RUN_DONE.
tvs_run_status Run(tvs_scanner& scanner, const std::vector<std::string>& paths, const tvs_run_options& options,
                   CRunProgress& progress)
{
    CScanEngine engine;
    SEngineOptions engineOptions = ReadRunOptions(options, scanner.GetOptions());
    engineOptions.interrupt = scanner.BeginRun();
    struct SRunEnd {
        tvs_scanner& scanner;
        ~SRunEnd() { scanner.EndRun(); }
    } runEnd{scanner};
    if (!engine.Open(RunDatabase(options), scanner.error))
        return TVS_RUN_DATABASE_ERROR;
    if (!engine.Prepare(engineOptions, scanner.error))
        return TVS_RUN_SERVER_ERROR;
    const SEngineResult result = engine.Scan(paths, progress);
    for (const SPathProblem& problem : result.problems)
        progress.OnPathProblem(problem);
    if (!result.saveError.empty()) {
        scanner.error = result.saveError;
        return TVS_RUN_DATABASE_ERROR;
    }
    if (!result.serverError.empty()) {
        scanner.error = result.serverError;
        return TVS_RUN_SERVER_ERROR;
    }
    if (progress.outOfMemory) {
        scanner.error = kOutOfMemoryError;
        return TVS_RUN_OUT_OF_MEMORY;
    }
    if (result.summary.interrupted) {
        scanner.error = kRunInterruptedError;
        return TVS_RUN_INTERRUPTED;
    }
    return TVS_RUN_DONE;
}

} // namespace

extern "C" {

const char* tvs_version(void) { return TESSIVANE_VERSION_TEXT; }

const char* tvs_outcome_name(tvs_outcome outcome)
{
    switch (outcome) {
    case TVS_SCANNED:
        return OutcomeName(EOutcome::Scanned);
    case TVS_FAILED:
        return OutcomeName(EOutcome::Failed);
    case TVS_CRASHED:
        return OutcomeName(EOutcome::Crashed);
    case TVS_TIMED_OUT:
        return OutcomeName(EOutcome::TimedOut);
    case TVS_NOT_PLUGIN:
        return OutcomeName(EOutcome::NotPlugin);
    case TVS_NO_SERVER:
        return OutcomeName(EOutcome::NoServer);
    case TVS_INTERRUPTED:
        return "interrupted";
    }
    return "";
}

void tvs_options_init(tvs_options* options)
{
    if (options == nullptr)
        return;
    *options = tvs_options();
    options->size = sizeof(tvs_options);
    options->timeout_ms = kDefaultSilenceTimeoutMs;
    options->retry_crash = 1;
}

tvs_scanner* tvs_scanner_new(const tvs_options* options)
{
    try {
        tvs_options defaults;
        tvs_options_init(&defaults);
        const tvs_options& given = options != nullptr ? *options : defaults;
        if (given.size < sizeof(given.size))
            return nullptr;
        return new tvs_scanner(ReadOptions(given));
    } catch (...) {
        return nullptr;
    }
}

void tvs_scanner_free(tvs_scanner* scanner)
{
    // Ending a server does not throw; a destructor that did would end the program anyway.
    delete scanner;
}

void tvs_interrupt(tvs_scanner* scanner)
{
    if (scanner == nullptr)
        return;
    try {
        scanner->Interrupt();
    } catch (...) {
        // A mutex that cannot be locked: the request runs to its own end.
    }
}

tvs_result* tvs_scan(tvs_scanner* scanner, const char* request)
{
    if (scanner == nullptr || request == nullptr)
        return FailedResult(request != nullptr ? request : "", scanner == nullptr ? "no scanner" : "no request");
    try {
        const std::string text = request;
        return MakeResult(text, scanner->Scan(text)).release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::exception& error) {
        return FailedResult(request, error.what());
    } catch (...) {
        return FailedResult(request, "an unexpected error");
    }
}

void tvs_result_free(tvs_result* result) { delete result; }

tvs_outcome tvs_result_outcome(const tvs_result* result) { return result != nullptr ? result->outcome : TVS_FAILED; }

const char* tvs_result_error(const tvs_result* result)
{
    return result != nullptr ? result->scan.error.c_str() : "";
}

const char* tvs_result_json(const tvs_result* result) { return Text(result, &tvs_result::json); }

const char* tvs_result_request(const tvs_result* result) { return Text(result, &tvs_result::request); }

const char* tvs_result_name(const tvs_result* result) { return RecordText(result, &SPluginRecord::name); }

const char* tvs_result_vendor(const tvs_result* result) { return RecordText(result, &SPluginRecord::vendor); }

const char* tvs_result_product(const tvs_result* result) { return RecordText(result, &SPluginRecord::product); }

const char* tvs_result_version(const tvs_result* result) { return RecordText(result, &SPluginRecord::version); }

const char* tvs_result_platform(const tvs_result* result) { return Text(result, &tvs_result::platform); }

uint32_t tvs_result_unique_id(const tvs_result* result)
{
    const SPluginRecord* record = RecordOf(result);
    return record != nullptr ? record->id : 0;
}

int tvs_result_category(const tvs_result* result) { return RecordNumber(result, &SPluginRecord::category, -1); }

int tvs_result_num_inputs(const tvs_result* result) { return RecordNumber(result, &SPluginRecord::numInputs, 0); }

int tvs_result_num_outputs(const tvs_result* result) { return RecordNumber(result, &SPluginRecord::numOutputs, 0); }

size_t tvs_result_shell_count(const tvs_result* result)
{
    const std::vector<SSubPlugin>* shells = ShellsOf(result);
    return shells != nullptr ? shells->size() : 0;
}

uint32_t tvs_result_shell_id(const tvs_result* result, size_t index)
{
    const std::vector<SSubPlugin>* shells = ShellsOf(result);
    return shells != nullptr && index < shells->size() ? (*shells)[index].id : 0;
}

const char* tvs_result_shell_name(const tvs_result* result, size_t index)
{
    const std::vector<SSubPlugin>* shells = ShellsOf(result);
    return shells != nullptr && index < shells->size() ? (*shells)[index].name.c_str() : "";
}

size_t tvs_result_dump_count(const tvs_result* result) { return result != nullptr ? result->scan.dumpFiles.size() : 0; }

const char* tvs_result_dump(const tvs_result* result, size_t index)
{
    return result != nullptr && index < result->scan.dumpFiles.size() ? result->scan.dumpFiles[index].c_str() : "";
}

void tvs_run_options_init(tvs_run_options* options)
{
    if (options == nullptr)
        return;
    *options = tvs_run_options();
    options->size = sizeof(tvs_run_options);
}

tvs_run_status tvs_run(tvs_scanner* scanner, const char* const* paths, size_t path_count,
                       const tvs_run_options* options, tvs_progress_fn progress, void* context)
{
    if (scanner == nullptr)
        return TVS_RUN_SERVER_ERROR;
    try {
        scanner->error.clear();
        tvs_run_options defaults;
        tvs_run_options_init(&defaults);
        std::vector<std::string> walked;
        for (size_t index = 0; paths != nullptr && index < path_count; ++index)
            if (paths[index] != nullptr)
                walked.push_back(paths[index]);
        CRunProgress reporter(progress, context);
        return Run(*scanner, walked, options != nullptr ? *options : defaults, reporter);
    } catch (const std::bad_alloc&) {
        SetError(*scanner, kOutOfMemoryError);
        return TVS_RUN_OUT_OF_MEMORY;
    } catch (const std::exception& error) {
        SetError(*scanner, error.what());
        return TVS_RUN_SERVER_ERROR;
    } catch (...) {
        SetError(*scanner, "an unexpected error");
        return TVS_RUN_SERVER_ERROR;
    }
}

const char* tvs_scanner_error(const tvs_scanner* scanner) { return scanner != nullptr ? scanner->error.c_str() : ""; }

} // extern "C"

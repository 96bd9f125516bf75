#pragma once
/// \file
/// The host's scan client: one scan server at a time, started when needed,
/// fed one request after another, and replaced after a crash or a hang.
///
/// Every request ends in exactly one outcome (see ScanOutcome.h). A file that
/// is not a library of the client's platform is answered without a server. While a request runs,
/// every line from the server starts the silence timeout again, so a shell that
/// lists hundreds of sub-plug-ins keeps its server; a server that stays silent
/// too long is killed, unless its crash dump has appeared: a crashing server is
/// silent while it writes its dump and ends by itself. Once a request has run a
/// couple of seconds the client looks for windows of the server (a licence or
/// error dialog) and reports their titles. Each server gets a dump folder of
/// its own below the dump root, so a dump names the server that crashed and
/// servers crashing within the same second cannot overwrite each other's dumps.

#include "client/PeCheck.h"
#include "client/ScanSession.h"
#include "client/ServerConnection.h"
#include "wire/Protocol.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// How long a server may stay silent during a request unless told otherwise.
constexpr uint32_t kDefaultSilenceTimeoutMs = 30000;
/// The error of a request that an interrupt ended (its outcome is Failed).
constexpr const char* kInterruptedError = "the scan was interrupted";

/// How a scan client starts its servers and waits for them.
struct SScanClientOptions {
    std::string serverPath;  ///< the server executable
    std::string platform = kPlatformX64; ///< the platform of the libraries that server loads
    std::string dumpRoot;    ///< each server dumps into a new folder `<host pid>-<n>` below it; empty: no dumps
    uint64_t ownerWindow = 0; ///< the host's window, the server's owner (argument 3); 0: none
    uint32_t silenceTimeoutMs = kDefaultSilenceTimeoutMs; ///< how long a server may stay silent during a request
    uint32_t windowCheckAfterMs = 2000; ///< a request's age before its server's windows are looked at
    std::size_t keptLines = 20;         ///< last lines kept for a crash or hang report
};

/// The rest of the world as the scan client sees it: the library file, the
/// dump folders, the server's windows and the clock. The system's own one is
/// real; tests record and script one.
class IScanClientSystem {
public:
    virtual ~IScanClientSystem() = default;
    /// Reads the file's header (PE or ELF). False, with error set, when it cannot be read.
    virtual bool CheckLibraryFile(const std::string& path, SPeCheck& check, std::string& error) = 0;
    /// Creates a new, empty dump folder below root (never one left by an earlier
    /// run). False, with error set, when it cannot.
    virtual bool CreateDumpFolder(const std::string& root, std::string& folder, std::string& error) = 0;
    /// The newest server dump (a Linux server's crash report) in the folder; empty when there is none.
    virtual std::string NewestDump(const std::string& folder) = 0;
    /// Removes the folder when it is empty (one holding a dump stays).
    virtual void RemoveEmptyFolder(const std::string& folder) = 0;
    /// The titles of the process's visible windows, splash excluded (none on Linux).
    virtual std::vector<std::string> WindowTitles(uint32_t processId) = 0;
    /// Milliseconds on a steady clock.
    virtual uint64_t NowMs() = 0;
};

/// The scan client: one server at a time for the libraries of one platform (see the file's description).
class CScanClient : public CScanSession {
public:
    /// A client of real server processes on the real system.
    explicit CScanClient(SScanClientOptions options);
    /// A client of the given server process and system.
    CScanClient(SScanClientOptions options, std::unique_ptr<IServerProcess> server,
                std::unique_ptr<IScanClientSystem> system);
    ~CScanClient() override; ///< ends the server
    CScanClient(const CScanClient&) = delete;
    CScanClient& operator=(const CScanClient&) = delete;

    /// Scans one request ("path" or "path>XXXXXXXX"); see CScanSession.
    SScanOutcome Scan(const std::string& request, const SScanObserver& observer = SScanObserver()) override;
    /// Scan with the library's header as the caller read it; see CScanSession.
    SScanOutcome ScanChecked(const std::string& request, const SPeCheck& check,
                             const SScanObserver& observer = SScanObserver()) override;
    /// Safe from any thread: the request in progress kills its server within a
    /// poll interval, and every later request ends at once; both end Failed.
    void Interrupt() override { m_interrupted = true; }

    /// Ends the current server, if any (closes its input; kills it when it does
    /// not exit within a few seconds). The next request starts a fresh one.
    void StopServer();

    /// The running server's process id; 0 when none runs.
    uint32_t GetServerProcessId() const;
    /// How many servers this client has started.
    unsigned GetServersStarted() const { return m_serversStarted; }
    /// The dump folder of the current or last server; empty before the first.
    const std::string& GetDumpFolder() const { return m_dumpFolder; }

private:
    /// Why the request is refused before its file is looked at (an interrupt, a
    /// line break in it); empty when it is not.
    std::string Refusal(const std::string& request) const;
    /// The request whose library header reads as check: not a plug-in, or served.
    SScanOutcome Examined(const std::string& request, const SPeCheck& check, const SScanObserver& observer);
    /// The request's exchange with the server, started (or restarted once) as needed.
    SScanOutcome Serve(const std::string& request, const SScanObserver& observer);
    bool EnsureServer(std::string& error);
    SScanOutcome Exchange(const std::string& request, const SScanObserver& observer);
    SScanOutcome Ended(const class CAnswerReader& answer, const std::vector<std::string>& dialogs);
    std::string NewestDump() const;
    void ForgetServer();

    SScanClientOptions m_options;
    std::unique_ptr<IServerProcess> m_serverProcess;
    std::unique_ptr<IScanClientSystem> m_system;
    IServerProcess& m_server;
    bool m_running = false;
    unsigned m_serversStarted = 0;
    std::string m_dumpFolder;
    std::atomic<bool> m_interrupted{false};
};

#pragma once
/// The host's scan client: one scan server at a time, started when needed,
/// fed one request after another, and replaced after a crash or a hang.
///
/// Every request ends in exactly one outcome (see ScanOutcome.h). A file that
/// is not an x64 library is answered without a server. While a request runs,
/// every line from the server starts the silence timeout again, so a shell that
/// lists hundreds of sub-plug-ins keeps its server; a server that stays silent
/// too long is killed, unless its crash dump has appeared: a crashing server is
/// silent while it writes its dump and ends by itself. Once a request has run a
/// couple of seconds the client looks for windows of the server (a licence or
/// error dialog) and reports their titles. Each server gets a dump folder of
/// its own below the dump root, so a dump names the server that crashed and
/// servers crashing within the same second cannot overwrite each other's dumps.

#include "client/ScanSession.h"
#include "client/ServerConnection.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// How long a server may stay silent during a request unless told otherwise.
constexpr uint32_t kDefaultSilenceTimeoutMs = 30000;

struct SScanClientOptions {
    std::string serverPath;  ///< the server executable
    std::string dumpRoot;    ///< each server dumps into a new <dumpRoot>\<host pid>-<n>; empty: no dumps
    uint64_t ownerWindow = 0;
    uint32_t silenceTimeoutMs = kDefaultSilenceTimeoutMs;
    uint32_t windowCheckAfterMs = 2000; ///< a request's age before its server's windows are looked at
    std::size_t keptLines = 20;         ///< last lines kept for a crash or hang report
};

class CScanClient : public CScanSession {
public:
    explicit CScanClient(SScanClientOptions options);
    ~CScanClient() override; ///< ends the server
    CScanClient(const CScanClient&) = delete;
    CScanClient& operator=(const CScanClient&) = delete;

    /// Scans one request ("path" or "path>XXXXXXXX"); see CScanSession.
    SScanOutcome Scan(const std::string& request, const SScanObserver& observer = SScanObserver()) override;
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
    bool EnsureServer(std::string& error);
    bool CreateDumpFolder(std::string& error);
    SScanOutcome Exchange(const std::string& request, const SScanObserver& observer);
    SScanOutcome Ended(const class CAnswerReader& answer, const std::vector<std::string>& dialogs);
    std::string NewestDump() const;
    void ForgetServer();

    SScanClientOptions m_options;
    CServerConnection m_server;
    bool m_running = false;
    unsigned m_serversStarted = 0;
    std::string m_dumpFolder;
    std::atomic<bool> m_interrupted{false};
};

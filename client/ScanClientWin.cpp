#include "client/ScanClient.h"

#include "client/AnswerReader.h"
#include "client/DatabaseFile.h"
#include "client/LibraryFiles.h"
#include "client/ServerWindows.h"
#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "wire/Protocol.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {

/// Numbers the servers of this host process, for their dump folders.
std::atomic<unsigned> g_serverSerial{0};

constexpr uint32_t kPollMs = 100;
constexpr uint32_t kWindowCheckEveryMs = 500;
constexpr uint32_t kExitWaitMs = 10000;
constexpr uint32_t kStopWaitMs = 5000;
/// How long a crashing server may take to write its dump (slow under Wine).
constexpr uint32_t kDumpWriteMs = 120000;
constexpr const char* kInterruptedError = "the scan was interrupted";

using CClock = std::chrono::steady_clock;

uint32_t MsSince(CClock::time_point since)
{
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(CClock::now() - since).count());
}

SScanOutcome Outcome(EOutcome kind, std::string error)
{
    SScanOutcome outcome;
    outcome.kind = kind;
    outcome.error = std::move(error);
    return outcome;
}

/// The titles seen during one request, each once, in the order first seen.
class CWindowWatch {
public:
    CWindowWatch(uint32_t processId, const SScanObserver& observer) : m_processId(processId), m_observer(observer) {}

    void Look()
    {
        bool added = false;
        for (const std::string& title : VisibleWindowTitles(m_processId)) {
            if (std::find(titles.begin(), titles.end(), title) == titles.end()) {
                titles.push_back(title);
                added = true;
            }
        }
        if (added && m_observer.onDialogs)
            m_observer.onDialogs(titles);
    }

    std::vector<std::string> titles;

private:
    uint32_t m_processId;
    const SScanObserver& m_observer;
};

} // namespace

CScanClient::CScanClient(SScanClientOptions options) : m_options(std::move(options)) {}

CScanClient::~CScanClient() { StopServer(); }

SScanOutcome CScanClient::Scan(const std::string& request, const SScanObserver& observer)
{
    if (m_interrupted)
        return Outcome(EOutcome::Failed, kInterruptedError);
    if (request.find_first_of("\r\n") != std::string::npos)
        return Outcome(EOutcome::Failed, "the request contains a line break");
    const std::string path = request.substr(0, request.find('>'));
    SPeCheck check;
    std::string error;
    if (!CheckLibraryFile(path, check, error))
        return Outcome(EOutcome::Failed, error);
    if (check.verdict != EPeVerdict::Library64)
        return Outcome(EOutcome::NotPlugin, check.reason);
    if (!EnsureServer(error))
        return Outcome(EOutcome::NoServer, error);
    if (!m_server.SendRequest(request)) {
        // The server ended while it waited for this request: not the plug-in's
        // doing, so the request goes to a fresh server.
        ForgetServer();
        if (!EnsureServer(error))
            return Outcome(EOutcome::NoServer, error);
        if (!m_server.SendRequest(request)) {
            ForgetServer();
            return Outcome(EOutcome::NoServer, "cannot write to the scan server");
        }
    }
    return Exchange(request, observer);
}

bool CScanClient::EnsureServer(std::string& error)
{
    if (m_running)
        return true;
    m_dumpFolder.clear();
    if (!m_options.dumpRoot.empty() && !CreateDumpFolder(error))
        return false;
    SServerOptions options;
    options.serverPath = m_options.serverPath;
    options.dumpFolder = m_dumpFolder;
    options.ownerWindow = m_options.ownerWindow;
    options.silenceTimeoutMs = m_options.silenceTimeoutMs;
    if (!m_server.Start(options)) {
        error = m_server.GetError();
        return false;
    }
    ++m_serversStarted;
    const EWaitResult started = m_server.ReadUntilReady(nullptr);
    if (started != EWaitResult::Ready) {
        uint32_t exitCode = 0;
        m_server.WaitForExit(kExitWaitMs, exitCode);
        error = started == EWaitResult::TimedOut
                    ? "the scan server " + m_options.serverPath + " did not get ready"
                    : "the scan server " + m_options.serverPath + " ended at start-up with exit code " +
                          std::to_string(exitCode);
        ForgetServer();
        return false;
    }
    m_running = true;
    return true;
}

SScanOutcome CScanClient::Exchange(const std::string& request, const SScanObserver& observer)
{
    CAnswerReader answer(m_options.keptLines);
    CWindowWatch windows(m_server.GetProcessId(), observer);
    const CClock::time_point started = CClock::now();
    CClock::time_point lastLine = started;
    CClock::time_point lastLook = started;
    for (;;) {
        if (m_interrupted) {
            m_server.Kill();
            ForgetServer();
            return Outcome(EOutcome::Failed, kInterruptedError);
        }
        std::string line;
        const ELineWait waited = m_server.WaitForLine(line, kPollMs);
        if (waited == ELineWait::Line) {
            lastLine = CClock::now();
            if (observer.onLine)
                observer.onLine(line);
            if (answer.AddLine(line)) {
                SScanOutcome outcome = answer.Answered();
                outcome.dialogs = windows.titles;
                return outcome;
            }
            continue;
        }
        if (waited == ELineWait::Closed || !m_server.IsRunning()) {
            // What the server wrote just before it ended still counts.
            while (m_server.WaitForLine(line, kPollMs) == ELineWait::Line)
                answer.AddLine(line);
            const std::string unfinished = m_server.GetPendingOutput();
            if (!unfinished.empty())
                answer.AddLine(unfinished);
            return Ended(answer, windows.titles);
        }
        if (MsSince(started) >= m_options.windowCheckAfterMs && MsSince(lastLook) >= kWindowCheckEveryMs) {
            windows.Look();
            lastLook = CClock::now();
        }
        if (m_options.silenceTimeoutMs != 0 && MsSince(lastLine) >= m_options.silenceTimeoutMs) {
            if (!NewestDump().empty()) {
                // The crash filter is writing its dump: the server is crashing,
                // not hanging, and ends by itself once the dump is complete.
                uint32_t exitCode = 0;
                m_server.WaitForExit(kDumpWriteMs, exitCode);
                return Ended(answer, windows.titles);
            }
            windows.Look();
            m_server.Kill();
            ForgetServer();
            return answer.TimedOut(m_options.silenceTimeoutMs, windows.titles);
        }
    }
}

SScanOutcome CScanClient::Ended(const CAnswerReader& answer, const std::vector<std::string>& dialogs)
{
    uint32_t exitCode = 0;
    if (!m_server.WaitForExit(kExitWaitMs, exitCode)) {
        m_server.Kill();
        m_server.WaitForExit(0, exitCode);
    }
    SScanOutcome outcome = answer.Crashed(exitCode, NewestDump());
    outcome.dialogs = dialogs;
    ForgetServer();
    return outcome;
}

bool CScanClient::CreateDumpFolder(std::string& error)
{
    if (!CreateFolders(m_options.dumpRoot, error))
        return false;
    // A new folder, never one left by an earlier run (process ids come back),
    // so that every dump in it is this server's.
    const std::string prefix = m_options.dumpRoot + "\\" + std::to_string(GetCurrentProcessId()) + "-";
    for (;;) {
        const std::string folder = prefix + std::to_string(++g_serverSerial);
        if (CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr)) {
            m_dumpFolder = folder;
            return true;
        }
        const DWORD code = GetLastError();
        if (code != ERROR_ALREADY_EXISTS) {
            error = "cannot create the dump folder " + folder + ": " + SystemErrorText(code);
            return false;
        }
    }
}

std::string CScanClient::NewestDump() const
{
    if (m_dumpFolder.empty())
        return std::string();
    const std::wstring folder = WideFromUtf8(m_dumpFolder);
    const std::string pattern = std::string(kDumpBaseName) + "-" + kServerPlatform + "-*" + kDumpExtension;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\" + WideFromUtf8(pattern)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return std::string();
    std::wstring newest;
    FILETIME newestTime = {};
    do {
        if (newest.empty() || CompareFileTime(&found.ftLastWriteTime, &newestTime) > 0 ||
            (CompareFileTime(&found.ftLastWriteTime, &newestTime) == 0 && newest < found.cFileName)) {
            newest = found.cFileName;
            newestTime = found.ftLastWriteTime;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return Utf8FromWide(folder + L"\\" + newest);
}

void CScanClient::StopServer()
{
    if (m_running) {
        m_server.CloseInput();
        uint32_t exitCode = 0;
        if (!m_server.WaitForExit(kStopWaitMs, exitCode))
            m_server.Kill();
    }
    ForgetServer();
}

void CScanClient::ForgetServer()
{
    m_running = false;
    // Only an empty folder goes; one holding a dump stays for the record.
    if (!m_dumpFolder.empty())
        RemoveDirectoryW(WideFromUtf8(m_dumpFolder).c_str());
}

uint32_t CScanClient::GetServerProcessId() const { return m_running ? m_server.GetProcessId() : 0; }

#include "client/ScanClient.h"

#include "client/AnswerReader.h"
#include "wire/Protocol.h"

#include <algorithm>

namespace {

constexpr uint32_t kPollMs = 100;
constexpr uint32_t kWindowCheckEveryMs = 500;
constexpr uint32_t kExitWaitMs = 10000;
constexpr uint32_t kStopWaitMs = 5000;
/// How long a crashing server may take to write its dump (slow under Wine).
constexpr uint32_t kDumpWriteMs = 120000;

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
    CWindowWatch(IScanClientSystem& system, uint32_t processId, const SScanObserver& observer)
        : m_system(system), m_processId(processId), m_observer(observer)
    {
    }

    void Look()
    {
        bool added = false;
        for (const std::string& title : m_system.WindowTitles(m_processId)) {
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
    IScanClientSystem& m_system;
    uint32_t m_processId;
    const SScanObserver& m_observer;
};

} // namespace

CScanClient::CScanClient(SScanClientOptions options, std::unique_ptr<IServerProcess> server,
                         std::unique_ptr<IScanClientSystem> system)
    : m_options(std::move(options)), m_serverProcess(std::move(server)), m_system(std::move(system)),
      m_server(*m_serverProcess)
{
}

CScanClient::~CScanClient() { StopServer(); }

SScanOutcome CScanClient::Scan(const std::string& request, const SScanObserver& observer)
{
    const std::string refusal = Refusal(request);
    if (!refusal.empty())
        return Outcome(EOutcome::Failed, refusal);
    SPeCheck check;
    std::string error;
    if (!m_system->CheckLibraryFile(request.substr(0, request.find(kShellIdMarker)), check, error))
        return Outcome(EOutcome::Failed, error);
    return Examined(request, check, observer);
}

SScanOutcome CScanClient::ScanChecked(const std::string& request, const SPeCheck& check, const SScanObserver& observer)
{
    const std::string refusal = Refusal(request);
    return refusal.empty() ? Examined(request, check, observer) : Outcome(EOutcome::Failed, refusal);
}

std::string CScanClient::Refusal(const std::string& request) const
{
    if (m_interrupted)
        return kInterruptedError;
    if (request.find_first_of("\r\n") != std::string::npos)
        return "the request contains a line break";
    return std::string();
}

SScanOutcome CScanClient::Examined(const std::string& request, const SPeCheck& check, const SScanObserver& observer)
{
    if (check.verdict != EPeVerdict::Library)
        return Outcome(EOutcome::NotPlugin, check.reason);
    if (check.platform != m_options.platform)
        return Outcome(EOutcome::NotPlugin, std::string("not a library this scan server loads: the DLL is built for ") +
                                                check.platform + "; it loads " + m_options.platform + " libraries");
    SScanOutcome outcome = Serve(request, observer);
    outcome.platform = m_options.platform;
    return outcome;
}

SScanOutcome CScanClient::Serve(const std::string& request, const SScanObserver& observer)
{
    std::string error;
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

namespace {

/// A server gets at least this long to write its first "ready:": starting a
/// process, GDI+ and the splash picture can take seconds on a loaded machine,
/// however short the silence a request is allowed.
constexpr uint32_t kStartupAllowanceMs = 30000;

} // namespace

bool CScanClient::EnsureServer(std::string& error)
{
    if (m_running)
        return true;
    m_dumpFolder.clear();
    if (!m_options.dumpRoot.empty() && !m_system->CreateDumpFolder(m_options.dumpRoot, m_dumpFolder, error))
        return false;
    SServerOptions options;
    options.serverPath = m_options.serverPath;
    options.dumpFolder = m_dumpFolder;
    options.ownerWindow = m_options.ownerWindow;
    // The connection's own silence limit only guards the wait for the first "ready:".
    options.silenceTimeoutMs =
        m_options.silenceTimeoutMs == 0 ? 0 : std::max(m_options.silenceTimeoutMs, kStartupAllowanceMs);
    if (!m_server.Start(options)) {
        error = m_server.GetError();
        return false;
    }
    ++m_serversStarted;
    const EWaitResult started = m_server.WaitUntilReady();
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
    CWindowWatch windows(*m_system, m_server.GetProcessId(), observer);
    const uint64_t started = m_system->NowMs();
    uint64_t lastLine = started;
    uint64_t lastLook = started;
    const auto msSince = [this](uint64_t since) { return m_system->NowMs() - since; };
    for (;;) {
        if (m_interrupted) {
            m_server.Kill();
            ForgetServer();
            return Outcome(EOutcome::Failed, kInterruptedError);
        }
        // Without a caller watching every line, the lines are taken together
        // when "ready:" comes, sparing a hand-over per line.
        std::vector<std::string> lines;
        const ELineWait waited = m_server.WaitForLines(observer.onLine ? std::string() : kReadyLine, lines, kPollMs);
        if (waited == ELineWait::Line) {
            lastLine = m_system->NowMs();
            for (const std::string& line : lines) {
                if (observer.onLine)
                    observer.onLine(line);
                if (answer.AddLine(line)) {
                    SScanOutcome outcome = answer.Answered();
                    outcome.dialogs = windows.titles;
                    return outcome;
                }
            }
            continue;
        }
        if (waited == ELineWait::Closed || !m_server.IsRunning()) {
            // What the server wrote just before it ended still counts.
            while (m_server.WaitForLines(std::string(), lines, kPollMs) == ELineWait::Line)
                answer.AddLine(lines.back());
            const std::string unfinished = m_server.GetPendingOutput();
            if (!unfinished.empty())
                answer.AddLine(unfinished);
            return Ended(answer, windows.titles);
        }
        if (msSince(started) >= m_options.windowCheckAfterMs && msSince(lastLook) >= kWindowCheckEveryMs) {
            windows.Look();
            lastLook = m_system->NowMs();
        }
        if (m_options.silenceTimeoutMs != 0 && msSince(lastLine) >= m_options.silenceTimeoutMs) {
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

std::string CScanClient::NewestDump() const
{
    return m_dumpFolder.empty() ? std::string() : m_system->NewestDump(m_dumpFolder);
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
    if (!m_dumpFolder.empty())
        m_system->RemoveEmptyFolder(m_dumpFolder);
}

uint32_t CScanClient::GetServerProcessId() const { return m_running ? m_server.GetProcessId() : 0; }

// The scan client's decisions against a scripted server and a fake clock: the
// silence time-out, a dump that turns a silence into a crash, the resend to a
// fresh server, start-up failures and when the server's windows are looked at.

#include "client/ScanClient.h"

#include "support/RecordLines.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

/// The scripted world: the server's output, the clock, and every call made.
struct SWorld {
    /// What the servers do, in order: an output line; "~N": N ms of silence;
    /// "exit N": the server ends with code N; "!": the host interrupts.
    std::deque<std::string> script;
    uint64_t now = 0;
    uint64_t dumpAt = UINT64_MAX; ///< when the crash dump appears
    std::string calls;
    CScanClient* client = nullptr;
    bool running = false;
    uint32_t exitCode = 0;

    void Call(const std::string& name) { calls += (calls.empty() ? "" : " ") + name; }
    bool Ends()
    {
        if (script.empty() || script.front().compare(0, 5, "exit ") != 0)
            return false;
        exitCode = static_cast<uint32_t>(std::stoul(script.front().substr(5)));
        script.pop_front();
        running = false;
        return true;
    }
    /// Lets up to ms of scripted silence pass; true when the silence ended.
    bool Silence(uint64_t ms)
    {
        const uint64_t left = std::stoull(script.front().substr(1));
        const uint64_t passed = std::min(ms, left);
        now += passed;
        script.front() = "~" + std::to_string(left - passed);
        if (passed == left)
            script.pop_front();
        return passed == left;
    }
};

class CFakeServer : public IServerProcess {
public:
    explicit CFakeServer(SWorld& world) : m_world(world) {}
    bool Start(const SServerOptions& options) override
    {
        m_readyWaitMs = options.silenceTimeoutMs;
        m_world.Call("start");
        m_world.running = true;
        return true;
    }
    const std::string& GetError() const override { return m_error; }
    EWaitResult WaitUntilReady() override
    {
        while (!m_world.script.empty()) {
            if (m_world.Ends())
                return EWaitResult::Closed;
            if (m_world.script.front()[0] == '~') {
                if (!m_world.Silence(m_readyWaitMs == 0 ? UINT64_MAX : m_readyWaitMs))
                    return EWaitResult::TimedOut;
                continue;
            }
            const std::string line = m_world.script.front();
            m_world.script.pop_front();
            if (line == "ready:")
                return EWaitResult::Ready;
        }
        return EWaitResult::TimedOut;
    }
    ELineWait WaitForLine(std::string& line, uint32_t waitMs) override
    {
        if (m_world.script.empty() || m_world.Ends())
            return ELineWait::Closed;
        line = m_world.script.front();
        if (line[0] == '~') {
            m_world.Silence(waitMs);
            return ELineWait::Nothing;
        }
        m_world.script.pop_front();
        if (line != "!")
            return ELineWait::Line;
        m_world.client->Interrupt();
        return ELineWait::Nothing;
    }
    bool SendRequest(const std::string&) override
    {
        m_world.Call("send");
        return !m_world.Ends();
    }
    void CloseInput() override { m_world.Call("close"); }
    bool WaitForExit(uint32_t timeoutMs, uint32_t& exitCode) override
    {
        while (m_world.running && !m_world.Ends()) {
            if (m_world.script.empty() || m_world.script.front()[0] != '~' || !m_world.Silence(timeoutMs))
                return false;
        }
        exitCode = m_world.exitCode;
        return true;
    }
    void Kill() override
    {
        m_world.Call("kill");
        m_world.running = false;
    }
    bool IsRunning() const override { return m_world.running; }
    uint32_t GetProcessId() const override { return 7; }
    std::string GetPendingOutput() const override { return std::string(); }

private:
    SWorld& m_world;
    std::string m_error;
    uint32_t m_readyWaitMs = 0; ///< the silence the server gets to write its first "ready:"
};

class CFakeSystem : public IScanClientSystem {
public:
    explicit CFakeSystem(SWorld& world) : m_world(world) {}
    bool CheckLibraryFile(const std::string& path, SPeCheck& check, std::string& error) override
    {
        error = "cannot open the file";
        check.verdict = path == "X86.dll" ? EPeVerdict::OtherMachine : EPeVerdict::Library64;
        check.reason = "built for x86";
        return path != "Locked.dll";
    }
    bool CreateDumpFolder(const std::string& root, std::string& folder, std::string&) override
    {
        folder = root + "\\1";
        return true;
    }
    std::string NewestDump(const std::string& folder) override
    {
        return m_world.now >= m_world.dumpAt ? folder + "\\crash.mdmp" : std::string();
    }
    void RemoveEmptyFolder(const std::string&) override { m_world.Call("rmdir"); }
    std::vector<std::string> WindowTitles(uint32_t) override
    {
        m_world.Call("look@" + std::to_string(m_world.now));
        return {"Licence"};
    }
    uint64_t NowMs() override { return m_world.now; }

private:
    SWorld& m_world;
};

TEST(ScanClient, OutcomeOfEveryServerScript)
{
    SPluginRecord gain;
    gain.id = 0x54734E67;
    gain.name = "Gain";
    std::vector<std::string> record;
    for (const std::string& line : record_lines::Lines(gain))
        record.push_back(">:" + line);
    struct SCase {
        const char* request;
        uint32_t silenceMs; ///< 0 waits forever
        std::vector<std::string> script;
        uint64_t dumpAt;
        EOutcome kind;
        const char* errorPart;
        const char* calls;
        bool serverKept;
    };
    const uint64_t kNoDump = UINT64_MAX;
    const SCase cases[] = {
        {"Gain.dll", 1000, {"ready:", "RECORD", "ready:"}, kNoDump, EOutcome::Scanned, "", "start send", true},
        // Every line starts the 1 s silence again.
        {"Gain.dll", 1000, {"ready:", "~900", "info:a", "~900", "RECORD", "ready:"}, kNoDump, EOutcome::Scanned, "",
         "start send", true},
        {"Hang.dll", 1000, {"ready:", "info:a", "~1000"}, kNoDump, EOutcome::TimedOut, "no answer for 1 s",
         "start send look@1000 kill rmdir", false},
        // A dump appeared during the silence: the server is crashing, not hanging.
        {"Crash.dll", 1000, {"ready:", "~1000", "~90000", "exit 9"}, 400, EOutcome::Crashed, "crashed (exit code 9)",
         "start send rmdir", false},
        {"Crash.dll", 1000, {"ready:", "~1000", "exit 9"}, 1001, EOutcome::TimedOut, "no answer", "start send look@1000 kill rmdir",
         false},
        {"Crash.dll", 1000, {"ready:", "info:a", "exit 77"}, kNoDump, EOutcome::Crashed, "unexpectedly (exit code 77)",
         "start send rmdir", false},
        // The server ended while it waited: the request goes to a fresh one, once.
        {"Gain.dll", 1000, {"ready:", "exit 0", "ready:", "RECORD", "ready:"}, kNoDump, EOutcome::Scanned, "",
         "start send rmdir start send", true},
        {"Gain.dll", 1000, {"ready:", "exit 0", "ready:", "exit 0"}, kNoDump, EOutcome::NoServer,
         "cannot write to the scan server", "start send rmdir start send rmdir", false},
        {"Gain.dll", 1000, {"exit 5"}, kNoDump, EOutcome::NoServer, "ended at start-up with exit code 5", "start rmdir",
         false},
        {"Gain.dll", 1000, {"info:banner"}, kNoDump, EOutcome::NoServer, "did not get ready", "start rmdir", false},
        // Start-up has its own allowance, however short a request's silence may be.
        {"Gain.dll", 1000, {"~29000", "ready:", "RECORD", "ready:"}, kNoDump, EOutcome::Scanned, "", "start send", true},
        {"Gain.dll", 1000, {"~31000", "ready:"}, kNoDump, EOutcome::NoServer, "did not get ready", "start rmdir", false},
        // Windows are looked at from 2 s into a request, every 0.5 s; 0 waits forever.
        {"Gain.dll", 0, {"ready:", "~3000", "RECORD", "ready:"}, kNoDump, EOutcome::Scanned, "",
         "start send look@2000 look@2500 look@3000", true},
        {"Gain.dll", 1000, {"ready:", "!", "~100"}, kNoDump, EOutcome::Failed, "interrupted", "start send kill rmdir", false},
        {"X86.dll", 1000, {}, kNoDump, EOutcome::NotPlugin, "built for x86", "", false},
        {"Locked.dll", 1000, {}, kNoDump, EOutcome::Failed, "cannot open the file", "", false},
        {"Gain.dll\nB.dll", 1000, {}, kNoDump, EOutcome::Failed, "line break", "", false},
    };
    for (const SCase& c : cases) {
        SWorld world;
        for (const std::string& step : c.script) {
            if (step == "RECORD")
                world.script.insert(world.script.end(), record.begin(), record.end());
            else
                world.script.push_back(step);
        }
        world.dumpAt = c.dumpAt;
        SScanClientOptions options;
        options.dumpRoot = "D";
        options.silenceTimeoutMs = c.silenceMs;
        CScanClient client(options, std::make_unique<CFakeServer>(world), std::make_unique<CFakeSystem>(world));
        world.client = &client;
        const SScanOutcome outcome = client.Scan(c.request);
        const std::string label = std::string(c.request) + " " + c.calls;
        EXPECT_EQ(c.kind, outcome.kind) << label;
        EXPECT_NE(std::string::npos, outcome.error.find(c.errorPart)) << label << ": " << outcome.error;
        EXPECT_EQ(c.calls, world.calls) << label;
        EXPECT_EQ(c.serverKept, client.GetServerProcessId() != 0) << label;
        EXPECT_EQ(c.kind == EOutcome::Crashed && c.dumpAt != kNoDump ? 1u : 0u, outcome.dumpFiles.size()) << label;
        const bool looked = std::string(c.calls).find("look") != std::string::npos;
        EXPECT_EQ(looked ? std::vector<std::string>{"Licence"} : std::vector<std::string>{}, outcome.dialogs) << label;
    }
}

} // namespace

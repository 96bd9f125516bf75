// The scan client's decisions against a scripted server and a fake clock: the
// silence time-out, a dump that turns a silence into a crash, the resend to a
// fresh server, start-up failures and when the server's windows are looked at;
// and the server's output cut into lines, fed by a reader thread or pulled.

#include "client/PlatformRouter.h"
#include "client/ScanClient.h"
#include "client/ServerOutput.h"

#include "support/RecordLines.h"

#include <gtest/gtest.h>

#include <deque>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

/// The scripted world: the server's output, the clock, and every call made.
struct SWorld {
    /// What the servers do, in order: an output line; "~N": N ms of silence;
    /// "exit N": the server ends with code N (so does one at the script's end); "!": the host interrupts.
    std::deque<std::string> script;
    uint64_t now = 0;
    uint64_t dumpAt = UINT64_MAX; ///< when the crash dump appears
    std::string calls;
    CScanClient* client = nullptr;
    bool running = false;
    uint32_t exitCode = 0;

    void Call(const std::string& name) { calls += (calls.empty() ? "" : " ") + name; }
    bool AtExit() const { return script.empty() || script.front().compare(0, 5, "exit ") == 0; }
    /// The server's next event within waitMs: 'e' it ended, 'l' a line, 'q' a silence
    /// that ended, 's' a silence that goes on.
    char Next(uint64_t waitMs, std::string& line)
    {
        if (AtExit()) {
            exitCode = script.empty() ? exitCode : static_cast<uint32_t>(std::stoul(script.front().substr(5)));
            if (!script.empty())
                script.pop_front();
            running = false;
            return 'e';
        }
        line = script.front();
        if (line[0] != '~') {
            script.pop_front();
            return 'l';
        }
        const uint64_t left = std::stoull(line.substr(1));
        const uint64_t passed = std::min(waitMs, left);
        now += passed;
        script.front() = "~" + std::to_string(left - passed);
        if (passed == left)
            script.pop_front();
        return passed == left ? 'q' : 's';
    }
};

class CFakeServer : public IServerProcess {
public:
    explicit CFakeServer(SWorld& world) : m_world(world) {}
    bool Start(const SServerOptions& options) override
    {
        m_readyWaitMs = options.silenceTimeoutMs == 0 ? UINT64_MAX : options.silenceTimeoutMs;
        m_world.Call("start");
        return m_world.running = true;
    }
    const std::string& GetError() const override { return m_error; }
    EWaitResult WaitUntilReady() override
    {
        for (std::string line;;) {
            const char event = m_world.Next(m_readyWaitMs, line);
            if (event == 'e' || event == 's' || line == "ready:")
                return event == 'e' ? EWaitResult::Closed : event == 's' ? EWaitResult::TimedOut : EWaitResult::Ready;
        }
    }
    /// One scripted event at a time (the interface takes lines together through it).
    ELineWait WaitForLine(std::string& line, uint32_t waitMs) override
    {
        const char event = m_world.Next(waitMs, line);
        if (event == 'l' && line == "!")
            m_world.client->Interrupt();
        return event == 'e' ? ELineWait::Closed : event == 'l' && line != "!" ? ELineWait::Line : ELineWait::Nothing;
    }
    bool SendRequest(const std::string&) override
    {
        m_world.Call("send");
        std::string line;
        return m_world.script.empty() || !m_world.AtExit() || m_world.Next(0, line) != 'e';
    }
    void CloseInput() override { m_world.Call("close"); }
    bool WaitForExit(uint32_t timeoutMs, uint32_t& exitCode) override
    {
        for (std::string line; m_world.running;) {
            const char event = m_world.Next(timeoutMs, line);
            if (event == 'l' || event == 's')
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
    uint64_t m_readyWaitMs = 0; ///< the silence the server gets to write its first "ready:"
};

/// X86.dll is a 32-bit library, Arm.dll one no server loads, Locked.dll cannot be read.
bool FakeLibraryCheck(const std::string& path, SPeCheck& check, std::string& error)
{
    error = "cannot open the file";
    check.verdict = path == "Arm.dll" ? EPeVerdict::OtherMachine : EPeVerdict::Library;
    check.platform = path == "X86.dll" ? kPlatformX86 : kPlatformX64;
    check.reason = path == "Arm.dll" ? "built for ARM64" : "";
    return path != "Locked.dll";
}

class CFakeSystem : public IScanClientSystem {
public:
    explicit CFakeSystem(SWorld& world) : m_world(world) {}
    bool CheckLibraryFile(const std::string& path, SPeCheck& check, std::string& error) override
    {
        return FakeLibraryCheck(path, check, error);
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
    gain.name = "Gain";
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
        // Start-up has its own allowance, however short a request's silence may be.
        {"Gain.dll", 1000, {"~29000", "ready:", "RECORD", "ready:"}, kNoDump, EOutcome::Scanned, "", "start send", true},
        {"Gain.dll", 1000, {"info:banner", "~31000", "ready:"}, kNoDump, EOutcome::NoServer, "did not get ready", "start rmdir", false},
        // Windows are looked at from 2 s into a request, every 0.5 s; 0 waits forever.
        {"Gain.dll", 0, {"ready:", "~3000", "RECORD", "ready:"}, kNoDump, EOutcome::Scanned, "",
         "start send look@2000 look@2500 look@3000", true},
        // An interrupt kills the server at once, which no end-to-end run can see.
        {"Gain.dll", 1000, {"ready:", "!", "~100"}, kNoDump, EOutcome::Failed, "interrupted", "start send kill rmdir", false},
        {"X86.dll", 1000, {}, kNoDump, EOutcome::NotPlugin, "built for x86; it loads x64 libraries", "", false},
        {"Gain.dll\nB.dll", 1000, {}, kNoDump, EOutcome::Failed, "line break", "", false},
    };
    for (const SCase& c : cases) {
        SWorld world;
        for (const std::string& step : c.script)
            for (const std::string& line : step == "RECORD" ? record_lines::Lines(gain) : std::vector<std::string>{step})
                world.script.push_back(step == "RECORD" ? ">:" + line : line);
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
        EXPECT_EQ(*c.calls != 0 ? kPlatformX64 : "", outcome.platform) << label;
        const std::string calls = c.calls;
        unsigned starts = 0;
        for (std::size_t at = calls.find("start"); at != std::string::npos; at = calls.find("start", at + 1))
            ++starts;
        EXPECT_EQ(starts, client.GetServersStarted()) << label;
        EXPECT_EQ(c.serverKept, client.GetServerProcessId() != 0) << label;
        EXPECT_EQ(c.kind == EOutcome::Crashed && c.dumpAt != kNoDump ? 1u : 0u, outcome.dumpFiles.size()) << label;
        const bool looked = std::string(c.calls).find("look") != std::string::npos;
        EXPECT_EQ(looked ? std::vector<std::string>{"Licence"} : std::vector<std::string>{}, outcome.dialogs) << label;
    }
}

/// Each library goes to a session of its platform; a worker's one session ends
/// before a session of the other platform is made.
TEST(PlatformRouter, SendsEachLibraryToASessionOfItsPlatform)
{
    class CNamedSession : public CScanSession {
    public:
        CNamedSession(std::string name, std::string& log) : m_name(std::move(name)), m_log(log) {}
        ~CNamedSession() override { m_log += " end:" + m_name; }
        SScanOutcome Scan(const std::string& request, const SScanObserver&) override
        {
            m_log += " " + m_name + ":" + request;
            return SScanOutcome();
        }
        void Interrupt() override { m_log += " " + m_name + ":interrupted"; }

    private:
        std::string m_name;
        std::string& m_log;
    };
    std::string log;
    {
        CPlatformRouter router(FakeLibraryCheck, [&log](const std::string& platform) {
            log += " make:" + platform;
            return std::make_unique<CNamedSession>(platform, log);
        });
        for (const char* request : {"Arm.dll", "Gain.dll", "X86.dll>0000ABCD", "Locked.dll", "Gain.dll", "X86.dll"})
            router.Scan(request, SScanObserver());
        router.Interrupt();
    }
    EXPECT_EQ(" make:x64 x64:Arm.dll x64:Gain.dll end:x64 make:x86 x86:X86.dll>0000ABCD x86:Locked.dll end:x86 make:x64"
              " x64:Gain.dll end:x64 make:x86 x86:X86.dll x86:interrupted end:x86",
              log);

    // The x64 libraries first, then the x86 ones, each in the order walked
    // (a file's size tells the copies of X86.dll apart).
    const std::pair<std::vector<std::string>, std::string> orders[] = {
        {{"X86.dll", "Arm.dll", "Gain.dll", "Locked.dll"}, "Arm.dll1 Gain.dll2 Locked.dll3 X86.dll0 "},
        {{"Gain.dll", "X86.dll", "Arm.dll", "X86.dll", "Locked.dll", "X86.dll"},
         "Gain.dll0 Arm.dll2 Locked.dll4 X86.dll1 X86.dll3 X86.dll5 "},
        {{"Gain.dll", "Arm.dll"}, "Gain.dll0 Arm.dll1 "},
        {{"X86.dll", "X86.dll"}, "X86.dll0 X86.dll1 "},
        {{}, ""},
    };
    for (const auto& c : orders) {
        std::vector<SLibraryFile> files;
        for (const std::string& path : c.first)
            files.push_back(SLibraryFile{path, SFileStamp{files.size(), 0}});
        OrderByPlatform(files, FakeLibraryCheck);
        std::string order;
        for (const SLibraryFile& file : files)
            order += file.path + std::to_string(file.stamp.size) + " ";
        EXPECT_EQ(c.second, order);
    }
}

/// The output gives the same lines, call by call, whether a reader thread feeds
/// it (Windows) or the waiting thread pulls it from the pipe (Linux).
TEST(ServerOutput, TakesTheSameLinesFedByAThreadOrPulled)
{
    struct SCase {
        std::vector<std::string> reads; ///< what the pipe gives, read by read, before its end
        const char* stopLine;           ///< what TakeLines waits for ("": any line)
        std::vector<std::string> taken; ///< each call's lines joined by "|", or "closed"
        const char* pending;            ///< the unfinished last line
    };
    const SCase cases[] = {
        {{"info:a\ninfo:", "b\nready:\n"}, "ready:", {"info:a|info:b|ready:", "closed"}, ""},
        {{"x\nready:\ny\n"}, "ready:", {"x|ready:", "y", "closed"}, ""},
        {{"x\ny\n"}, "", {"x", "y", "closed"}, ""},
        {{"x\n", "cut"}, "ready:", {"x", "closed"}, "cut"},
        {{}, "", {"closed"}, ""},
    };
    for (const SCase& c : cases) {
        for (const bool pulled : {false, true}) {
            const std::string label = std::string(pulled ? "pulled, " : "reader thread, ") + "taken " + c.taken.front();
            std::deque<std::string> reads(c.reads.begin(), c.reads.end());
            const auto read = [&reads](char* buffer, int capacity) {
                if (reads.empty())
                    return 0;
                const std::string bytes = reads.front().substr(0, static_cast<std::size_t>(capacity));
                reads.pop_front();
                std::memcpy(buffer, bytes.data(), bytes.size());
                return static_cast<int>(bytes.size());
            };
            CServerOutput fed;
            CServerOutput pulledOutput([&read](char* buffer, int capacity, uint32_t) { return read(buffer, capacity); });
            CServerOutput& output = pulled ? pulledOutput : fed;
            std::thread reader;
            if (!pulled)
                reader = std::thread([&] { fed.ReadAll(read); });
            std::vector<std::string> taken;
            for (std::size_t call = 0; call < c.taken.size(); ++call) {
                std::vector<std::string> lines;
                const ELineWait waited = output.TakeLines(c.stopLine, kWaitForever, lines);
                std::string joined = waited == ELineWait::Closed ? "closed" : "";
                for (const std::string& line : lines)
                    joined += (joined.empty() ? "" : "|") + line;
                taken.push_back(joined);
            }
            EXPECT_TRUE(output.WaitUntilClosed(kWaitForever)) << label;
            if (reader.joinable())
                reader.join();
            EXPECT_EQ(c.taken, taken) << label;
            EXPECT_EQ(c.pending, output.GetPending()) << label;
        }
    }
}

} // namespace

#include "client/ServerConnection.h"

#include "client/ServerOutput.h"

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

/// How often a wait for the server's end looks again.
constexpr auto kExitPollInterval = std::chrono::milliseconds(5);
/// The server's pipe ends when the command line names them. They are moved to
/// descriptors above these first, so that neither overwrites the other.
constexpr int kChildInputDescriptor = 3;
constexpr int kChildOutputDescriptor = 4;
constexpr int kFirstPipeDescriptor = 5;
/// The exit code of a process ended by a signal: this plus the signal's number.
constexpr uint32_t kSignalExitBase = 128;

std::string HexArgument(uint64_t value)
{
    char text[20];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

void CloseIfOpen(int& descriptor)
{
    if (descriptor >= 0)
        close(descriptor);
    descriptor = -1;
}

/// A pipe whose ends are not inherited and lie at kFirstPipeDescriptor or above.
bool MakePipe(int& readEnd, int& writeEnd)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    readEnd = fcntl(ends[0], F_DUPFD_CLOEXEC, kFirstPipeDescriptor);
    writeEnd = fcntl(ends[1], F_DUPFD_CLOEXEC, kFirstPipeDescriptor);
    close(ends[0]);
    close(ends[1]);
    return readEnd >= 0 && writeEnd >= 0;
}

/// Writing to a server that died must fail, not end the host with SIGPIPE. A
/// handler the host installed itself stays.
void IgnoreBrokenPipes()
{
    struct sigaction current = {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        signal(SIGPIPE, SIG_IGN);
}

/// Reads what the server wrote, waiting up to waitMs for it; see CServerOutput::PullFunction.
int PullOutput(int outputRead, char* buffer, int capacity, uint32_t waitMs)
{
    pollfd ready = {outputRead, POLLIN, 0};
    const int timeoutMs = waitMs >= static_cast<uint32_t>(std::numeric_limits<int>::max())
                              ? -1
                              : static_cast<int>(waitMs);
    for (;;) {
        const int polled = poll(&ready, 1, timeoutMs);
        if (polled == 0)
            return CServerOutput::kNothingYet;
        if (polled < 0 && errno == EINTR)
            continue;
        const ssize_t count = read(outputRead, buffer, static_cast<std::size_t>(capacity));
        if (count >= 0 || errno != EINTR)
            return static_cast<int>(std::max<ssize_t>(count, 0));
    }
}

} // namespace

struct CServerConnection::SState {
    pid_t process = 0;
    bool reaped = false;
    uint32_t exitCode = 0;
    int inputWrite = -1;
    int outputRead = -1;
    /// Read by the thread that waits for a line: no reader thread hands lines over.
    std::shared_ptr<CServerOutput> output = std::make_shared<CServerOutput>(
        [this](char* buffer, int capacity, uint32_t waitMs) { return PullOutput(outputRead, buffer, capacity, waitMs); });

    /// Whether the server has ended; reaps it then, after killing what is left of its group.
    bool HasEnded()
    {
        if (process == 0 || reaped)
            return true;
        siginfo_t information = {};
        if (waitid(P_PID, static_cast<id_t>(process), &information, WEXITED | WNOHANG | WNOWAIT) != 0)
            return true;
        if (information.si_pid == 0)
            return false;
        // Programs the plug-in started must not outlive it; the group's id stays
        // the server's until it is reaped.
        kill(-process, SIGKILL);
        int status = 0;
        waitpid(process, &status, 0);
        reaped = true;
        exitCode = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status))
                                     : kSignalExitBase + static_cast<uint32_t>(WTERMSIG(status));
        return true;
    }

    void KillGroup()
    {
        if (HasEnded())
            return;
        kill(-process, SIGKILL);
        while (!HasEnded())
            std::this_thread::sleep_for(kExitPollInterval);
    }

    ~SState()
    {
        KillGroup();
        CloseIfOpen(inputWrite);
        CloseIfOpen(outputRead);
    }
};

CServerConnection::CServerConnection() = default;

CServerConnection::~CServerConnection() = default;

bool CServerConnection::Start(const SServerOptions& options)
{
    m_state.reset();
    m_error.clear();
    m_silenceTimeoutMs = options.silenceTimeoutMs;
    IgnoreBrokenPipes();
    auto state = std::make_unique<SState>();
    int childInput = -1;
    int childOutput = -1;
    if (!MakePipe(childInput, state->inputWrite) || !MakePipe(state->outputRead, childOutput)) {
        m_error = std::string("cannot create pipes: ") + std::strerror(errno);
        CloseIfOpen(childInput);
        CloseIfOpen(childOutput);
        return false;
    }

    std::vector<std::string> arguments = {options.serverPath};
    if (options.passInputHandle || options.passOutputHandle) {
        arguments.push_back(options.passInputHandle ? HexArgument(kChildInputDescriptor) : "0");
        if (options.passOutputHandle) {
            arguments.push_back(HexArgument(kChildOutputDescriptor));
            arguments.push_back(HexArgument(options.ownerWindow));
            if (!options.dumpFolder.empty())
                arguments.push_back(options.dumpFolder);
        }
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.passInputHandle) {
        posix_spawn_file_actions_adddup2(&actions, childInput, kChildInputDescriptor);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    } else {
        posix_spawn_file_actions_adddup2(&actions, childInput, STDIN_FILENO);
    }
    if (options.passOutputHandle) {
        posix_spawn_file_actions_adddup2(&actions, childOutput, kChildOutputDescriptor);
        posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_adddup2(&actions, childOutput, STDOUT_FILENO);
    }
    // The server leads a group of its own, and starts with the default signal handling.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t process = 0;
    const int startError = posix_spawn(&process, options.serverPath.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    CloseIfOpen(childInput);
    CloseIfOpen(childOutput);
    if (startError != 0) {
        m_error = "cannot start " + options.serverPath + ": " + std::strerror(startError);
        return false;
    }
    state->process = process;
    m_state = std::move(state);
    return true;
}

CServerOutput* CServerConnection::Output() const { return m_state ? m_state->output.get() : nullptr; }

bool CServerConnection::Write(const std::string& bytes)
{
    if (!m_state || m_state->inputWrite < 0)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(m_state->inputWrite, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

void CServerConnection::CloseInput()
{
    if (m_state)
        CloseIfOpen(m_state->inputWrite);
}

bool CServerConnection::WaitForExit(uint32_t timeoutMs, uint32_t& exitCode)
{
    if (!m_state || m_state->process == 0)
        return false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_state->HasEnded()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(kExitPollInterval);
    }
    exitCode = m_state->exitCode;
    return true;
}

void CServerConnection::Kill()
{
    if (m_state)
        m_state->KillGroup();
}

bool CServerConnection::IsRunning() const { return m_state && !m_state->HasEnded(); }

uint32_t CServerConnection::GetProcessId() const { return m_state ? static_cast<uint32_t>(m_state->process) : 0; }

void* CServerConnection::GetProcessHandle() const { return nullptr; }

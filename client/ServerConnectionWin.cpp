#include "client/ServerConnection.h"

#include "client/ServerOutput.h"
#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "wire/Protocol.h"

#include <cstdio>
#include <mutex>
#include <thread>

namespace {

/// Inheritable pipe ends exist only while one server is being created, so that
/// servers started at the same time by other threads never inherit each other's
/// pipes (a pipe whose write end lives on in another process never closes).
std::mutex g_spawnLock;

/// How long a finished server's output may take to drain before the reader is
/// left behind (a process the plug-in started may still hold the pipe open).
constexpr DWORD kReaderDrainMs = 2000;

std::wstring HexArgument(uint64_t value)
{
    wchar_t text[20];
    std::swprintf(text, sizeof text / sizeof text[0], L"%llX", static_cast<unsigned long long>(value));
    return text;
}

std::wstring HandleArgument(HANDLE handle) { return HexArgument(reinterpret_cast<uintptr_t>(handle)); }

void CloseIfOpen(HANDLE& handle)
{
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = nullptr;
}

/// The job object that ends every server when the host ends (its last handle
/// closes with the host process). Null when the system refuses one.
HANDLE HostJob()
{
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        if (created == nullptr)
            return created;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(created);
            return HANDLE(nullptr);
        }
        return created;
    }();
    return job;
}

} // namespace

struct CServerConnection::SState {
    HANDLE process = nullptr;
    HANDLE inputWrite = nullptr;
    DWORD processId = 0;
    HANDLE outputRead = nullptr; ///< owned by the reader once it runs
    std::shared_ptr<CServerOutput> output = std::make_shared<CServerOutput>();
    std::thread reader;

    ~SState()
    {
        if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, INFINITE);
        }
        CloseIfOpen(inputWrite);
        CloseIfOpen(outputRead); // only when the reader never started
        if (reader.joinable()) {
            if (output->WaitUntilClosed(kReaderDrainMs))
                reader.join();
            else
                reader.detach();
        }
        CloseIfOpen(process);
    }
};

CServerConnection::CServerConnection() = default;

CServerConnection::~CServerConnection() = default;

bool CServerConnection::Start(const SServerOptions& options)
{
    m_state.reset();
    m_error.clear();
    auto state = std::make_unique<SState>();
    m_silenceTimeoutMs = options.silenceTimeoutMs;

    std::lock_guard<std::mutex> spawnLock(g_spawnLock);
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &state->inputWrite, &inheritable, 0) ||
        !CreatePipe(&state->outputRead, &childOutput, &inheritable, 0)) {
        m_error = "cannot create pipes, error " + std::to_string(GetLastError());
        CloseIfOpen(childInput);
        CloseIfOpen(childOutput);
        return false;
    }
    SetHandleInformation(state->inputWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(state->outputRead, HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = L"\"" + WideFromUtf8(options.serverPath) + L"\"";
    if (options.passInputHandle || options.passOutputHandle) {
        commandLine += L" " + (options.passInputHandle ? HandleArgument(childInput) : std::wstring(L"0"));
        if (options.passOutputHandle) {
            commandLine += L" " + HandleArgument(childOutput);
            commandLine += L" " + HexArgument(options.ownerWindow);
            if (!options.dumpFolder.empty())
                commandLine += L" \"" + WideFromUtf8(options.dumpFolder) + L"\"";
        }
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!options.passOutputHandle) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childInput;
        startup.hStdOutput = childOutput;
        startup.hStdError = childOutput;
    }
    PROCESS_INFORMATION created = {};
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                        nullptr, &startup, &created);
    const DWORD startError = GetLastError();
    CloseIfOpen(childInput);
    CloseIfOpen(childOutput);
    if (!started) {
        m_error = "cannot start " + options.serverPath + ": " + SystemErrorText(startError);
        return false;
    }
    // In the job before it runs a single instruction; without a job (refused
    // by the system) the server still runs, it just does not end with the host.
    if (HostJob() != nullptr)
        AssignProcessToJobObject(HostJob(), created.hProcess);
    ResumeThread(created.hThread);
    CloseHandle(created.hThread);
    state->process = created.hProcess;
    state->processId = created.dwProcessId;
    std::shared_ptr<CServerOutput> output = state->output;
    HANDLE outputRead = state->outputRead;
    state->outputRead = nullptr;
    state->reader = std::thread([output, outputRead] {
        output->ReadAll([outputRead](char* buffer, int capacity) {
            DWORD count = 0;
            return ReadFile(outputRead, buffer, static_cast<DWORD>(capacity), &count, nullptr) ? static_cast<int>(count) : 0;
        });
        CloseHandle(outputRead);
    });
    m_state = std::move(state);
    return true;
}

CServerOutput* CServerConnection::Output() const { return m_state ? m_state->output.get() : nullptr; }

bool CServerConnection::Write(const std::string& bytes)
{
    if (!m_state || m_state->inputWrite == nullptr)
        return false;
    DWORD written = 0;
    return WriteFile(m_state->inputWrite, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

void CServerConnection::CloseInput()
{
    if (m_state)
        CloseIfOpen(m_state->inputWrite);
}

bool CServerConnection::WaitForExit(uint32_t timeoutMs, uint32_t& exitCode)
{
    if (!m_state || WaitForSingleObject(m_state->process, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    GetExitCodeProcess(m_state->process, &code);
    exitCode = code;
    return true;
}

void CServerConnection::Kill()
{
    if (m_state && WaitForSingleObject(m_state->process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_state->process, 1);
        WaitForSingleObject(m_state->process, INFINITE);
    }
}

bool CServerConnection::IsRunning() const
{
    return m_state && WaitForSingleObject(m_state->process, 0) == WAIT_TIMEOUT;
}

uint32_t CServerConnection::GetProcessId() const { return m_state ? m_state->processId : 0; }

void* CServerConnection::GetProcessHandle() const { return m_state ? m_state->process : nullptr; }

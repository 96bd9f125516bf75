#include "client/ServerConnection.h"

#include "foundation/Win32.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace {

/// Inheritable pipe ends exist only while one server is being created, so that
/// servers started at the same time by other threads never inherit each other's
/// pipes (a pipe whose write end lives on in another process never closes).
std::mutex g_spawnLock;

std::wstring WideFromUtf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], count);
    return wide;
}

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

} // namespace

struct CServerConnection::SState {
    HANDLE process = nullptr;
    HANDLE inputWrite = nullptr;
    HANDLE outputRead = nullptr;
    DWORD processId = 0;
    uint32_t silenceTimeoutMs = 0;

    std::thread reader;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> lines;
    CLineSplitter splitter;
    bool closed = false;

    void ReadOutput()
    {
        char buffer[4096];
        std::vector<std::string> arrived;
        for (;;) {
            DWORD count = 0;
            const bool ok = ReadFile(outputRead, buffer, sizeof buffer, &count, nullptr) && count > 0;
            std::lock_guard<std::mutex> lock(mutex);
            if (!ok) {
                closed = true;
                changed.notify_all();
                return;
            }
            splitter.Feed(buffer, count, arrived);
            for (std::string& line : arrived)
                lines.push_back(std::move(line));
            arrived.clear();
            changed.notify_all();
        }
    }

    ~SState()
    {
        if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, INFINITE);
        }
        CloseIfOpen(inputWrite);
        if (reader.joinable())
            reader.join();
        CloseIfOpen(outputRead);
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
    state->silenceTimeoutMs = options.silenceTimeoutMs;

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
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &created);
    const DWORD startError = GetLastError();
    CloseIfOpen(childInput);
    CloseIfOpen(childOutput);
    if (!started) {
        m_error = "cannot start " + options.serverPath + ", error " + std::to_string(startError);
        return false;
    }
    CloseHandle(created.hThread);
    state->process = created.hProcess;
    state->processId = created.dwProcessId;
    SState* reading = state.get();
    state->reader = std::thread([reading] { reading->ReadOutput(); });
    m_state = std::move(state);
    return true;
}

EWaitResult CServerConnection::ReadUntilReady(std::vector<std::string>* lines, const LineCallback& onLine)
{
    if (!m_state)
        return EWaitResult::Closed;
    SState& state = *m_state;
    for (;;) {
        std::string line;
        {
            std::unique_lock<std::mutex> lock(state.mutex);
            const auto arrived = [&state] { return !state.lines.empty() || state.closed; };
            if (state.silenceTimeoutMs == 0) {
                state.changed.wait(lock, arrived);
            } else if (!state.changed.wait_for(lock, std::chrono::milliseconds(state.silenceTimeoutMs), arrived)) {
                lock.unlock();
                Kill();
                return EWaitResult::TimedOut;
            }
            if (state.lines.empty())
                return EWaitResult::Closed;
            line = std::move(state.lines.front());
            state.lines.pop_front();
        }
        if (line == "ready:")
            return EWaitResult::Ready;
        if (onLine)
            onLine(line);
        if (lines != nullptr)
            lines->push_back(std::move(line));
    }
}

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

std::string CServerConnection::GetPendingOutput() const
{
    if (!m_state)
        return std::string();
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->splitter.GetPending();
}

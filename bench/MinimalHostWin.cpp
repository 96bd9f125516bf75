#include "bench/MinimalHost.h"

#include "client/WideTextWin.h"
#include "foundation/Win32.h"
#include "wire/Protocol.h"

#include <cwchar>

namespace {

constexpr DWORD kExitWaitMs = 30000;

std::wstring Hex(const void* handle)
{
    wchar_t text[20];
    std::swprintf(text, sizeof text / sizeof text[0], L"%llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    return text;
}

void Close(void*& handle)
{
    if (handle != nullptr)
        CloseHandle(static_cast<HANDLE>(handle));
    handle = nullptr;
}

} // namespace

CMinimalHost::~CMinimalHost()
{
    if (m_process != nullptr && WaitForSingleObject(static_cast<HANDLE>(m_process), 0) == WAIT_TIMEOUT) {
        TerminateProcess(static_cast<HANDLE>(m_process), 1);
        WaitForSingleObject(static_cast<HANDLE>(m_process), INFINITE);
    }
    Close(m_input);
    Close(m_output);
    Close(m_process);
}

bool CMinimalHost::Start(const std::string& server)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    if (!CreatePipe(&childInput, &input, &inheritable, 0))
        return false;
    if (!CreatePipe(&output, &childOutput, &inheritable, 0)) {
        CloseHandle(childInput);
        CloseHandle(input);
        return false;
    }
    SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
    m_input = input;
    m_output = output;
    std::wstring commandLine =
        L"\"" + WideFromUtf8(server) + L"\" " + Hex(childInput) + L" " + Hex(childOutput) + L" 0";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    const BOOL started =
        CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &created);
    CloseHandle(childInput);
    CloseHandle(childOutput);
    if (!started)
        return false;
    CloseHandle(created.hThread);
    m_process = created.hProcess;
    return ReadUntilReady();
}

bool CMinimalHost::Request(const std::string& request)
{
    const std::string line = request + "\n";
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(m_input), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        return false;
    return ReadUntilReady();
}

bool CMinimalHost::ReadUntilReady()
{
    char buffer[4096];
    for (;;) {
        std::size_t lineStart = 0;
        for (std::size_t end = m_pending.find('\n'); end != std::string::npos; end = m_pending.find('\n', lineStart)) {
            const bool ready = m_pending.compare(lineStart, end - lineStart, kReadyLine) == 0;
            lineStart = end + 1;
            if (ready) {
                m_pending.erase(0, lineStart);
                return true;
            }
        }
        m_pending.erase(0, lineStart);
        DWORD count = 0;
        if (!ReadFile(static_cast<HANDLE>(m_output), buffer, sizeof buffer, &count, nullptr) || count == 0)
            return false;
        m_pending.append(buffer, count);
    }
}

void CMinimalHost::CloseInput() { Close(m_input); }

bool CMinimalHost::Stop()
{
    Close(m_input);
    // The server flushes every line it writes, so whatever it says on its way
    // out is read, or it would wait for the reader forever.
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(static_cast<HANDLE>(m_output), buffer, sizeof buffer, &count, nullptr) && count > 0) {
    }
    if (m_process == nullptr || WaitForSingleObject(static_cast<HANDLE>(m_process), kExitWaitMs) != WAIT_OBJECT_0)
        return false;
    DWORD exitCode = 1;
    GetExitCodeProcess(static_cast<HANDLE>(m_process), &exitCode);
    return exitCode == 0;
}

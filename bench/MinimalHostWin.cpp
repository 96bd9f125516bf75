#include "bench/MinimalHost.h"

#include "client/WideTextWin.h"
#include "foundation/Win32.h"

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

void Close(HANDLE& handle)
{
    if (handle != nullptr)
        CloseHandle(handle);
    handle = nullptr;
}

} // namespace

struct CMinimalHost::SProcess {
    HANDLE process = nullptr;
    HANDLE input = nullptr;  ///< the host's end of the server's input
    HANDLE output = nullptr; ///< the host's end of the server's output
};

CMinimalHost::CMinimalHost() : m_process(new SProcess) {}

CMinimalHost::~CMinimalHost()
{
    if (m_process->process != nullptr && WaitForSingleObject(m_process->process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(m_process->process, 1);
        WaitForSingleObject(m_process->process, INFINITE);
    }
    Close(m_process->input);
    Close(m_process->output);
    Close(m_process->process);
}

bool CMinimalHost::Launch(const std::string& server)
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
    m_process->input = input;
    m_process->output = output;
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
    m_process->process = created.hProcess;
    return true;
}

bool CMinimalHost::WriteInput(const std::string& bytes)
{
    DWORD written = 0;
    return WriteFile(m_process->input, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
}

bool CMinimalHost::ReadMore()
{
    char buffer[4096];
    DWORD count = 0;
    if (!ReadFile(m_process->output, buffer, sizeof buffer, &count, nullptr) || count == 0)
        return false;
    m_pending.append(buffer, count);
    return true;
}

void CMinimalHost::CloseInput() { Close(m_process->input); }

bool CMinimalHost::EndedWithZero()
{
    if (m_process->process == nullptr || WaitForSingleObject(m_process->process, kExitWaitMs) != WAIT_OBJECT_0)
        return false;
    DWORD exitCode = 1;
    GetExitCodeProcess(m_process->process, &exitCode);
    return exitCode == 0;
}

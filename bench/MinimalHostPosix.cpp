#include "bench/MinimalHost.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr auto kExitWait = std::chrono::seconds(30);
constexpr auto kExitPollInterval = std::chrono::milliseconds(1);
/// The server's pipe ends, as the command line names them ("3", "4").
constexpr int kChildInputDescriptor = 3;
constexpr int kChildOutputDescriptor = 4;

void Close(int& descriptor)
{
    if (descriptor >= 0)
        close(descriptor);
    descriptor = -1;
}

} // namespace

struct CMinimalHost::SProcess {
    pid_t process = 0;
    int input = -1;  ///< the host's end of the server's input
    int output = -1; ///< the host's end of the server's output
};

CMinimalHost::CMinimalHost() : m_process(new SProcess) {}

CMinimalHost::~CMinimalHost()
{
    Close(m_process->input);
    Close(m_process->output);
    if (m_process->process > 0 && waitpid(m_process->process, nullptr, WNOHANG) == 0) {
        kill(m_process->process, SIGKILL);
        waitpid(m_process->process, nullptr, 0);
    }
}

bool CMinimalHost::Launch(const std::string& server)
{
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0)
        return false;
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        return false;
    }
    m_process->input = input[1];
    m_process->output = output[0];
    // The child's ends go to 3 and 4; a source end already there (a host
    // started with few descriptors) is moved out of the way first.
    const int childInput = fcntl(input[0], F_DUPFD_CLOEXEC, kChildOutputDescriptor + 1);
    const int childOutput = fcntl(output[1], F_DUPFD_CLOEXEC, kChildOutputDescriptor + 1);
    close(input[0]);
    close(output[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childInput, kChildInputDescriptor);
    posix_spawn_file_actions_adddup2(&actions, childOutput, kChildOutputDescriptor);
    std::string words[] = {server, std::to_string(kChildInputDescriptor), std::to_string(kChildOutputDescriptor), "0"};
    char* argv[] = {&words[0][0], &words[1][0], &words[2][0], &words[3][0], nullptr};
    const int startError = posix_spawn(&m_process->process, server.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(childInput);
    close(childOutput);
    return startError == 0 && childInput >= 0 && childOutput >= 0;
}

bool CMinimalHost::WriteInput(const std::string& bytes)
{
    return write(m_process->input, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

bool CMinimalHost::ReadMore()
{
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(m_process->output, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        m_pending.append(buffer, static_cast<std::size_t>(count));
        return true;
    }
}

void CMinimalHost::CloseInput() { Close(m_process->input); }

bool CMinimalHost::EndedWithZero()
{
    if (m_process->process <= 0)
        return false;
    const auto end = std::chrono::steady_clock::now() + kExitWait;
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(m_process->process, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(kExitPollInterval);
    if (ended != m_process->process)
        return false;
    m_process->process = 0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

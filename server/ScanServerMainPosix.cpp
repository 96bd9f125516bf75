#include "server/ScanServerMain.h"

#include "crash/CrashFilter.h"
#include "crash/CrashSignalsPosix.h"
#include "process/OutputChannel.h"
#include "scan/ScanPlatformPosix.h"
#include "server/CommandLine.h"
#include "server/RequestLoop.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char16_t kSystemName[] = u"Linux";
/// A host's write longer than the pipe's buffer reaches the pipe in pieces, each
/// when the server has read the one before: this long the rest may take to follow.
constexpr int kPipeRefillWaitMs = 100;
constexpr int kFirstFreeDescriptor = 3;
/// The command line's fifth word (after the program, input, output and owner).
constexpr int kDumpFolderArgument = 4;

class CDescriptorSink : public IOutputSink {
public:
    explicit CDescriptorSink(int descriptor) : m_descriptor(descriptor) {}

    void WriteAndFlush(const char* bytes, std::size_t count) override
    {
        while (count > 0) {
            const ssize_t written = write(m_descriptor, bytes, count);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return;
            bytes += written;
            count -= static_cast<std::size_t>(written);
        }
    }

private:
    int m_descriptor;
};

class CDescriptorSource : public IRequestSource {
public:
    explicit CDescriptorSource(int descriptor) : m_descriptor(descriptor) {}

    int Read(char* buffer, int capacity) override
    {
        for (;;) {
            const ssize_t count = read(m_descriptor, buffer, static_cast<std::size_t>(capacity));
            if (count < 0 && errno == EINTR)
                continue;
            return count < 0 ? 0 : static_cast<int>(count);
        }
    }

    bool HasWaitingBytes() override
    {
        struct stat status = {};
        if (fstat(m_descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
            // A file's remaining bytes are all there: nothing waits only at its end.
            const off_t position = lseek(m_descriptor, 0, SEEK_CUR);
            return position >= 0 && position < status.st_size;
        }
        // A pipe whose writer has closed and that holds nothing more reports only
        // POLLHUP: what was read is served, and the next read ends the loop. A
        // terminal hands over one line per read: the rest of a long line is waiting.
        pollfd waiting = {m_descriptor, POLLIN, 0};
        const int waitMs = S_ISFIFO(status.st_mode) ? kPipeRefillWaitMs : 0;
        return poll(&waiting, 1, waitMs) > 0 && (waiting.revents & POLLIN) != 0;
    }

private:
    int m_descriptor;
};

/// The protocol's own descriptor, where nothing a plug-in writes can reach it: a
/// channel on standard output gets a descriptor of its own and standard output
/// then goes to standard error; the channel is not inherited by programs a
/// plug-in starts.
int SetChannelApart(int channel)
{
    if (channel == STDOUT_FILENO) {
        const int own = fcntl(channel, F_DUPFD_CLOEXEC, kFirstFreeDescriptor);
        if (own < 0)
            return channel;
        dup2(STDERR_FILENO, STDOUT_FILENO);
        return own;
    }
    fcntl(channel, F_SETFD, fcntl(channel, F_GETFD) | FD_CLOEXEC);
    return channel;
}

/// The host's input, kept from the programs a plug-in starts (a helper holding it
/// would keep the host's writes from failing once the server is gone): standard
/// input gets a descriptor of its own, and standard input then reads nothing, so
/// that a plug-in reading it takes no request and its programs still find it open.
int SetInputApart(int input)
{
    const int own = input == STDIN_FILENO ? fcntl(input, F_DUPFD_CLOEXEC, kFirstFreeDescriptor) : -1;
    const int nothing = own >= 0 ? open("/dev/null", O_RDONLY) : -1;
    if (nothing >= 0) {
        dup2(nothing, STDIN_FILENO);
        close(nothing);
        return own;
    }
    if (own >= 0)
        close(own);
    fcntl(input, F_SETFD, fcntl(input, F_GETFD) | FD_CLOEXEC);
    return input;
}

CPosixScanPlatform g_posixScanPlatform;

} // namespace

int ScanServerMain(int count, char** arguments)
{
    InitializeCrashHandling();
    ConfigureCrashReports(count > kDumpFolderArgument ? arguments[kDumpFolderArgument] : nullptr,
                          CAnsiString::ToUtf8(ServerTitle(kSystemName)).GetText());
    InstallCrashFilter();
    // A host that closed its end makes a write fail, not end the server.
    signal(SIGPIPE, SIG_IGN);
    // A host that is killed ends its server too, even one stuck in a plug-in that
    // never reads the closed input again (Windows servers end with the host's job).
    prctl(PR_SET_PDEATHSIG, SIGKILL);

    // The descriptors are read as the Windows server reads its handles; the dump
    // folder went to the crash handlers as the bytes it is.
    const int used = count < kDumpFolderArgument ? count : kDumpFolderArgument;
    CString texts[kDumpFolderArgument];
    const char16_t* units[kDumpFolderArgument] = {};
    for (int i = 0; i < used; ++i) {
        texts[i] = CString::FromUtf8(arguments[i]);
        units[i] = texts[i].GetText();
    }
    const SServerArguments parsed = ParseServerArguments(used, units);
    const int input = SetInputApart(static_cast<int>(parsed.inputHandle)); // 0 is standard input
    const int output = SetChannelApart(parsed.outputHandle != 0 ? static_cast<int>(parsed.outputHandle)
                                                                : STDOUT_FILENO);

    CDescriptorSink sink(output);
    SetOutputSink(&sink);
    SetScanPlatform(&g_posixScanPlatform);
    LogBanner(kSystemName);
    CDescriptorSource source(input);
    ServeRequests(source);
    SetOutputSink(nullptr);
    return 0;
}

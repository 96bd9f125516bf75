#include "crash/CrashFilter.h"
#include "crash/CrashReport.h"
#include "crash/CrashSignalsPosix.h"
#include "crash/DumpPath.h"
#include "crash/SignalWatchPosix.h"
#include "wire/Protocol.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/syscall.h>
#include <unistd.h>

#define UNW_LOCAL_ONLY
#include <libunwind.h>

namespace {

/// The handler's own stack, so that a stack overflow of the main thread is
/// reported too; room for libunwind and the dynamic loader's lookups.
constexpr std::size_t kAlternateStackBytes = 256 * 1024;
alignas(16) char g_alternateStack[kAlternateStackBytes];

// Everything the handler touches is prepared beforehand: it allocates nothing.
char g_reportFolder[PATH_MAX];
char g_serverName[128];
char g_baseName[64];
char g_programPath[PATH_MAX];
/// Where the program itself is loaded: the loader names it as it was started
/// (possibly a relative path), the report by its full path.
const void* g_programBase = nullptr;
char g_reportPath[PATH_MAX + sizeof g_baseName + 32];
char g_report[64 * 1024];
SCrashFacts g_facts;
/// The local zone's offset from UTC, refreshed whenever the handlers are installed
/// (the handler cannot read the zone itself).
std::atomic<long> g_utcOffsetSeconds{0};
/// The thread writing a report; 0 while none is.
std::atomic<long> g_crashingThread{0};

void CopyText(char* target, std::size_t capacity, const char* text)
{
    std::size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length >= capacity)
        length = 0; // a cut folder would be another folder
    std::memcpy(target, text != nullptr ? text : "", length);
    target[length] = 0;
}

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "";
    }
}

const char* CodeName(int signal, int code)
{
    struct SCode {
        int signal;
        int code;
        const char* name;
    };
    static const SCode kCodes[] = {
        {SIGSEGV, SEGV_MAPERR, "SEGV_MAPERR"}, {SIGSEGV, SEGV_ACCERR, "SEGV_ACCERR"},
        {SIGBUS, BUS_ADRALN, "BUS_ADRALN"},    {SIGBUS, BUS_ADRERR, "BUS_ADRERR"},
        {SIGBUS, BUS_OBJERR, "BUS_OBJERR"},    {SIGILL, ILL_ILLOPC, "ILL_ILLOPC"},
        {SIGILL, ILL_ILLOPN, "ILL_ILLOPN"},    {SIGILL, ILL_ILLADR, "ILL_ILLADR"},
        {SIGILL, ILL_ILLTRP, "ILL_ILLTRP"},    {SIGILL, ILL_PRVOPC, "ILL_PRVOPC"},
        {SIGILL, ILL_PRVREG, "ILL_PRVREG"},    {SIGILL, ILL_COPROC, "ILL_COPROC"},
        {SIGILL, ILL_BADSTK, "ILL_BADSTK"},    {SIGFPE, FPE_INTDIV, "FPE_INTDIV"},
        {SIGFPE, FPE_INTOVF, "FPE_INTOVF"},    {SIGFPE, FPE_FLTDIV, "FPE_FLTDIV"},
        {SIGFPE, FPE_FLTOVF, "FPE_FLTOVF"},    {SIGFPE, FPE_FLTUND, "FPE_FLTUND"},
        {SIGFPE, FPE_FLTRES, "FPE_FLTRES"},    {SIGFPE, FPE_FLTINV, "FPE_FLTINV"},
        {SIGFPE, FPE_FLTSUB, "FPE_FLTSUB"},
    };
    // Codes that any signal may carry: sent by a process or a timer, not by a fault.
    if (code == SI_USER)
        return "SI_USER";
    if (code == SI_TKILL)
        return "SI_TKILL";
    for (const SCode& entry : kCodes) {
        if (entry.signal == signal && entry.code == code)
            return entry.name;
    }
    return "";
}

/// The module and exported symbol that hold address (dladdr).
void Locate(uintptr_t address, SCodePlace& place)
{
    place = SCodePlace();
    place.address = address;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(address), &info) == 0)
        return;
    place.module = info.dli_fbase == g_programBase || info.dli_fname == nullptr ? g_programPath : info.dli_fname;
    place.moduleOffset = address - reinterpret_cast<uintptr_t>(info.dli_fbase);
    if (info.dli_sname != nullptr && info.dli_saddr != nullptr) {
        place.symbol = info.dli_sname;
        place.symbolOffset = address - reinterpret_cast<uintptr_t>(info.dli_saddr);
    }
}

/// The crashing thread's frames from the signal's context, innermost first.
void Unwind(void* context, SCrashFacts& facts)
{
    unw_cursor_t cursor;
    if (unw_init_local2(&cursor, static_cast<unw_context_t*>(context), UNW_INIT_SIGNAL_FRAME) != 0)
        return;
    do {
        unw_word_t address = 0;
        if (unw_get_reg(&cursor, UNW_REG_IP, &address) != 0 || address == 0)
            return;
        Locate(static_cast<uintptr_t>(address), facts.frames[facts.frameCount++]);
    } while (facts.frameCount < kMaxCrashFrames && unw_step(&cursor) > 0);
}

void WriteAll(int file, const char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t written = write(file, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

void WriteReport(int signal, const siginfo_t* information, void* context)
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    const SDumpTime time = DumpTimeFromSeconds(static_cast<int64_t>(now.tv_sec) + g_utcOffsetSeconds.load());
    if (!FormatReportPath(g_reportPath, sizeof g_reportPath, g_reportFolder, g_baseName, time))
        return;
    SCrashFacts& facts = g_facts;
    facts.server = g_serverName;
    facts.signal = signal;
    facts.signalName = SignalName(signal);
    facts.code = information != nullptr ? information->si_code : 0;
    facts.codeName = CodeName(signal, facts.code);
    facts.faultAddress = information != nullptr ? reinterpret_cast<uintptr_t>(information->si_addr) : 0;
    facts.threadId = static_cast<long>(syscall(SYS_gettid));
    facts.processId = static_cast<long>(getpid());
    facts.request = RequestForCrashReport();
    facts.frameCount = 0;
    Unwind(context, facts);
    if (facts.frameCount > 0)
        facts.instruction = facts.frames[0];
    const int file = open(g_reportPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return;
    WriteAll(file, g_report, FormatCrashReport(g_report, sizeof g_report, facts));
    close(file);
}

void CrashHandler(int signal, siginfo_t* information, void* context)
{
    const long thread = static_cast<long>(syscall(SYS_gettid));
    long idle = 0;
    if (!g_crashingThread.compare_exchange_strong(idle, thread)) {
        // A crash while this thread reports ends at once; another thread's crash
        // waits for the report under way, which ends the process.
        if (idle == thread)
            _exit(kCrashExitCode);
        for (;;)
            pause();
    }
    if (g_reportFolder[0] != 0)
        WriteReport(signal, information, context);
    _exit(kCrashExitCode);
}

} // namespace

void ConfigureCrashReports(const char* folder, const char* serverName)
{
    CopyText(g_reportFolder, sizeof g_reportFolder, folder);
    CopyText(g_serverName, sizeof g_serverName, serverName);
}

void InitializeCrashHandling()
{
    CopyText(g_baseName, sizeof g_baseName, kDumpBaseName);
    std::strcat(g_baseName, "-");
    std::strcat(g_baseName, kCrashReportSystem);
    std::strcat(g_baseName, "-");
    std::strcat(g_baseName, kServerPlatform);
    const ssize_t length = readlink("/proc/self/exe", g_programPath, sizeof g_programPath - 1);
    g_programPath[length > 0 ? length : 0] = 0;
    Dl_info program;
    if (dladdr(reinterpret_cast<void*>(&InitializeCrashHandling), &program) != 0)
        g_programBase = program.dli_fbase;
    ResolveSignalCalls();
    stack_t stack = {};
    stack.ss_sp = g_alternateStack;
    stack.ss_size = sizeof g_alternateStack;
    sigaltstack(&stack, nullptr);
}

void InstallCrashFilter()
{
    const time_t now = time(nullptr);
    tm local = {};
    if (localtime_r(&now, &local) != nullptr)
        g_utcOffsetSeconds.store(local.tm_gmtoff);
    unsigned maskChanged = 0;
    const unsigned changed = TakeSignalChanges(maskChanged);
    struct sigaction action = {};
    action.sa_sigaction = CrashHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigset_t crashSignals;
    sigemptyset(&crashSignals);
    for (int index = 0; index < kWatchedSignalCount; ++index) {
        if ((changed & (1u << index)) != 0)
            SetHandlerDirectly(kWatchedSignals[index], &action);
        sigaddset(&crashSignals, kWatchedSignals[index]);
    }
    // A plug-in that blocked them would have the system end the process without a report.
    if (maskChanged != 0)
        SetMaskDirectly(SIG_UNBLOCK, &crashSignals);
}

// The process's own definitions of the C library's calls that change how a
// signal is handled or whether it is blocked. The server exports them
// (CMakeLists.txt), so a plug-in and the libraries it brings bind to these: each
// forwards to the C library's call and notes which crash signals the call may
// have taken from the server's handler. InstallCrashFilter then puts back only
// those, and makes no system call at all after a plug-in call that changed none.
#include "crash/SignalWatchPosix.h"

#include <atomic>
#include <csignal>

#include <dlfcn.h>

namespace {

/// Every crash signal and the mask: what the first install must set.
constexpr unsigned kEverything = (1u << (kWatchedSignalCount + 1)) - 1;

/// Bit i: watched signal i's handler may have changed; bit kWatchedSignalCount: the mask.
std::atomic<unsigned> g_changes{kEverything};

using FSigaction = int (*)(int, const struct sigaction*, struct sigaction*);
using FSignal = sighandler_t (*)(int, sighandler_t);
using FSignalNumber = int (*)(int);
using FMask = int (*)(int, const sigset_t*, sigset_t*);

/// The next definition after the process's own: the C library's (or a
/// sanitizer's in front of it), looked up once per name (ResolveSignalCalls
/// does them all at start-up, so a crash handler's unwinder never looks one up).
template <typename FCall>
FCall NextCall(std::atomic<FCall>& cached, const char* name)
{
    FCall call = cached.load(std::memory_order_acquire);
    if (call == nullptr) {
        call = reinterpret_cast<FCall>(dlsym(RTLD_NEXT, name));
        cached.store(call, std::memory_order_release);
    }
    return call;
}

int WatchedIndex(int number)
{
    for (int index = 0; index < kWatchedSignalCount; ++index) {
        if (kWatchedSignals[index] == number)
            return index;
    }
    return -1;
}

/// Notes the signal's handler as changed. Called after the change is made, so
/// that an install that sees the note also sees the change.
void NoteHandler(int number)
{
    const int index = WatchedIndex(number);
    if (index >= 0)
        g_changes.fetch_or(1u << index, std::memory_order_acq_rel);
}

/// Notes the mask as changed when a call may have blocked a crash signal.
void NoteMask(int how, const sigset_t* set)
{
    if (set == nullptr || how == SIG_UNBLOCK)
        return;
    for (const int number : kWatchedSignals) {
        if (sigismember(set, number) == 1) {
            g_changes.fetch_or(1u << kWatchedSignalCount, std::memory_order_acq_rel);
            return;
        }
    }
}

/// A set of the one signal.
sigset_t SignalSetOf(int number)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    return set;
}

std::atomic<FSigaction> g_sigaction{nullptr};
std::atomic<FSignal> g_signal{nullptr};
std::atomic<FSignal> g_sysvSignal{nullptr};
std::atomic<FSignal> g_sigset{nullptr};
std::atomic<FSignalNumber> g_sigignore{nullptr};
std::atomic<FSignalNumber> g_sighold{nullptr};
std::atomic<FMask> g_sigprocmask{nullptr};
std::atomic<FMask> g_pthreadSigmask{nullptr};

} // namespace

void ResolveSignalCalls()
{
    NextCall(g_sigaction, "sigaction");
    NextCall(g_signal, "signal");
    NextCall(g_sysvSignal, "sysv_signal");
    NextCall(g_sigset, "sigset");
    NextCall(g_sigignore, "sigignore");
    NextCall(g_sighold, "sighold");
    NextCall(g_sigprocmask, "sigprocmask");
    NextCall(g_pthreadSigmask, "pthread_sigmask");
}

unsigned TakeSignalChanges(unsigned& maskChanged)
{
    const unsigned changes = g_changes.exchange(0, std::memory_order_acq_rel);
    maskChanged = (changes >> kWatchedSignalCount) & 1u;
    return changes & ((1u << kWatchedSignalCount) - 1);
}

int SetHandlerDirectly(int number, const struct sigaction* action)
{
    return NextCall(g_sigaction, "sigaction")(number, action, nullptr);
}

int SetMaskDirectly(int how, const sigset_t* set) { return NextCall(g_pthreadSigmask, "pthread_sigmask")(how, set, nullptr); }

extern "C" {

int sigaction(int number, const struct sigaction* action, struct sigaction* old) noexcept
{
    const int result = NextCall(g_sigaction, "sigaction")(number, action, old);
    if (action != nullptr)
        NoteHandler(number);
    return result;
}

int __sigaction(int number, const struct sigaction* action, struct sigaction* old) noexcept
{
    return sigaction(number, action, old);
}

sighandler_t signal(int number, sighandler_t handler) noexcept
{
    const sighandler_t result = NextCall(g_signal, "signal")(number, handler);
    NoteHandler(number);
    return result;
}

sighandler_t bsd_signal(int number, sighandler_t handler) noexcept { return signal(number, handler); }

sighandler_t ssignal(int number, sighandler_t handler) noexcept { return signal(number, handler); }

sighandler_t sysv_signal(int number, sighandler_t handler) noexcept
{
    const sighandler_t result = NextCall(g_sysvSignal, "sysv_signal")(number, handler);
    NoteHandler(number);
    return result;
}

sighandler_t __sysv_signal(int number, sighandler_t handler) noexcept { return sysv_signal(number, handler); }

sighandler_t sigset(int number, sighandler_t handler) noexcept
{
    const sighandler_t result = NextCall(g_sigset, "sigset")(number, handler);
    NoteHandler(number);
    if (handler == SIG_HOLD) {
        const sigset_t set = SignalSetOf(number);
        NoteMask(SIG_BLOCK, &set);
    }
    return result;
}

int sigignore(int number) noexcept
{
    const int result = NextCall(g_sigignore, "sigignore")(number);
    NoteHandler(number);
    return result;
}

int sighold(int number) noexcept
{
    const int result = NextCall(g_sighold, "sighold")(number);
    const sigset_t set = SignalSetOf(number);
    NoteMask(SIG_BLOCK, &set);
    return result;
}

int sigprocmask(int how, const sigset_t* set, sigset_t* old) noexcept
{
    const int result = NextCall(g_sigprocmask, "sigprocmask")(how, set, old);
    NoteMask(how, set);
    return result;
}

int pthread_sigmask(int how, const sigset_t* set, sigset_t* old) noexcept
{
    const int result = NextCall(g_pthreadSigmask, "pthread_sigmask")(how, set, old);
    NoteMask(how, set);
    return result;
}

} // extern "C"

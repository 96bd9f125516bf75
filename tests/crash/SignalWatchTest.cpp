// The process's own signal calls: each forwards to the C library's call, gives
// back its result, and notes which crash signals (or whether the mask) it may
// have changed. Linux only: Windows has no such calls.
#if !defined(_WIN32)

#include "crash/SignalWatchPosix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include <pthread.h>

namespace {

void Ignore(int) {}

/// SIGFPE is watched (bit kFpeBit), SIGUSR1 is not.
constexpr unsigned kFpeBit = 1u << 3;
static_assert(kWatchedSignals[3] == SIGFPE, "the rows name SIGFPE's bit");

int SetWithSigaction(int number)
{
    struct sigaction action = {};
    action.sa_handler = Ignore;
    return sigaction(number, &action, nullptr);
}

int Block(int number, int how, bool thread)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    return thread ? pthread_sigmask(how, &set, nullptr) : sigprocmask(how, &set, nullptr);
}

int ResultOf(sighandler_t previous) { return previous == SIG_ERR ? -1 : 0; }

struct SWatchedCall {
    const char* what;
    int (*call)();
    int result;           ///< what the call gives back; -1 comes with EINVAL
    unsigned handlers;    ///< the handler notes it leaves
    unsigned maskChanged; ///< the mask note it leaves
};

const SWatchedCall kWatchedCalls[] = {
    {"sigaction on a crash signal", [] { return SetWithSigaction(SIGFPE); }, 0, kFpeBit, 0},
    {"sigaction that only reads", [] {
         struct sigaction old = {};
         return sigaction(SIGFPE, nullptr, &old);
     }, 0, 0, 0},
    {"sigaction on another signal", [] { return SetWithSigaction(SIGUSR1); }, 0, 0, 0},
    {"sigaction the system refuses", [] { return SetWithSigaction(SIGKILL); }, -1, 0, 0},
    {"signal", [] { return ResultOf(signal(SIGFPE, Ignore)); }, 0, kFpeBit, 0},
    {"ssignal", [] { return ResultOf(ssignal(SIGFPE, Ignore)); }, 0, kFpeBit, 0},
    {"sysv_signal", [] { return ResultOf(sysv_signal(SIGFPE, Ignore)); }, 0, kFpeBit, 0},
    {"sigprocmask blocking a crash signal", [] { return Block(SIGFPE, SIG_BLOCK, false); }, 0, 0, 1},
    {"sigprocmask unblocking it", [] { return Block(SIGFPE, SIG_UNBLOCK, false); }, 0, 0, 0},
    {"sigprocmask blocking another signal", [] { return Block(SIGUSR1, SIG_BLOCK, false); }, 0, 0, 0},
    {"pthread_sigmask setting a crash signal", [] { return Block(SIGFPE, SIG_SETMASK, true); }, 0, 0, 1},
    {"sigprocmask the system refuses", [] { return Block(SIGFPE, -1, false); }, -1, 0, 1},
};

TEST(SignalWatch, EveryCallForwardsAndNotesWhatItMayHaveChanged)
{
    ResolveSignalCalls();
    struct sigaction savedFpe = {};
    struct sigaction savedUser = {};
    sigaction(SIGFPE, nullptr, &savedFpe);
    sigaction(SIGUSR1, nullptr, &savedUser);
    sigset_t savedMask;
    pthread_sigmask(SIG_SETMASK, nullptr, &savedMask);
    for (const SWatchedCall& row : kWatchedCalls) {
        unsigned maskChanged = 0;
        TakeSignalChanges(maskChanged);
        const int result = row.call();
        const unsigned handlers = TakeSignalChanges(maskChanged);
        EXPECT_EQ(row.result, result < 0 ? -1 : result) << row.what;
        if (row.result < 0) {
            EXPECT_EQ(EINVAL, errno) << row.what;
        }
        EXPECT_EQ(row.handlers, handlers) << row.what;
        EXPECT_EQ(row.maskChanged, maskChanged) << row.what;
        SetHandlerDirectly(SIGFPE, &savedFpe);
        SetHandlerDirectly(SIGUSR1, &savedUser);
        SetMaskDirectly(SIG_SETMASK, &savedMask);
    }
    unsigned maskChanged = 0;
    TakeSignalChanges(maskChanged);
    EXPECT_EQ(0u, TakeSignalChanges(maskChanged)) << "restoring directly leaves no note";
    EXPECT_EQ(0u, maskChanged);
}

} // namespace

#endif

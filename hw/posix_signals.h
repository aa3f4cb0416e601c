// The signal calls behind hw::IgnoreBrokenPipe and hw::StopSignalHold, shared
// by both backends: the signals are the process's own in the simulated
// build too, so both make the same calls, and the sim backend also records
// them in the machine's request log.
#ifndef SRVFW_HW_POSIX_SIGNALS_H
#define SRVFW_HW_POSIX_SIGNALS_H

#include <signal.h>

#include <array>
#include <ctime>

namespace hw::posix {

// In the order Release reports them when more than one arrived.
inline constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};

inline void IgnoreBrokenPipe() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

inline void BlockStopSignals(sigset_t* previous) {
    sigset_t stop;
    sigemptyset(&stop);
    for (const int signal : kStopSignals) sigaddset(&stop, signal);
    ::pthread_sigmask(SIG_BLOCK, &stop, previous);
}

// The first stop signal pending, or 0. Those that the mask before the hold
// did not block are taken off the pending set (an outer hold, which blocked
// them already, is left to take them itself), so that putting the mask back
// does not deliver them.
inline int TakePendingStopSignal(const sigset_t& previous) {
    sigset_t pending;
    sigemptyset(&pending);
    if (::sigpending(&pending) != 0) return 0;
    int first = 0;
    for (const int signal : kStopSignals) {
        if (sigismember(&pending, signal) != 1) continue;
        if (first == 0) first = signal;
        if (sigismember(&previous, signal) == 1) continue;
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signal);
        const timespec now{};
        ::sigtimedwait(&one, nullptr, &now);
    }
    return first;
}

inline void RestoreMask(const sigset_t& previous) {
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

inline const char* SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        case SIGPIPE:
            return "SIGPIPE";
        case SIGALRM:
            return "SIGALRM";
        default:
            return "signal";
    }
}

}  // namespace hw::posix

#endif  // SRVFW_HW_POSIX_SIGNALS_H

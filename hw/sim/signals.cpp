// The stop signals and SIGPIPE are the process's own in the simulated build
// as well, so the calls are the real ones; each is also recorded, component
// "host": "ignore-sigpipe", "signal-hold", "signal-release" (value = the
// signal the release reported, 0 for none, detail = its name), and
// "signal-restore" when a hold ends without Release.
#include "hw/hw.h"
#include "hw/posix_signals.h"
#include "sim/core/machine.h"

namespace hw {

void IgnoreBrokenPipe() {
    sim::TheMachine().Log().Add({"host", "ignore-sigpipe", 0, 0, 0, ""});
    posix::IgnoreBrokenPipe();
}

StopSignalHold::StopSignalHold() {
    sim::TheMachine().Log().Add({"host", "signal-hold", 0, 0, 0, ""});
    posix::BlockStopSignals(&mPrevious);
}

StopSignalHold::~StopSignalHold() {
    if (mReleased) return;
    sim::TheMachine().Log().Add({"host", "signal-restore", 0, 0, 0, ""});
    posix::RestoreMask(mPrevious);
}

int StopSignalHold::Release() {
    if (mReleased) return 0;
    mReleased = true;
    const int signal = posix::TakePendingStopSignal(mPrevious);
    sim::TheMachine().Log().Add({"host", "signal-release", 0, static_cast<std::uint64_t>(signal), 0,
                                 signal == 0 ? "" : posix::SignalName(signal)});
    posix::RestoreMask(mPrevious);
    return signal;
}

const char* SignalName(int signal) {
    return posix::SignalName(signal);
}

}  // namespace hw

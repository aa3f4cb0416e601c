#include "hw/hw.h"
#include "hw/posix_signals.h"

namespace hw {

void IgnoreBrokenPipe() {
    posix::IgnoreBrokenPipe();
}

StopSignalHold::StopSignalHold() {
    posix::BlockStopSignals(&mPrevious);
}

StopSignalHold::~StopSignalHold() {
    if (!mReleased) posix::RestoreMask(mPrevious);
}

int StopSignalHold::Release() {
    if (mReleased) return 0;
    mReleased = true;
    const int signal = posix::TakePendingStopSignal(mPrevious);
    posix::RestoreMask(mPrevious);
    return signal;
}

const char* SignalName(int signal) {
    return posix::SignalName(signal);
}

}  // namespace hw

// The stop signals (interrupt, terminate, hang-up) are held from the first
// byte written to the read-back, so that none of them cuts a device's
// contents in two. One that arrived stops srvfw once the write is done;
// after a failed write the failure's own message (with the way back) is
// what srvfw stops with.
#ifndef SRVFW_HOST_FRAME_STOP_SIGNALS_WHILE_WRITING_H
#define SRVFW_HOST_FRAME_STOP_SIGNALS_WHILE_WRITING_H

#include <string>
#include <utility>

#include "host/frame/failure.h"
#include "hw/hw.h"

namespace srvfw {

class StopSignalsHeldWhileWriting {
  public:
    // `subject` names what is written in the message: "the FRU".
    explicit StopSignalsHeldWhileWriting(std::string subject) : mSubject(std::move(subject)) {}
    StopSignalsHeldWhileWriting(const StopSignalsHeldWhileWriting&) = delete;
    StopSignalsHeldWhileWriting& operator=(const StopSignalsHeldWhileWriting&) = delete;
    ~StopSignalsHeldWhileWriting() { mHold.Release(); }

    void Finished() {
        if (const int signal = mHold.Release()) {
            throw Failure(ExitCode::kInterrupted,
                          std::string("stopped by ") + hw::SignalName(signal) +
                              ", which arrived while " + mSubject +
                              " was being written; the write was finished and read back first");
        }
    }

  private:
    std::string mSubject;
    hw::StopSignalHold mHold;
};

}  // namespace srvfw

#endif

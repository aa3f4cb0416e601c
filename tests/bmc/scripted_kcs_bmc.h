// A KCS interface whose BMC follows the port protocol but answers each
// request with the next frame of a script, whatever the request was: the
// responses the simulated BMC never gives (a frame too short to hold a
// completion code, a Get Message reply without its framing, bytes from a
// fuzzer). It takes every byte at once and sets OBF only for the bytes the
// host must read. With the script used up it answers with an empty frame.
#ifndef SRVFW_TESTS_BMC_SCRIPTED_KCS_BMC_H
#define SRVFW_TESTS_BMC_SCRIPTED_KCS_BMC_H

#include <cstdint>
#include <deque>
#include <vector>

#include "sim/core/machine.h"

namespace bmc_test {

class ScriptedKcsBmc : public sim::PortHandler {
  public:
    static constexpr std::uint16_t kBase = 0x0CA2;

    // Takes the KCS ports over from whatever answers there.
    ScriptedKcsBmc(sim::Machine& machine, std::deque<std::vector<std::uint8_t>> frames)
        : mPorts(machine.Ports()),
          mPrevious(machine.Ports().HandlerOf(kBase)),
          mFrames(std::move(frames)) {
        if (mPrevious != nullptr) mPorts.Release(kBase, 2);
        mPorts.Claim(kBase, 2, *this);
    }
    ~ScriptedKcsBmc() override {
        mPorts.Release(kBase, 2);
        if (mPrevious != nullptr) mPorts.Claim(kBase, 2, *mPrevious);
    }
    ScriptedKcsBmc(const ScriptedKcsBmc&) = delete;
    ScriptedKcsBmc& operator=(const ScriptedKcsBmc&) = delete;

    const std::vector<std::vector<std::uint8_t>>& Requests() const { return mRequests; }

    std::uint8_t PortIn(std::uint16_t port) override {
        if (port != kBase) return static_cast<std::uint8_t>(mState | (mOutputFull ? 1 : 0));
        mOutputFull = false;
        return mOutput;
    }

    void PortOut(std::uint16_t port, std::uint8_t value) override {
        if (port != kBase) {
            Control(value);
        } else if (mState == kWrite) {
            mRequest.push_back(value);
            if (mLastByte) Answer();
        } else if (mState == kRead && value == kReadByte) {
            NextByte();
        } else if (mAborting && value == 0x00) {
            mAborting = false;
            mFrame = {0x00};  // the status code: no error
            mNext = 0;
            mState = kRead;
            NextByte();
        } else {
            mState = kError;
        }
    }

  private:
    enum State : std::uint8_t { kIdle = 0x00, kRead = 0x40, kWrite = 0x80, kError = 0xC0 };
    static constexpr std::uint8_t kReadByte = 0x68;

    void Control(std::uint8_t code) {
        mLastByte = false;
        mAborting = false;
        if (code == 0x61) {
            mState = kWrite;
            mRequest.clear();
        } else if (code == 0x62 && mState == kWrite) {
            mLastByte = true;
        } else if (code == 0x60) {
            mState = kWrite;
            mAborting = true;
        } else {
            mState = kError;
        }
    }

    void Answer() {
        mLastByte = false;
        mRequests.push_back(mRequest);
        mFrame.clear();
        if (!mFrames.empty()) {
            mFrame = std::move(mFrames.front());
            mFrames.pop_front();
        }
        mNext = 0;
        mState = kRead;
        NextByte();
    }

    void NextByte() {
        if (mNext < mFrame.size()) {
            mOutput = mFrame[mNext++];
        } else {
            mState = kIdle;
            mOutput = 0x00;  // the dummy byte that ends the frame
        }
        mOutputFull = true;
    }

    sim::PortMap& mPorts;
    sim::PortHandler* mPrevious;
    std::deque<std::vector<std::uint8_t>> mFrames;
    std::vector<std::vector<std::uint8_t>> mRequests;
    std::vector<std::uint8_t> mRequest;
    std::vector<std::uint8_t> mFrame;
    std::size_t mNext = 0;
    std::uint8_t mState = kIdle;
    std::uint8_t mOutput = 0;
    bool mOutputFull = false;
    bool mLastByte = false;
    bool mAborting = false;
};

}  // namespace bmc_test

#endif

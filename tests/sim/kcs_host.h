// A minimal host for the simulated KCS interface, written from the host-side
// KCS flow charts of IPMI v2.0 (write transfer, read transfer,
// error exit) and nothing else: it drives the ports through the platform
// layer one byte at a time and notes the state bits it finds after every
// wait, so that tests can say which states the BMC went through.
//
// Waits poll the status register a bounded number of times instead of
// timing out, so that a BMC that never answers ends a test at once.
#ifndef SRVFW_TESTS_SIM_KCS_HOST_H
#define SRVFW_TESTS_SIM_KCS_HOST_H

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "hw/hw.h"
#include "sim/bmc/kcs_interface.h"

namespace simtest {

class KcsHost {
  public:
    enum class Result { kOk, kIbfNeverClear, kObfNeverSet, kWrongState };
    static constexpr unsigned kPollLimit = 1000;

    explicit KcsHost(std::uint16_t base = 0xCA2, unsigned spacing = 1)
        : mData(base), mStatus(static_cast<std::uint16_t>(base + spacing)) {}

    std::uint8_t Status() { return hw::InByte(mStatus); }
    std::uint8_t ReadData() { return hw::InByte(mData); }
    void WriteData(std::uint8_t value) { hw::OutByte(mData, value); }
    void WriteCommand(std::uint8_t value) { hw::OutByte(mStatus, value); }

    // The state bits seen after each wait for IBF, in order.
    const std::vector<std::uint8_t>& States() const { return mStates; }
    void ForgetStates() { mStates.clear(); }

    Result Write(std::span<const std::uint8_t> frame) {
        if (!WaitIbfClear()) return Result::kIbfNeverClear;
        ClearObf();
        WriteCommand(sim::kcs::kWriteStart);
        for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
            if (const Result result = AfterByte(); result != Result::kOk) return result;
            WriteData(frame[i]);
        }
        if (const Result result = AfterByte(); result != Result::kOk) return result;
        WriteCommand(sim::kcs::kWriteEnd);
        if (const Result result = AfterByte(); result != Result::kOk) return result;
        WriteData(frame.back());
        return Result::kOk;
    }

    Result Read(std::vector<std::uint8_t>* response) {
        response->clear();
        for (;;) {
            const auto status = WaitIbfClear();
            if (!status) return Result::kIbfNeverClear;
            const std::uint8_t state = *status & sim::kcs::kStateMask;
            mStates.push_back(state);
            if (state != sim::kcs::kReadState && state != sim::kcs::kIdleState) {
                return Result::kWrongState;
            }
            if (!WaitObfSet()) return Result::kObfNeverSet;
            const std::uint8_t byte = ReadData();
            if (state == sim::kcs::kIdleState) return Result::kOk;  // the dummy byte
            response->push_back(byte);
            WriteData(sim::kcs::kReadByte);
        }
    }

    // The error exit: the status code the BMC reports, none when the
    // sequence did not end in IDLE.
    std::optional<std::uint8_t> ErrorExit() {
        if (!WaitIbfClear()) return std::nullopt;
        WriteCommand(sim::kcs::kGetStatusAbort);
        if (!WaitIbfClear()) return std::nullopt;
        ClearObf();
        WriteData(0x00);
        const auto reading = WaitIbfClear();
        if (!reading || (*reading & sim::kcs::kStateMask) != sim::kcs::kReadState) {
            return std::nullopt;
        }
        if (!WaitObfSet()) return std::nullopt;
        const std::uint8_t code = ReadData();
        WriteData(sim::kcs::kReadByte);
        const auto idle = WaitIbfClear();
        if (!idle || (*idle & sim::kcs::kStateMask) != sim::kcs::kIdleState || !WaitObfSet()) {
            return std::nullopt;
        }
        ClearObf();
        return code;
    }

    // A whole request and its response.
    Result Exchange(std::span<const std::uint8_t> frame, std::vector<std::uint8_t>* response) {
        const Result written = Write(frame);
        return written == Result::kOk ? Read(response) : written;
    }

    std::optional<std::uint8_t> WaitIbfClear() {
        for (unsigned poll = 0; poll < kPollLimit; ++poll) {
            const std::uint8_t status = Status();
            if ((status & sim::kcs::kIbf) == 0) return status;
        }
        return std::nullopt;
    }
    bool WaitObfSet() {
        for (unsigned poll = 0; poll < kPollLimit; ++poll) {
            if (Status() & sim::kcs::kObf) return true;
        }
        return false;
    }
    void ClearObf() {
        if (Status() & sim::kcs::kObf) ReadData();
    }

  private:
    // After a byte or control code of a write transfer: the BMC must have
    // taken it and still be in WRITE.
    Result AfterByte() {
        const auto status = WaitIbfClear();
        if (!status) return Result::kIbfNeverClear;
        mStates.push_back(*status & sim::kcs::kStateMask);
        if ((*status & sim::kcs::kStateMask) != sim::kcs::kWriteState) return Result::kWrongState;
        ClearObf();
        return Result::kOk;
    }

    std::uint16_t mData;
    std::uint16_t mStatus;
    std::vector<std::uint8_t> mStates;
};

}  // namespace simtest

#endif

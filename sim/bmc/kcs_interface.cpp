#include "sim/bmc/kcs_interface.h"

#include <cstdio>
#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim {

namespace kcs {

const char* StateName(std::uint8_t state) {
    switch (state & kStateMask) {
        case kIdleState:
            return "IDLE";
        case kReadState:
            return "READ";
        case kWriteState:
            return "WRITE";
        default:
            return "ERROR";
    }
}

}  // namespace kcs

namespace {

constexpr std::uint8_t kDummy = 0x00;
constexpr std::size_t kFrameHeader = 2;  // netFn/LUN, command

std::optional<std::uint64_t> OptionalNumber(const Settings& settings, const std::string& key,
                                            std::uint64_t max) {
    const std::string text = settings.Get(key, "");
    if (text.empty()) return std::nullopt;
    return SettingNumber(key, text, max);
}

std::string Hex(const char* format, unsigned value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

KcsConfig KcsConfig::FromSettings(const Settings& settings) {
    KcsConfig config;
    config.present = SettingNumber(settings, "kcs.present", 1, 1) != 0;
    config.spacing = static_cast<unsigned>(SettingNumber(settings, "kcs.spacing", 1, 16));
    if (config.spacing != 1 && config.spacing != 4 && config.spacing != 16) {
        throw std::invalid_argument("kcs.spacing: 1, 4 or 16 bytes");
    }
    config.base = static_cast<std::uint16_t>(
        SettingNumber(settings, "kcs.base", 0xCA2, 0xFFFF - config.spacing));
    config.maxRequest = SettingNumber(settings, "kcs.max_request", 256, 0xFFFF);
    if (config.maxRequest < kFrameHeader) {
        throw std::invalid_argument("kcs.max_request: a request holds at least 2 bytes");
    }
    config.ibfPolls =
        static_cast<unsigned>(SettingNumber(settings, "kcs.ibf_polls", 0, 1'000'000'000));
    config.logStates = SettingNumber(settings, "kcs.log_states", 0, 1) != 0;
    config.ibfStuck = SettingNumber(settings, "kcs.fault.ibf_stuck", 0, 1) != 0;
    config.stopAfter = OptionalNumber(settings, "kcs.fault.stop_after", UINT64_MAX);
    config.readErrorAfter = OptionalNumber(settings, "kcs.fault.read_error_after", 0xFFFF);
    config.readErrorTimes =
        FaultCount::FromSetting(settings, "kcs.fault.read_error_times", FaultCount::Always());
    config.errorCode =
        static_cast<std::uint8_t>(SettingNumber(settings, "kcs.fault.error_code", 0xFF, 0xFF));
    return config;
}

KcsInterface::KcsInterface(Machine& machine, Bmc& bmc)
    : mMachine(machine), mBmc(bmc), mConfig(KcsConfig::FromSettings(machine.Config())) {
    if (mConfig.present) {
        machine.Ports().Claim(mConfig.base, 1, *this);
        machine.Ports().Claim(static_cast<std::uint16_t>(mConfig.base + mConfig.spacing), 1, *this);
    }
    mInputFull = mConfig.ibfStuck;
}

// ------------------------------------------------------------ the host's side

std::uint8_t KcsInterface::Status() const {
    return static_cast<std::uint8_t>(mState | (mCommand ? kcs::kCommandData : 0) |
                                     (mBmc.Attention() ? kcs::kSmsAtn : 0) |
                                     (mInputFull ? kcs::kIbf : 0) | (mOutputFull ? kcs::kObf : 0));
}

void KcsInterface::NoteUnderDriver(std::uint16_t port, std::uint8_t value, bool write) {
    if (!mMachine.Host().ModuleLoaded("ipmi_si")) return;
    if (!write && mLastReadUnderDriver == port) return;
    mLastReadUnderDriver = write ? std::nullopt : std::optional<std::uint16_t>(port);
    mMachine.Log().Add({"kcs", "ports used under the kernel driver", port, value, write ? 1u : 0u,
                        write ? "write" : "read"});
}

std::uint8_t KcsInterface::PortIn(std::uint16_t port) {
    if (port == mConfig.base) {
        mOutputFull = false;
        NoteUnderDriver(port, mOutput, false);
        return mOutput;
    }
    NoteUnderDriver(port, Status(), false);
    // The slow BMC notices the byte once the host has seen IBF set often
    // enough.
    if (mAwaitingTake) {
        if (mPollsLeft == 0) {
            mAwaitingTake = false;
            Take();
        } else {
            --mPollsLeft;
        }
    }
    return Status();
}

void KcsInterface::PortOut(std::uint16_t port, std::uint8_t value) {
    NoteUnderDriver(port, value, true);
    HostWrite(value, port != mConfig.base);
}

void KcsInterface::HostWrite(std::uint8_t value, bool command) {
    if (mInputFull) {
        mMachine.Log().Add({"kcs", "overrun", 0, value, 0,
                            Hex("%02Xh replaces a byte the BMC had not taken", value)});
    }
    mInput = value;
    mCommand = command;
    mInputFull = true;
    if (mConfig.ibfStuck || mStopped || mAwaitingTake) return;
    if (mConfig.stopAfter && mTaken == *mConfig.stopAfter) {
        mStopped = true;
        mMachine.Log().Add({"kcs", "stopped", 0, mTaken, 0, "the BMC takes no more bytes"});
        return;
    }
    if (mConfig.ibfPolls == 0) {
        Take();
    } else {
        mAwaitingTake = true;
        mPollsLeft = mConfig.ibfPolls;
    }
}

// ------------------------------------------------------------ the BMC's side

void KcsInterface::Take() {
    mInputFull = false;
    ++mTaken;
    if (mCommand) {
        TakeControlCode(mInput);
    } else {
        TakeData(mInput);
    }
}

void KcsInterface::TakeControlCode(std::uint8_t code) {
    switch (code) {
        case kcs::kWriteStart:
            mPhase = Phase::kWriting;
            mStatusCode = kcs::kNoError;
            mRequest.clear();
            mResponse.clear();
            SetState(kcs::kWriteState);
            Output(kDummy);
            return;
        case kcs::kWriteEnd:
            if (mPhase != Phase::kWriting || mRequest.empty()) {
                EnterError(kcs::kIllegalControlCode, mPhase == Phase::kWriting
                                                         ? "WRITE_END before any data byte"
                                                         : "WRITE_END outside a write transfer");
                return;
            }
            mPhase = Phase::kLastByte;
            SetState(kcs::kWriteState);
            Output(kDummy);
            return;
        case kcs::kGetStatusAbort: {
            const bool inProgress = mPhase != Phase::kIdle && mPhase != Phase::kError;
            if (mStatusCode == kcs::kNoError && inProgress) mStatusCode = kcs::kAbortedByCommand;
            mMachine.Log().Add({"kcs", "abort", mStatusCode, 0, 0, kcs::StateName(mState)});
            mPhase = Phase::kAbortStatus;
            mRequest.clear();
            mResponse.clear();
            SetState(kcs::kWriteState);
            Output(kDummy);
            return;
        }
        default:
            EnterError(kcs::kIllegalControlCode, Hex("illegal control code %02Xh", code));
    }
}

void KcsInterface::TakeData(std::uint8_t value) {
    switch (mPhase) {
        case Phase::kWriting:
        case Phase::kLastByte:
            if (mRequest.size() >= mConfig.maxRequest) {
                EnterError(kcs::kLengthError,
                           "request longer than " + std::to_string(mConfig.maxRequest) + " bytes");
                return;
            }
            mRequest.push_back(value);
            if (mPhase == Phase::kLastByte) {
                FinishRequest();
            } else {
                SetState(kcs::kWriteState);
                Output(kDummy);
            }
            return;
        case Phase::kReading:
            if (value != kcs::kReadByte) {
                EnterError(kcs::kIllegalControlCode,
                           Hex("data byte %02Xh while reading, READ expected", value));
                return;
            }
            SendNextResponseByte();
            return;
        case Phase::kAbortStatus:
            if (value != 0) {
                EnterError(kcs::kUnspecifiedError,
                           Hex("data byte %02Xh after GET_STATUS/ABORT, 00h expected", value));
                return;
            }
            mPhase = Phase::kAbortIdle;
            SetState(kcs::kReadState);
            Output(mStatusCode);
            return;
        case Phase::kAbortIdle:
            if (value != kcs::kReadByte) {
                EnterError(kcs::kIllegalControlCode,
                           Hex("data byte %02Xh after the status byte, READ expected", value));
                return;
            }
            mPhase = Phase::kIdle;
            mStatusCode = kcs::kNoError;
            SetState(kcs::kIdleState);
            Output(kDummy);
            return;
        case Phase::kIdle:
            EnterError(kcs::kUnspecifiedError, Hex("data byte %02Xh outside a transfer", value));
            return;
        case Phase::kError:
            // The interface stays in ERROR until the host aborts or starts
            // anew; the byte changes nothing.
            return;
    }
}

void KcsInterface::FinishRequest() {
    // WRITE_END takes at least one data byte before it, so a request holds
    // at least netFn and command.
    const ipmi::Request request{static_cast<std::uint8_t>(mRequest[0] >> 2),
                                static_cast<std::uint8_t>(mRequest[0] & 3),
                                mRequest[1],
                                std::span(mRequest).subspan(kFrameHeader),
                                ipmi::Origin::kSystemInterface,
                                0};
    const ipmi::Response response = mBmc.Process(request);
    if (response.silent) {
        // The BMC's firmware took the request and hung: no response ever
        // reaches the data register, and no later byte is taken.
        char head[48];
        std::snprintf(head, sizeof head, "netfn=%02X lun=%u cmd=%02X data=[", request.netFn,
                      request.lun, request.cmd);
        mMachine.Log().Add({"kcs", "request", request.netFn, request.cmd, 0,
                            head + ipmi::HexBytes(request.data) + "] -> no answer"});
        mStopped = true;
        mMachine.Log().Add({"kcs", "stopped", 0, mTaken, 0, "the BMC stopped answering"});
        return;
    }
    mMachine.Log().Add(
        {"kcs", "request", request.netFn, request.cmd, 0, ipmi::FormatExchange(request, response)});
    mResponse = {static_cast<std::uint8_t>((request.netFn | 1) << 2 | request.lun), request.cmd,
                 response.completionCode};
    mResponse.insert(mResponse.end(), response.data.begin(), response.data.end());
    mNextResponseByte = 0;
    mPhase = Phase::kReading;
    SendNextResponseByte();
}

void KcsInterface::SendNextResponseByte() {
    if (mConfig.readErrorAfter && mNextResponseByte == *mConfig.readErrorAfter &&
        mNextResponseByte < mResponse.size() && mConfig.readErrorTimes.Strike()) {
        EnterError(mConfig.errorCode, "read error after " + std::to_string(mNextResponseByte) +
                                          " response bytes (injected)");
        return;
    }
    if (mNextResponseByte == mResponse.size()) {
        mPhase = Phase::kIdle;
        SetState(kcs::kIdleState);
        Output(kDummy);
        return;
    }
    SetState(kcs::kReadState);
    Output(mResponse[mNextResponseByte++]);
}

void KcsInterface::SetState(std::uint8_t state) {
    if (mConfig.logStates && state != mState) {
        mMachine.Log().Add({"kcs", "state", mState, state, 0,
                            std::string(kcs::StateName(mState)) + " -> " + kcs::StateName(state)});
    }
    mState = state;
}

void KcsInterface::Output(std::uint8_t value) {
    mOutput = value;
    mOutputFull = true;
}

void KcsInterface::EnterError(std::uint8_t code, const std::string& reason) {
    mMachine.Log().Add({"kcs", "error", code, 0, 0, reason});
    mPhase = Phase::kError;
    mStatusCode = code;
    mRequest.clear();
    mResponse.clear();
    SetState(kcs::kErrorState);
    Output(kDummy);
}

void KcsInterface::Describe(std::ostream& out) const {
    if (!mConfig.present) {
        out << "    not present: nothing answers at the KCS ports\n";
        return;
    }
    char line[128];
    std::snprintf(line, sizeof line,
                  "    ports %04Xh (data) and %04Xh (status/command), state %s, status %02Xh\n",
                  mConfig.base, mConfig.base + mConfig.spacing, kcs::StateName(mState), Status());
    out << line;
    out << "    input buffer " << mConfig.maxRequest << " bytes; takes a byte after "
        << mConfig.ibfPolls << " status polls\n";
    if (mConfig.ibfStuck) out << "    fault: IBF stuck at 1\n";
    if (mConfig.stopAfter) out << "    fault: stops after " << *mConfig.stopAfter << " bytes\n";
    if (mConfig.readErrorAfter) {
        std::snprintf(line, sizeof line,
                      "    fault: ERROR (status %02Xh) after %zu response bytes, ",
                      mConfig.errorCode, *mConfig.readErrorAfter);
        out << line << mConfig.readErrorTimes.Describe() << "\n";
    }
}

}  // namespace sim

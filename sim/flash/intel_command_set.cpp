#include "sim/flash/intel_command_set.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <span>
#include <sstream>

namespace sim {

namespace {

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
constexpr unsigned kWordBytes = 2;
// Words of a block that the identifier mode answers at.
constexpr std::uint64_t kManufacturerWord = 0;
constexpr std::uint64_t kDeviceWord = 1;
constexpr std::uint64_t kLockStateWord = 2;

bool Hits(const std::vector<std::uint64_t>& offsets, std::uint64_t start, std::uint64_t bytes) {
    return std::any_of(offsets.begin(), offsets.end(), [&](std::uint64_t offset) {
        return offset >= start && offset - start < bytes;
    });
}

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

const char* ModeName(IntelCommandSet::Mode mode) {
    switch (mode) {
        case IntelCommandSet::Mode::kStatus:
            return "status";
        case IntelCommandSet::Mode::kIdentifier:
            return "identifier";
        case IntelCommandSet::Mode::kArray:
            break;
    }
    return "array";
}

}  // namespace

IntelCommandSet::IntelCommandSet(FlashPart& part, BlockLocks& locks, const VirtualClock& clock,
                                 IntelTimings timings, IntelFaults faults)
    : mPart(part),
      mLocks(locks),
      mClock(clock),
      mTimings(timings),
      mFaults(std::move(faults)),
      mBusBytes(part.Chip().commands == FlashCommandSet::kIntelWordProgram ? kWordBytes : 1) {}

bool IntelCommandSet::Takes(const FlashChip& chip) {
    return chip.commands == FlashCommandSet::kIntelByteProgram ||
           chip.commands == FlashCommandSet::kIntelWordProgram;
}

bool IntelCommandSet::Busy() const {
    return mHung || mClock.NowNs() < mBusyUntilNs;
}

std::uint8_t IntelCommandSet::Status() const {
    return static_cast<std::uint8_t>((Busy() ? 0 : mStatus) | mFaults.statusStuck);
}

CommandCycle IntelCommandSet::Write(std::uint64_t offset, std::uint16_t value) {
    // The command is on the low data lines on both forms; the 16-bit part
    // takes the whole word only as program data.
    const auto command = static_cast<std::uint8_t>(value & 0xFF);
    if (Busy()) {
        // The write state machine takes nothing but a status read until it
        // is done.
        if (command == intel::kReadStatus && mSetup == Setup::kNone) {
            mMode = Mode::kStatus;
            return {"read-status", ""};
        }
        return {"ignored", "busy"};
    }
    const Setup setup = std::exchange(mSetup, Setup::kNone);
    switch (setup) {
        case Setup::kProgram:
            return Program(offset, value);
        case Setup::kErase:
            if (command == intel::kConfirm) return Erase(offset);
            break;
        case Setup::kLock:
            if (command == intel::kLockBlock || command == intel::kConfirm ||
                command == intel::kLockDownBlock)
                return Lock(offset, command);
            break;
        case Setup::kNone:
            return Command(command);
    }
    // A setup cycle not followed by its confirm: the part reports a bad
    // command sequence and does nothing.
    mStatus |= intel::kEraseError | intel::kProgramError;
    mMode = Mode::kStatus;
    return {"bad-sequence", "no confirm: " + Hex(command)};
}

CommandCycle IntelCommandSet::Command(std::uint8_t command) {
    switch (command) {
        case intel::kProgramSetup:
        case intel::kProgramAlternate:
            mSetup = Setup::kProgram;
            mMode = Mode::kStatus;
            return {};
        case intel::kEraseSetup:
            mSetup = Setup::kErase;
            mMode = Mode::kStatus;
            return {};
        case intel::kLockSetup:
            if (mBusBytes != kWordBytes) break;  // the firmware hub locks by register
            mSetup = Setup::kLock;
            return {};
        case intel::kReadStatus:
            mMode = Mode::kStatus;
            return {"read-status", ""};
        case intel::kClearStatus:
            mStatus &= static_cast<std::uint8_t>(~intel::kErrorBits);
            return {"clear-status", ""};
        case intel::kReadArray:
            mMode = Mode::kArray;
            return {"read-array", ""};
        case intel::kReadIdentifier:
            mMode = Mode::kIdentifier;
            return {"read-id", ""};
        default:
            break;
    }
    return {"ignored", "unknown command " + Hex(command)};
}

std::string IntelCommandSet::Refusal(std::size_t block, std::uint8_t errorBit) {
    if (mFaults.vppLow) {
        mStatus |= intel::kVppLow | errorBit;
        return "programming voltage low";
    }
    if (mLocks.WriteLocked(block)) {
        mStatus |= intel::kLockedBlock | errorBit;
        return "locked block";
    }
    return "";
}

void IntelCommandSet::Start(std::uint64_t durationNs, bool hangs) {
    mHung = hangs;
    mBusyUntilNs = mClock.NowNs() + durationNs;
}

CommandCycle IntelCommandSet::Program(std::uint64_t offset, std::uint16_t value) {
    mMode = Mode::kStatus;
    const auto block = mLocks.BlockAt(offset);
    if (!block || offset + mBusBytes > mPart.Cells().Size()) return {"program", "outside the part"};
    if (std::string reason = Refusal(*block, intel::kProgramError); !reason.empty())
        return {"program", reason};
    if (Hits(mFaults.programHangs, offset, mBusBytes)) {
        Start(kNever, true);
        return {"program", "never finishes"};
    }
    Start(mTimings.programNs, false);
    if (Hits(mFaults.programFails, offset, mBusBytes)) {
        mStatus |= intel::kProgramError;
        return {"program", "program fails"};
    }
    const std::uint8_t data[kWordBytes] = {static_cast<std::uint8_t>(value & 0xFF),
                                           static_cast<std::uint8_t>(value >> 8)};
    mPart.Cells().Program(offset, std::span<const std::uint8_t>(data, mBusBytes));
    return {"program", ""};
}

CommandCycle IntelCommandSet::Erase(std::uint64_t offset) {
    mMode = Mode::kStatus;
    const auto block = mLocks.BlockAt(offset);
    if (!block) return {"erase", "outside the part"};
    if (std::string reason = Refusal(*block, intel::kEraseError); !reason.empty())
        return {"erase", reason};
    const std::uint64_t start = mLocks.Start(*block);
    const std::uint64_t bytes = mLocks.Bytes(*block);
    if (Hits(mFaults.eraseHangs, start, bytes)) {
        Start(kNever, true);
        return {"erase", "never finishes"};
    }
    Start(mTimings.eraseNs, false);
    if (Hits(mFaults.eraseFails, start, bytes)) {
        mStatus |= intel::kEraseError;
        return {"erase", "erase fails"};
    }
    mPart.Cells().Erase(start, bytes);
    return {"erase", ""};
}

CommandCycle IntelCommandSet::Lock(std::uint64_t offset, std::uint8_t command) {
    const auto block = mLocks.BlockAt(offset);
    if (!block) return {"lock-command", "outside the part"};
    std::uint8_t bits = kWriteLock;
    if (command == intel::kConfirm) bits = 0;
    if (command == intel::kLockDownBlock) bits = kWriteLock | kLockDown;
    // A locked-down block keeps its state until power-off (its WP# input
    // is tied low on these boards, so lock-down is never overridden).
    if (!mLocks.Set(*block, bits)) return {"lock-command", "locked down"};
    return {"lock-command", ""};
}

std::uint16_t IntelCommandSet::IdentifierWord(std::uint64_t offset) const {
    const FlashChip& chip = mPart.Chip();
    const auto block = mLocks.BlockAt(offset);
    const std::uint64_t word = block ? (offset - mLocks.Start(*block)) / kWordBytes : 0;
    if (word == kManufacturerWord) return chip.manufacturerId;
    if (word == kDeviceWord) return chip.deviceId;
    if (word == kLockStateWord && block)
        return static_cast<std::uint16_t>(mLocks.Bits(*block) & (kWriteLock | kLockDown));
    return 0;
}

std::uint8_t IntelCommandSet::ReadByte(std::uint64_t offset) const {
    const unsigned lane = mBusBytes == kWordBytes ? offset % kWordBytes : 0;
    switch (mMode) {
        case Mode::kStatus:
            // The status sits on the low data lines; the high ones read 0.
            return lane == 0 ? Status() : 0;
        case Mode::kIdentifier:
            if (mBusBytes == kWordBytes) {
                const std::uint16_t word = IdentifierWord(offset - lane);
                return static_cast<std::uint8_t>(word >> (8 * lane));
            }
            return static_cast<std::uint8_t>(offset % 2 == 0 ? mPart.Chip().manufacturerId
                                                             : mPart.Chip().deviceId);
        case Mode::kArray:
            break;
    }
    if (offset >= mPart.Cells().Size()) return 0xFF;
    // A read-locked block of a firmware hub answers 00h, whatever it holds.
    if (const auto block = mLocks.BlockAt(offset); block && mLocks.ReadLocked(*block)) return 0;
    return mPart.Cells().Bytes(offset, 1)[0];
}

std::string IntelCommandSet::FormatState() const {
    std::ostringstream out;
    out << "mode=" << ModeName(mMode) << "\nstatus=" << Hex(mStatus) << "\nhung=" << (mHung ? 1 : 0)
        << "\n";
    return out.str();
}

void IntelCommandSet::ParseState(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "mode") {
            for (const Mode mode : {Mode::kArray, Mode::kStatus, Mode::kIdentifier}) {
                if (value == ModeName(mode)) mMode = mode;
            }
        } else if (key == "status") {
            char* end = nullptr;
            const unsigned long status = std::strtoul(value.c_str(), &end, 16);
            if (!value.empty() && *end == '\0' && status <= 0xFF)
                mStatus = static_cast<std::uint8_t>(status);
        } else if (key == "hung") {
            mHung = value == "1";
        }
    }
}

}  // namespace sim

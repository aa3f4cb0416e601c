#include "sim/chipset/memory_window.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sim/chipset/flash_cycle_log.h"

namespace sim {

namespace {

constexpr char kWindowRegion[] = "bios-flash-window";
constexpr char kRegisterRegion[] = "fwh-registers";
constexpr char kStateFile[] = "memory-window.state";
constexpr char kLocksKey[] = "locks=";
constexpr unsigned kWordBytes = 2;
constexpr std::uint8_t kFloating = 0xFF;  // what a read that reaches no cell returns

}  // namespace

MemoryWindow::MemoryWindow(Machine& machine, FlashPart& part, const BiosRange& range,
                           MemoryWindowConfig config)
    : mMachine(machine),
      mPart(part),
      mRange(range),
      mBase(kTop - part.Cells().Size()),
      mLocks(part.Chip(), IntelCommandSet::Takes(part.Chip()) ? kWriteLock : 0) {
    const FlashChip& chip = part.Chip();
    if (IntelCommandSet::Takes(chip)) {
        mCommands = std::make_unique<IntelCommandSet>(part, mLocks, machine.Clock(), config.timings,
                                                      std::move(config.faults));
        LockAtPost(config);
    }
    machine.Memory().AddMmio(kWindowRegion, mBase, part.Cells().Size(), *this);
    // The firmware hub's register space; a larger part would cover it.
    if (mCommands && chip.bus == FlashBus::kFwh &&
        part.Cells().Size() <= FwhLockRegisters::kBelowWindow) {
        const std::uint64_t registers = mBase - FwhLockRegisters::kBelowWindow;
        mLockRegisters.emplace(machine.Log(), range, mLocks, registers);
        machine.Memory().AddMmio(kRegisterRegion, registers, part.Cells().Size(), *mLockRegisters);
    }
}

MemoryWindow::~MemoryWindow() {
    mMachine.Memory().Remove(kWindowRegion);
    if (mLockRegisters) mMachine.Memory().Remove(kRegisterRegion);
}

// The parts power up with every block write-locked; the BIOS unlocks them
// at POST so that an updater can reach them, and leaves locked (or locks
// down) the ones its setup says.
void MemoryWindow::LockAtPost(const MemoryWindowConfig& config) {
    for (std::size_t block = 0; block < mLocks.Count(); ++block) mLocks.Set(block, 0);
    const auto lock = [&](const std::vector<std::uint64_t>& offsets, std::uint8_t bits) {
        for (const std::uint64_t offset : offsets) {
            if (const auto block = mLocks.BlockAt(offset)) mLocks.Set(*block, bits);
        }
    };
    lock(config.locked, kWriteLock);
    lock(config.lockedDown, kWriteLock | kLockDown);
}

std::optional<std::uint64_t> MemoryWindow::PartOffset(std::uint64_t address) const {
    // Top swap can send an address of a part smaller than the two swapped
    // blocks below the part.
    const std::uint64_t decoded = mRange.Decode(address);
    if (decoded < mBase || decoded - mBase >= mPart.Cells().Size()) return std::nullopt;
    return decoded - mBase;
}

std::uint32_t MemoryWindow::MmioRead(std::uint64_t offset, unsigned width) {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) {
        const auto at = PartOffset(mBase + offset + i);
        std::uint8_t byte = kFloating;
        if (at) byte = mCommands ? mCommands->ReadByte(*at) : mPart.Cells().Bytes(*at, 1)[0];
        value |= std::uint32_t{byte} << (8 * i);
    }
    return value;
}

void MemoryWindow::Cycle(const FlashCycle& cycle, std::uint16_t data) {
    const auto at = PartOffset(cycle.address);
    if (!at) return LogDroppedWrite(mMachine.Log(), cycle, "outside the part");
    const CommandCycle done = mCommands->Write(*at, data);
    if (!done.operation.empty())
        LogFlashCycle(mMachine.Log(), done.operation, cycle, *at, done.reason);
}

void MemoryWindow::MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) {
    const FlashCycle cycle{mBase + offset, value, width};
    RequestLog& log = mMachine.Log();
    if (mPart.Chip().bus == FlashBus::kSpi) return LogDroppedWrite(log, cycle, "SPI part");
    if (!mCommands) return LogDroppedWrite(log, cycle, "no command set");
    if (!mRange.WritesEnabled()) return LogDroppedWrite(log, cycle, "writes disabled");
    if (mCommands->BusBytes() == 1) {
        // The bridge carries a wider write to the 8-bit part as byte
        // cycles in address order.
        for (unsigned i = 0; i < width; ++i) {
            const auto byte = static_cast<std::uint8_t>(value >> (8 * i));
            Cycle({cycle.address + i, byte, 1}, byte);
        }
        return;
    }
    if (width == 1 || cycle.address % kWordBytes != 0)
        return LogDroppedWrite(log, cycle, "not a word cycle");
    for (unsigned i = 0; i < width; i += kWordBytes) {
        const auto word = static_cast<std::uint16_t>(value >> (8 * i));
        Cycle({cycle.address + i, word, kWordBytes}, word);
    }
}

void MemoryWindow::LoadState(const std::filesystem::path& dir) {
    if (!mCommands) return;
    std::ifstream in(dir / kStateFile);
    if (!in) return;
    std::ostringstream text;
    text << in.rdbuf();
    mCommands->ParseState(text.str());
    std::istringstream lines(text.str());
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(kLocksKey, 0) == 0) mLocks.Parse(line.substr(sizeof kLocksKey - 1));
    }
}

void MemoryWindow::SaveState(const std::filesystem::path& dir) const {
    if (!mCommands) return;
    std::ofstream out(dir / kStateFile, std::ios::trunc);
    out << mCommands->FormatState() << kLocksKey << mLocks.Format() << "\n";
}

void MemoryWindow::Describe(std::ostream& out) const {
    char line[96];
    std::snprintf(line, sizeof line, "    %s at 0x%08llX, %u KB\n",
                  std::string(mPart.Chip().name).c_str(), static_cast<unsigned long long>(mBase),
                  static_cast<unsigned>(mPart.Cells().Size() / 1024));
    out << line;
    if (!mCommands) {
        out << "    read only through the window\n";
        return;
    }
    std::snprintf(line, sizeof line, "    status %02Xh%s\n", mCommands->Status(),
                  mCommands->Busy() ? " (busy)" : "");
    out << line << "    block locks " << mLocks.Format() << "\n";
}

void AddMemoryWindow(Machine& machine, FlashPart& biosFlash) {
    const BiosRange* range = machine.Find<BiosRange>();
    if (range == nullptr)
        throw std::logic_error("the memory window needs the chipset's BIOS range");
    const std::uint64_t bytes = biosFlash.Cells().Size();
    if (bytes == 0) return;
    const std::uint64_t base = MemoryWindow::kTop - bytes;
    machine.Add<MemoryWindow>(biosFlash, *range,
                              MemoryWindowConfig::FromSettings(machine.Config(), base, bytes));
}

}  // namespace sim

// One FRU storage device of the simulated server, as its configuration
// (sim/bmc/fru/fru_storage.h lists the settings) describes it: a logical FRU device
// a controller serves with the FRU inventory commands, or a serial EEPROM on
// a controller's bus that Master Write-Read reaches. It holds the cells and
// decides, for each transfer, what the hardware answers before the cells
// are touched: busy, over-long requests, protected and failing cells, and
// writes that are acknowledged but not kept.
#ifndef SRVFW_SIM_BMC_FRU_FRU_DEVICE_H
#define SRVFW_SIM_BMC_FRU_FRU_DEVICE_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/core/fault_count.h"
#include "sim/core/settings.h"

namespace sim::fru {

enum class DeviceKind {
    kLogical,    // Get FRU Inventory Area Info / Read / Write FRU Data
    kAddress16,  // EEPROM: Master Write-Read with two address bytes (high, low)
    kCommand17,  // EEPROM: Master Write-Read with command 17h and one address byte
};

enum class Direction { kRead, kWrite };

enum class Initial { kSample, kErased, kZero };

struct ByteRange {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    bool Overlaps(std::uint32_t start, std::uint32_t count) const {
        return start < offset + length && offset < start + count;
    }
};

struct OffsetFault {
    std::uint32_t offset = 0;
    std::uint8_t code = 0;
};

// A write covering offset takes only its first bytes: those before offset,
// or keep of them when keep is given.
struct ShortWrite {
    std::uint32_t offset = 0;
    std::optional<std::uint32_t> keep;
    FaultCount times = FaultCount::Times(1);
};

// A signal the process receives once a write covering offset is stored.
struct WriteSignal {
    std::uint32_t offset = 0;
    int signal = 0;
    std::string name;  // "SIGTERM"
    FaultCount times = FaultCount::Times(1);
};

struct DeviceConfig {
    std::string name;
    std::string controller;  // "bmc" or a satellite's name
    DeviceKind kind = DeviceKind::kLogical;
    std::uint8_t deviceId = 0;  // logical devices
    std::uint8_t bus = 0;       // EEPROMs: the bus ID byte of Master Write-Read
    std::uint8_t address = 0;   // EEPROMs: slave address
    std::uint32_t size = 0;
    std::string file;  // in the state directory
    Initial initial = Initial::kSample;
    std::uint32_t maxRead = 32;
    std::uint32_t maxWrite = 32;
    bool shortReads = false;  // an over-long read returns maxRead bytes
    std::uint8_t readLimitCode = 0xCA;
    std::uint8_t writeLimitCode = 0xC7;
    std::vector<ByteRange> writeProtected;
    std::uint32_t page = 0;  // EEPROMs: page writes wrap inside pages of this size
    CodedFault readBusy;
    CodedFault writeBusy;
    std::vector<OffsetFault> readFail;
    std::vector<OffsetFault> writeFail;
    std::vector<ByteRange> lostWrite;
    std::vector<ShortWrite> shortWrite;
    std::optional<std::uint32_t> silentWrite;
    std::vector<WriteSignal> writeSignals;

    bool IsMemory() const { return kind != DeviceKind::kLogical; }

    // Every device the settings describe. Throws std::invalid_argument
    // naming the setting that cannot be understood or cannot be built (an
    // unknown controller, two devices at one place, a size the access
    // cannot address).
    static std::vector<DeviceConfig> FromSettings(const Settings& settings,
                                                  const std::vector<std::string>& controllers);
};

// The bus a Master Write-Read bus ID byte selects: for a private bus (bit 0
// set) bits 3:1, the channel bits being ignored; for a public bus the
// channel, bits 7:4.
std::uint8_t BusKey(std::uint8_t busIdByte);

class FruDevice {
  public:
    // The refusal of a transfer: its completion code and why.
    struct Answer {
        std::uint8_t completionCode = 0;
        std::string note;
    };

    explicit FruDevice(DeviceConfig config);

    const DeviceConfig& Config() const { return mConfig; }
    const std::string& Name() const { return mConfig.name; }
    std::uint32_t Size() const { return mConfig.size; }
    std::span<const std::uint8_t> Contents() const { return mCells; }

    // Puts an image at offset 0 and erases (FFh) the cells after it, as a
    // programmer would; false, the contents unchanged, when it is larger
    // than the device.
    bool Fill(std::span<const std::uint8_t> image);

    // The checks of one transfer, in the order a controller makes them.
    std::optional<Answer> Busy(Direction direction);
    // length: a read's count, a write's data bytes.
    std::optional<Answer> OverLimit(Direction direction, std::uint32_t length) const;
    // Write protection and failing cells of the range.
    std::optional<Answer> Refused(Direction direction, std::uint32_t offset,
                                  std::uint32_t length) const;
    // Whether a write of the range is acknowledged but not kept.
    bool LosesWrite(std::uint32_t offset, std::uint32_t length) const;
    // Whether the write of the range hangs the controller (silent_write).
    bool StopsController(std::uint32_t offset, std::uint32_t length) const;
    // How many bytes of a write of the range the device keeps when a short
    // write strikes (fewer than length); nothing when it takes them all.
    std::optional<std::uint32_t> ShortensWrite(std::uint32_t offset, std::uint32_t length);
    // The signal a stored write of the range brings, when one strikes.
    const WriteSignal* SignalsWrite(std::uint32_t offset, std::uint32_t length);

    // The cells themselves; offsets wrap at the end of the device, as an
    // EEPROM's address counter does (callers of logical devices keep inside).
    std::vector<std::uint8_t> Read(std::uint32_t offset, std::uint32_t count) const;
    // Wraps inside its page when the device has pages. Returns the cell
    // after the last one written.
    std::uint32_t Write(std::uint32_t offset, std::span<const std::uint8_t> data);

    // An EEPROM's address counter: where a read without an address goes on.
    std::uint32_t AddressCounter() const { return mAddressCounter; }
    void SetAddressCounter(std::uint32_t cell) { mAddressCounter = cell % mConfig.size; }

    // The contents file in the state directory: loaded when it is there
    // (Fill's rules), written whole.
    void Load(const std::filesystem::path& dir);
    bool Save(const std::filesystem::path& dir) const;

  private:
    // The cell the i-th byte of a transfer from offset reaches.
    std::uint32_t CellOf(Direction direction, std::uint32_t offset, std::uint32_t i) const;

    DeviceConfig mConfig;
    std::vector<std::uint8_t> mCells;
    std::uint32_t mAddressCounter = 0;
};

}  // namespace sim::fru

#endif

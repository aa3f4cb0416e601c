// Chunked reads and writes of a FRU's storage through the BMC.
//
// What a controller hands back is checked before a byte of it is used: a
// Read FRU Data answer gives its bytes as a count byte and that many bytes,
// and an answer whose count is 0, larger than what was asked or larger than
// the bytes that came gives nothing and fails the read. A short count is
// taken as it is (a controller may return less than asked, at the end of a
// device for instance): the next chunk continues after the bytes returned.
// A Write FRU Data answer's count written is checked the same way (see the
// header): a short count continues after the bytes taken.
//
// Writes to serial EEPROMs never cross an 8-byte boundary: such a part
// programs one page per write and wraps inside the page, so a chunk that
// crossed would overwrite the start of its page with its tail. Logical FRU
// devices are written in plain chunks; the controller behind them decides
// how its storage is programmed.
#include "orvel/fru_device_access.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "bmc/ipmi_numbers.h"
#include "bmc/trace.h"
#include "hw/hw.h"
#include "orvel/fru.h"
#include "orvel/fru_no_answer.h"
#include "orvel/orvel_status.h"

namespace Orvel_Private {

namespace {

constexpr const wchar_t* kClass = L"CFru";

// A DS1624S takes this command byte, then a one-byte address: it holds 256
// bytes.
constexpr std::uint8_t kAccessMemory = 0x17;
constexpr std::size_t kOneByteAddressSpace = 0x100;
constexpr std::uint8_t kNoBus = 0xFF;

constexpr std::array<std::uint8_t, 2> kReadLengthComplaints = {ipmi::kRequestFieldLengthExceeded,
                                                               ipmi::kCannotReturnBytes};
constexpr std::array<std::uint8_t, 1> kWriteLengthComplaints = {ipmi::kRequestLengthInvalid};
// The largest chunk a request carries; a length complaint shortens the
// chunks by kChunkStep: 8, 4, then 1 byte.
constexpr std::size_t kMaxChunkBytes = 8;
constexpr std::size_t kChunkStep = 4;
// The write page of the serial EEPROMs on private buses (an AT24C02
// programs 8-byte pages).
constexpr std::size_t kEepromPageBytes = 8;

constexpr unsigned kRequestTimeoutMs = 5000;

// The time-out argument of bridged requests, as each routine passes it.
constexpr unsigned kBridgeTimeout = 5;
constexpr unsigned kMbmcBridgeTimeout = 3;
// The platform whose mBMC serves FRU_NVS_MBMC devices as logical devices.
constexpr int kMbmcPlatform = 3;

struct FruDevice {
    FRU_TYPE type;
    std::uint8_t lun;
    std::uint8_t bus;
    std::uint8_t slaveAddress;
    std::uint8_t controllerAddress;
    std::uint8_t fruDeviceId;
};

// How a device's bytes are reached.
enum class Access { kFruData, kMasterWriteRead, kNone };

Access ReadAccess(FRU_TYPE type, int platform) {
    if (type == FRU_NVS_NONE) return Access::kNone;
    if (type == FRU_NVS_IMBDEVICE || (type == FRU_NVS_MBMC && platform == kMbmcPlatform)) {
        return Access::kFruData;
    }
    return Access::kMasterWriteRead;
}

// The first write routine; the second also writes FRU_NVS_MBMC devices as
// logical devices.
Access WriteAccess(FRU_TYPE type, bool mbmcIsLogical) {
    if (type == FRU_NVS_NONE) return Access::kNone;
    if (type == FRU_NVS_IMBDEVICE || (type == FRU_NVS_MBMC && mbmcIsLogical)) {
        return Access::kFruData;
    }
    return Access::kMasterWriteRead;
}

std::uint8_t Low(std::uint16_t offset) {
    return static_cast<std::uint8_t>(offset);
}

std::uint8_t High(std::uint16_t offset) {
    return static_cast<std::uint8_t>(offset >> 8);
}

// The bytes that give a serial EEPROM its address: 17h and the low byte for
// a DS1624S, the high and the low byte for the others.
std::array<std::uint8_t, 2> MemoryAddress(FRU_TYPE type, std::uint16_t offset) {
    return {type == FRU_NVS_DS1624S ? kAccessMemory : High(offset), Low(offset)};
}

// A logical device behind the BMC's bus with device ID 0 belongs to the
// satellite controller at the slave address and is reached by bridging on
// that channel.
int Send(BmcExchange& exchange, const FruDevice& device, unsigned bridgeTimeout) {
    if (device.type == FRU_NVS_IMBDEVICE && device.controllerAddress == kBmcSlaveAddress &&
        device.bus != kNoBus && device.fruDeviceId == 0) {
        return exchange.SendBridged(device.bus, device.slaveAddress, bridgeTimeout);
    }
    return exchange.Send(kRequestTimeoutMs);
}

// What came of one chunk's request.
struct ChunkReply {
    int exchange = 0;  // the message layer's result; non-zero: no response
    std::uint8_t completionCode = 0;
    // With completion code 00h, the bytes the chunk moved (0: none yet).
    std::size_t moved = 0;
    // With completion code 00h: the answer does not hold what it claims.
    bool malformed = false;
};

// IPMI v2.0's answer of a FRU device that is busy (committing a write, for
// one) passes like a node that is busy.
bool IsBusy(std::uint8_t completionCode) {
    return completionCode == ipmi::kNodeBusy || completionCode == ipmi::kFruDeviceBusy;
}

void PauseAfterBusyAnswer(unsigned answersInARow) {
    hw::SleepMicroseconds(static_cast<useconds_t>(BusyPauseMs(answersInARow)) * 1000);
}

struct ChunkRules {
    std::span<const std::uint8_t> lengthComplaints;
    bool withinPages;
    std::uint32_t failure;
};

// Moves `total` bytes from `offset` chunk by chunk; sendChunk(offset,
// position, size) asks for `size` bytes at `offset`, `position` bytes into
// the transfer. `done` receives the bytes moved.
template <typename SendChunk>
std::uint32_t MoveChunks(const ChunkRules& rules, std::uint16_t offset, std::size_t total,
                         std::size_t& done, SendChunk sendChunk) {
    std::size_t chunkSize = kMaxChunkBytes;
    // Answers in a row that asked us to wait: busy, or a write that took no
    // byte. They share one bound and one schedule of pauses.
    unsigned waitingInARow = 0;
    unsigned stalledInARow = 0;
    done = 0;
    while (done < total) {
        const std::size_t at = offset + done;
        std::size_t size = std::min(chunkSize, total - done);
        if (rules.withinPages) size = std::min(size, kEepromPageBytes - at % kEepromPageBytes);
        const ChunkReply reply = sendChunk(static_cast<std::uint16_t>(at), done, size);
        // No response at all: asking again would only wait as long again.
        if (reply.exchange != 0) {
            SetLastTransferGotNoAnswer(true);
            return rules.failure;
        }
        const bool ok = reply.completionCode == ipmi::kCompletionOk;
        if (ok && reply.malformed) return rules.failure;
        // Busy, or nothing taken: the same chunk again, at the same size,
        // after a pause.
        const bool stalled = ok && reply.moved == 0;
        if (IsBusy(reply.completionCode) || stalled) {
            if (stalled && ++stalledInARow == kMaxStalledWrites) return rules.failure;
            if (++waitingInARow == kMaxBusyAnswers) return rules.failure;
            PauseAfterBusyAnswer(waitingInARow);
            continue;
        }
        waitingInARow = 0;
        if (ok) {
            stalledInARow = 0;
            done += reply.moved;
            continue;
        }
        const bool lengthComplaint =
            std::ranges::find(rules.lengthComplaints, reply.completionCode) !=
            rules.lengthComplaints.end();
        if (!lengthComplaint || chunkSize == 1) return rules.failure;
        chunkSize = chunkSize > kChunkStep ? chunkSize - kChunkStep : 1;
    }
    return ORVEL_SUCCESS;
}

// Whether the transfer can start at all: a device, and a range its offsets
// reach without wrapping to the start: 16 bits, or the one address byte of
// a DS1624S, whose bytes past 256 would otherwise land at the start of the
// part.
bool CanTransfer(const FruDevice& device, Access access, std::uint16_t offset, std::size_t length) {
    const std::size_t space =
        device.type == FRU_NVS_DS1624S ? kOneByteAddressSpace : std::size_t{kFruAddressSpace};
    return access != Access::kNone && offset + length <= space;
}

// Copies the bytes of a successful read answer to `out`; their number, or 0
// when the answer does not hold what it claims.
std::size_t TakeReadBytes(const BmcExchange& exchange, Access access, std::span<std::uint8_t> out) {
    std::span<const std::uint8_t> answer = exchange.Data();
    if (access == Access::kFruData) {
        if (answer.empty()) return 0;
        const std::size_t count = answer[0];
        if (count == 0 || count > out.size() || answer.size() < 1 + count) return 0;
        answer = answer.subspan(1, count);
    } else {
        if (answer.size() < out.size()) return 0;
        answer = answer.first(out.size());
    }
    std::ranges::copy(answer, out.begin());
    return answer.size();
}

BmcCommand FruDataCommand(const FruDevice& device, std::uint8_t cmd) {
    return {.slaveAddress = device.controllerAddress, .netFn = ipmi::kNetFnStorage, .cmd = cmd};
}

BmcCommand MasterWriteReadCommand(const FruDevice& device) {
    return {.slaveAddress = device.controllerAddress,
            .netFn = ipmi::kNetFnApp,
            .lun = device.lun,
            .cmd = ipmi::kMasterWriteRead};
}

// Bus, slave address, the count of bytes to read, and the memory address.
std::array<std::uint8_t, 5> MasterWriteReadHead(const FruDevice& device, std::uint16_t offset,
                                                std::uint8_t readCount) {
    const auto address = MemoryAddress(device.type, offset);
    return {device.bus, device.slaveAddress, readCount, address[0], address[1]};
}

// A chunk whose request does not fit the record is refused before anything
// goes out, like an answer that does not hold what it claims. The chunks
// MoveChunks makes always fit.
constexpr ChunkReply kChunkRefused{.malformed = true};

ChunkReply ReadChunk(BmcExchange& exchange, const FruDevice& device, Access access,
                     std::uint16_t offset, std::span<std::uint8_t> out) {
    const auto size = static_cast<std::uint8_t>(out.size());
    const bool filled =
        access == Access::kFruData
            ? exchange.Fill(FruDataCommand(device, ipmi::kReadFruData),
                            std::to_array({device.fruDeviceId, Low(offset), High(offset), size}))
            : exchange.Fill(MasterWriteReadCommand(device),
                            MasterWriteReadHead(device, offset, size));
    if (!filled) return kChunkRefused;
    ChunkReply reply{Send(exchange, device, kBridgeTimeout), exchange.CompletionCode()};
    if (reply.exchange == 0 && reply.completionCode == ipmi::kCompletionOk) {
        // A read answer that gives no byte is as good as a malformed one:
        // the count is checked against the bytes that came.
        reply.moved = TakeReadBytes(exchange, access, out);
        reply.malformed = reply.moved == 0;
    }
    return reply;
}

ChunkReply WriteChunk(BmcExchange& exchange, const FruDevice& device, Access access,
                      unsigned bridgeTimeout, std::uint16_t offset,
                      std::span<const std::uint8_t> chunk) {
    const bool filled =
        access == Access::kFruData
            ? exchange.Fill(FruDataCommand(device, ipmi::kWriteFruData),
                            std::to_array({device.fruDeviceId, Low(offset), High(offset)}), chunk)
            : exchange.Fill(MasterWriteReadCommand(device), MasterWriteReadHead(device, offset, 0),
                            chunk);
    if (!filled) return kChunkRefused;
    ChunkReply reply{Send(exchange, device, bridgeTimeout), exchange.CompletionCode(),
                     chunk.size()};
    if (reply.exchange != 0 || reply.completionCode != ipmi::kCompletionOk ||
        access != Access::kFruData) {
        return reply;
    }
    // Write FRU Data says how many bytes it took; Master Write-Read only
    // whether the part acknowledged them all.
    const std::span<const std::uint8_t> answer = exchange.Data();
    if (answer.empty() || answer[0] > chunk.size()) {
        reply.malformed = true;
        reply.moved = 0;
    } else {
        reply.moved = answer[0];
    }
    return reply;
}

// One write routine; `name` names it in the debug lines.
std::uint32_t WriteChunked(const wchar_t* name, BmcExchange exchange, const FruDevice& device,
                           Access access, unsigned bridgeTimeout, std::uint16_t offset,
                           std::span<const std::uint8_t> bytes) {
    CTrace trace(kClass, name);
    SetLastTransferGotNoAnswer(false);
    std::uint32_t status = ORVEL_ERROR_WRITING_FRU;
    if (CanTransfer(device, access, offset, bytes.size())) {
        const ChunkRules rules{kWriteLengthComplaints, access == Access::kMasterWriteRead,
                               ORVEL_ERROR_WRITING_FRU};
        std::size_t done = 0;
        status = MoveChunks(rules, offset, bytes.size(), done,
                            [&](std::uint16_t at, std::size_t position, std::size_t size) {
                                return WriteChunk(exchange, device, access, bridgeTimeout, at,
                                                  bytes.subspan(position, size));
                            });
    }
    if (status != ORVEL_SUCCESS) trace.Failure(L"Error Writing FRU");
    return status;
}

}  // namespace

std::uint32_t ReadOrvelFromBmc(const FruAccess& with, FRU_TYPE type, std::uint8_t lun,
                               std::uint8_t bus, std::uint8_t slaveAddress,
                               std::uint8_t controllerAddress, std::uint8_t fruDeviceId,
                               std::uint16_t offset, std::span<std::uint8_t> buffer,
                               std::uint32_t& count) {
    CTrace trace(kClass, L"ReadOrvelFromBmc");
    const FruDevice device{type, lun, bus, slaveAddress, controllerAddress, fruDeviceId};
    const Access access = ReadAccess(type, with.platform);
    BmcExchange exchange = with.exchange;
    // A transfer refused before anything goes out got no answer to miss
    // either; what the last one found must not stand for it.
    SetLastTransferGotNoAnswer(false);
    std::size_t done = 0;
    std::uint32_t status = ORVEL_ERROR_READING_FRU;
    if (CanTransfer(device, access, offset, buffer.size())) {
        const ChunkRules rules{kReadLengthComplaints, false, ORVEL_ERROR_READING_FRU};
        status = MoveChunks(rules, offset, buffer.size(), done,
                            [&](std::uint16_t at, std::size_t position, std::size_t size) {
                                return ReadChunk(exchange, device, access, at,
                                                 buffer.subspan(position, size));
                            });
    }
    count = static_cast<std::uint32_t>(done);
    if (status != ORVEL_SUCCESS) trace.Failure(L"Error Reading FRU");
    return status;
}

std::uint32_t WriteOrvelToBmc(const FruAccess& with, FRU_TYPE type, std::uint8_t lun,
                              std::uint8_t bus, std::uint8_t slaveAddress,
                              std::uint8_t controllerAddress, std::uint8_t fruDeviceId,
                              std::uint16_t offset, std::span<const std::uint8_t> bytes) {
    const FruDevice device{type, lun, bus, slaveAddress, controllerAddress, fruDeviceId};
    return WriteChunked(L"WriteOrvelToBmc", with.exchange, device, WriteAccess(type, false),
                        kBridgeTimeout, offset, bytes);
}

std::uint32_t WriteOrvelTomBmc(const FruAccess& with, FRU_TYPE type, std::uint8_t lun,
                               std::uint8_t bus, std::uint8_t slaveAddress,
                               std::uint8_t controllerAddress, std::uint8_t fruDeviceId,
                               std::uint16_t offset, std::span<const std::uint8_t> bytes,
                               std::uint8_t /*mbmcSizeData*/, std::uint16_t /*mbmcSizeAddress*/) {
    const FruDevice device{type, lun, bus, slaveAddress, controllerAddress, fruDeviceId};
    return WriteChunked(L"WriteOrvelTomBmc", with.exchange, device, WriteAccess(type, true),
                        kMbmcBridgeTimeout, offset, bytes);
}

std::uint32_t CFru::ReadDataFromFRU(const FruAccess& with, const FRU_LOCATOR& locator,
                                    std::uint16_t offset, std::span<std::uint8_t> bytes) {
    CTrace trace(kClass, L"ReadDataFromFRU");
    std::uint32_t count = 0;
    return ReadOrvelFromBmc(with, locator.mType, locator.mLun, locator.mBus, locator.mSlaveAddress,
                            locator.mControllerAddress, locator.mFruDeviceId, offset, bytes, count);
}

std::uint32_t CFru::LoadFromSystem(const FruAccess& with) {
    CTrace trace(kClass, L"LoadFromSystem");
    return ReadFruFromSystem([this, &with](std::uint16_t offset, std::span<std::uint8_t> bytes) {
        return ReadDataFromFRU(with, mLocator, offset, bytes);
    });
}

std::uint32_t CFru::WriteOrvel(const FruAccess& with, std::uint16_t offset,
                               std::span<const std::uint8_t> bytes) {
    CTrace trace(kClass, L"WriteOrvel");
    const FRU_LOCATOR& at = mLocator;
    if (with.bmcType == BMC_TYPE_STANDARD || with.platform != kMbmcPlatform) {
        return WriteOrvelToBmc(with, at.mType, at.mLun, at.mBus, at.mSlaveAddress,
                               at.mControllerAddress, at.mFruDeviceId, offset, bytes);
    }
    return WriteOrvelTomBmc(with, at.mType, at.mLun, at.mBus, at.mSlaveAddress,
                            at.mControllerAddress, at.mFruDeviceId, offset, bytes, at.mMbmcSizeData,
                            at.mMbmcSizeAddress);
}

std::uint8_t CFru::CalculateChecksum(std::span<const std::uint8_t> bytes) {
    CTrace trace(kClass, L"CalculateChecksum");
    return ZeroChecksum(bytes);
}

}  // namespace Orvel_Private

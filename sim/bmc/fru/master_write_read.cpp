// Master Write-Read as a controller answers it for the serial EEPROMs on its
// buses: it writes the request's bytes to the slave address and, with a
// read count, reads that many bytes back after a repeated start. The
// EEPROM takes its address from the first bytes written (two address
// bytes, or the access-memory command 17h and one address byte) and keeps
// an address counter that runs on over its end.
#include <cstdio>

#include "sim/bmc/fru/fru_commands.h"

namespace sim::fru {

namespace {

constexpr std::size_t kAddressBytes = 2;  // high and low, or 17h and the address
constexpr std::uint8_t kSlaveAddressMask = 0xFE;

std::string BusTarget(std::uint8_t bus, std::uint8_t slave) {
    char text[32];
    std::snprintf(text, sizeof text, "bus %02Xh slave %02Xh", bus, slave);
    return text;
}

const char* OperationOf(std::uint8_t count, std::size_t written) {
    if (count > 0) return "read";
    return written > kAddressBytes ? "write" : "address";
}

}  // namespace

AccessRecord ControllerFru::MasterWriteReadRecord(std::span<const std::uint8_t> data) const {
    // A request too short to hold its read count is logged as one that
    // reads and writes nothing.
    const bool whole = data.size() >= kMasterWriteReadHeaderBytes;
    const std::uint8_t count = whole ? data[2] : 0;
    const std::size_t written = whole ? data.size() - kMasterWriteReadHeaderBytes : 0;
    AccessRecord access = Record(OperationOf(count, written));
    access.length = count;
    return access;
}

std::optional<ipmi::Response> ControllerFru::FindMemory(std::uint8_t bus, std::uint8_t slave,
                                                        AccessRecord& access, FruDevice** device) {
    access.target = BusTarget(bus, slave);
    bool busThere = false;
    for (FruDevice* candidate : mDevices) {
        const DeviceConfig& config = candidate->Config();
        if (!config.IsMemory() || BusKey(config.bus) != BusKey(bus)) continue;
        busThere = true;
        if (config.address == slave) {
            access.device = candidate->Name();
            *device = candidate;
            return std::nullopt;
        }
    }
    if (!busThere) return Answer(access, ipmi::kInvalidDataField, "no such bus");
    return Answer(access, ipmi::kNak, "no device acknowledges the address");
}

std::optional<ipmi::Response> ControllerFru::Decode(const FruDevice& device,
                                                    std::span<const std::uint8_t> written,
                                                    const AccessRecord& access,
                                                    MemoryTransfer* transfer) {
    // Fewer bytes than a whole address leave the address counter as it was.
    transfer->address = device.AddressCounter();
    if (device.Config().kind == DeviceKind::kCommand17 && !written.empty() &&
        written[0] != kAccessMemoryCommand) {
        char note[48];
        std::snprintf(note, sizeof note, "command %02Xh not acknowledged", written[0]);
        return Answer(access, ipmi::kNak, note);
    }
    if (written.size() < kAddressBytes) return std::nullopt;
    const std::uint32_t address = device.Config().kind == DeviceKind::kCommand17
                                      ? written[1]
                                      : static_cast<std::uint32_t>(written[0] << 8 | written[1]);
    // Address bits beyond the part's size are not decoded.
    transfer->address = address % device.Size();
    transfer->payload = written.subspan(kAddressBytes);
    return std::nullopt;
}

ipmi::Response ControllerFru::MasterWriteRead(const ipmi::Request& request) {
    const auto data = request.data;
    const std::uint8_t count = data[2];
    const auto written = data.subspan(kMasterWriteReadHeaderBytes);
    AccessRecord access = MasterWriteReadRecord(data);
    FruDevice* device = nullptr;
    if (auto refusal = FindMemory(data[0], data[1] & kSlaveAddressMask, access, &device)) {
        return *refusal;
    }
    if (auto busy = device->Busy(count > 0 ? Direction::kRead : Direction::kWrite)) {
        return Refuse(access, *busy);
    }
    if (auto over = device->OverLimit(Direction::kRead, count)) return Refuse(access, *over);
    const auto bytesWritten = static_cast<std::uint32_t>(written.size());
    if (auto over = device->OverLimit(Direction::kWrite, bytesWritten))
        return Refuse(access, *over);

    MemoryTransfer transfer;
    if (auto refusal = Decode(*device, written, access, &transfer)) return *refusal;
    access.offset = transfer.address;
    if (count > 0) return ReadMemory(*device, access, transfer, count);
    if (!transfer.payload.empty()) return ProgramMemory(*device, access, transfer);
    device->SetAddressCounter(transfer.address);
    return Answer(access, ipmi::kOk, "");
}

ipmi::Response ControllerFru::ProgramMemory(FruDevice& device, AccessRecord& access,
                                            const MemoryTransfer& transfer) {
    const auto length = static_cast<std::uint32_t>(transfer.payload.size());
    access.length = length;
    if (auto refused = device.Refused(Direction::kWrite, transfer.address, length)) {
        return Refuse(access, *refused);
    }
    if (device.LosesWrite(transfer.address, length)) {
        device.SetAddressCounter(transfer.address + length);
        return Answer(access, ipmi::kOk, "write not kept");
    }
    device.SetAddressCounter(device.Write(transfer.address, transfer.payload));
    return Answer(access, ipmi::kOk, "");
}

ipmi::Response ControllerFru::ReadMemory(FruDevice& device, AccessRecord& access,
                                         const MemoryTransfer& transfer, std::uint8_t count) {
    // Bytes written after the address moved the counter on; the repeated
    // start that begins the read aborts their programming.
    const auto start =
        static_cast<std::uint32_t>((transfer.address + transfer.payload.size()) % device.Size());
    access.offset = start;
    if (auto refused = device.Refused(Direction::kRead, start, count)) {
        return Refuse(access, *refused);
    }
    std::vector<std::uint8_t> bytes = device.Read(start, count);
    device.SetAddressCounter(start + count);
    return Answer(access, ipmi::kOk,
                  transfer.payload.empty() ? "" : "write aborted by the repeated start",
                  std::move(bytes));
}

}  // namespace sim::fru

// Get FRU Inventory Area Info, Read FRU Data and Write FRU Data as a
// controller serving logical FRU devices answers them. The checks run in
// the order a controller's firmware makes them: the request's form, the
// device it names, the device's state, then the range of bytes.
#include "sim/bmc/fru/fru_commands.h"

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "sim/core/machine.h"

namespace sim::fru {

namespace {

constexpr std::uint8_t kReservedDeviceId = 0xFF;
constexpr std::size_t kReadRequestBytes = 4;
constexpr std::size_t kWriteHeaderBytes = 3;  // ID, offset LS, offset MS

std::string IdTarget(std::uint8_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "id %02Xh", id);
    return text;
}

std::uint32_t Offset(std::span<const std::uint8_t> data) {
    return static_cast<std::uint32_t>(data[1] | data[2] << 8);
}

}  // namespace

bool ControllerFru::HasLogicalDevices() const {
    return std::any_of(mDevices.begin(), mDevices.end(),
                       [](const FruDevice* device) { return !device->Config().IsMemory(); });
}

bool ControllerFru::HasMemories() const {
    return std::any_of(mDevices.begin(), mDevices.end(),
                       [](const FruDevice* device) { return device->Config().IsMemory(); });
}

ipmi::Response ControllerFru::Answer(const AccessRecord& access, std::uint8_t completionCode,
                                     const std::string& note, std::vector<std::uint8_t> data) {
    LogAccess(mLog, access, completionCode, mClock.NowNs(), note);
    return {completionCode, std::move(data)};
}

ipmi::Response ControllerFru::Refuse(const AccessRecord& access, const FruDevice::Answer& answer) {
    return Answer(access, answer.completionCode, answer.note);
}

AccessRecord ControllerFru::Record(const char* operation) const {
    return {operation, mController, "-", "", 0, 0};
}

void ControllerFru::LogFormRefusal(const AccessRecord& access, const ipmi::Request& request,
                                   std::uint8_t completionCode) {
    Answer(access, completionCode,
           completionCode == ipmi::kInvalidForLun
               ? "LUN " + std::to_string(request.lun)
               : "request of " + std::to_string(request.data.size()) + " bytes");
}

void ControllerFru::Serve(ipmi::CommandTable& commands, bool inventory, bool memories) {
    using ipmi::RequestLength;
    const auto logRefusal = [this](const char* operation) {
        return [this, operation](const ipmi::Request& request, std::uint8_t code) {
            LogFormRefusal(Record(operation), request, code);
        };
    };
    // The FRU commands and Master Write-Read live on the controller's LUN 0.
    if (inventory) {
        commands.Register(
            ipmi::kNetFnStorage, kGetFruInventoryAreaInfo,
            {RequestLength::Exactly(1), ipmi::kLunZero},
            [this](const ipmi::Request& request) { return InventoryAreaInfo(request); },
            logRefusal("info"));
        commands.Register(
            ipmi::kNetFnStorage, kReadFruData,
            {RequestLength::Exactly(kReadRequestBytes), ipmi::kLunZero},
            [this](const ipmi::Request& request) { return ReadFruData(request); },
            logRefusal("read"));
        commands.Register(
            ipmi::kNetFnStorage, kWriteFruData,
            {RequestLength::AtLeast(kWriteHeaderBytes), ipmi::kLunZero},
            [this](const ipmi::Request& request) { return WriteFruData(request); },
            logRefusal("write"));
    }
    if (memories) {
        commands.Register(
            ipmi::kNetFnApp, kMasterWriteRead,
            {RequestLength::AtLeast(kMasterWriteReadHeaderBytes), ipmi::kLunZero},
            [this](const ipmi::Request& request) { return MasterWriteRead(request); },
            [this](const ipmi::Request& request, std::uint8_t code) {
                LogFormRefusal(MasterWriteReadRecord(request.data), request, code);
            });
    }
}

std::optional<ipmi::Response> ControllerFru::FindLogical(std::uint8_t id, AccessRecord& access,
                                                         FruDevice** device) {
    access.target = IdTarget(id);
    if (id == kReservedDeviceId) {
        return Answer(access, ipmi::kInvalidDataField, "FRU device ID FFh is reserved");
    }
    for (FruDevice* candidate : mDevices) {
        if (!candidate->Config().IsMemory() && candidate->Config().deviceId == id) {
            access.device = candidate->Name();
            *device = candidate;
            return std::nullopt;
        }
    }
    return Answer(access, ipmi::kNotPresent, "no such FRU device");
}

ipmi::Response ControllerFru::InventoryAreaInfo(const ipmi::Request& request) {
    AccessRecord access = Record("info");
    FruDevice* device = nullptr;
    if (auto refusal = FindLogical(request.data[0], access, &device)) return *refusal;
    const std::uint32_t size = device->Size();
    access.length = size;
    // Size LS byte first; access byte 0: the device is addressed by bytes.
    return Answer(access, ipmi::kOk, "",
                  {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8), 0x00});
}

ipmi::Response ControllerFru::ReadFruData(const ipmi::Request& request) {
    AccessRecord access = Record("read");
    access.offset = Offset(request.data);
    access.length = request.data[3];
    FruDevice* device = nullptr;
    if (auto refusal = FindLogical(request.data[0], access, &device)) return *refusal;
    if (auto busy = device->Busy(Direction::kRead)) return Refuse(access, *busy);
    if (access.offset >= device->Size()) {
        return Answer(access, ipmi::kOutOfRange, "offset past the end");
    }
    if (auto over = device->OverLimit(Direction::kRead, access.length))
        return Refuse(access, *over);

    // What the controller can return: up to the end of the device, and no
    // more than its limit when it answers over-long reads short.
    std::uint32_t returned = std::min(access.length, device->Size() - access.offset);
    if (device->Config().shortReads) returned = std::min(returned, device->Config().maxRead);
    if (auto refused = device->Refused(Direction::kRead, access.offset, returned)) {
        return Refuse(access, *refused);
    }
    std::vector<std::uint8_t> data = {static_cast<std::uint8_t>(returned)};
    const std::vector<std::uint8_t> bytes = device->Read(access.offset, returned);
    data.insert(data.end(), bytes.begin(), bytes.end());
    const std::string note = returned < access.length ? std::to_string(returned) + " of " +
                                                            std::to_string(access.length) + " bytes"
                                                      : "";
    return Answer(access, ipmi::kOk, note, std::move(data));
}

ipmi::Response ControllerFru::WriteFruData(const ipmi::Request& request) {
    AccessRecord access = Record("write");
    const auto data = request.data.subspan(kWriteHeaderBytes);
    access.offset = Offset(request.data);
    access.length = static_cast<std::uint32_t>(data.size());
    FruDevice* device = nullptr;
    if (auto refusal = FindLogical(request.data[0], access, &device)) return *refusal;
    if (auto busy = device->Busy(Direction::kWrite)) return Refuse(access, *busy);
    // Nothing is written unless all of it fits: a partial write that only
    // its count reports would pass unnoticed by many callers.
    if (access.offset > device->Size() || (!data.empty() && access.offset >= device->Size())) {
        return Answer(access, ipmi::kOutOfRange, "offset past the end");
    }
    if (auto over = device->OverLimit(Direction::kWrite, access.length))
        return Refuse(access, *over);
    if (access.offset + access.length > device->Size()) {
        return Answer(access, ipmi::kOutOfRange, "data past the end");
    }
    if (device->StopsController(access.offset, access.length)) {
        // The firmware hangs in the middle of the write: nothing reaches
        // the cells, and from now on the controller answers nothing.
        mControllerState.Stop();
        LogUnanswered(mLog, access, mClock.NowNs(), "no answer: the controller stopped");
        return ipmi::Response::NoAnswer();
    }
    if (auto refused = device->Refused(Direction::kWrite, access.offset, access.length)) {
        return Refuse(access, *refused);
    }
    if (device->LosesWrite(access.offset, access.length)) {
        return Answer(access, ipmi::kOk, "write not kept",
                      {static_cast<std::uint8_t>(access.length)});
    }
    if (const auto kept = device->ShortensWrite(access.offset, access.length)) {
        // The count written says how far the device got; a caller that
        // does not read it believes the whole write done.
        device->Write(access.offset, data.first(*kept));
        return Answer(access, ipmi::kOk,
                      "short write: " + std::to_string(*kept) + " of " +
                          std::to_string(access.length) + " bytes kept",
                      {static_cast<std::uint8_t>(*kept)});
    }
    device->Write(access.offset, data);
    const WriteSignal* signal = device->SignalsWrite(access.offset, access.length);
    ipmi::Response response = Answer(access, ipmi::kOk, signal ? "raised " + signal->name : "",
                                     {static_cast<std::uint8_t>(access.length)});
    if (signal != nullptr) {
        // The bytes are in the cells before the signal can end the
        // process, as they would be in a real part.
        SaveProcessMachine();
        std::raise(signal->signal);
    }
    return response;
}

}  // namespace sim::fru

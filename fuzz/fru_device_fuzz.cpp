// The answers of a FRU device's controller, for liborvel's device access:
// Read FRU Data (a count byte and the bytes that follow it), Write FRU
// Data (the count written) and Master Write-Read to serial EEPROMs, from
// the BMC over KCS or from a satellite controller behind it by bridging.
// The library must take no byte that an answer does not hold, never report
// a read or a write as done when an answer did not say so, and end every
// transfer however the controller misbehaves.
//
// Input: byte 0 chooses
//   bit 0      the controller: the BMC itself (its KCS answers are the
//              input's), or the satellite at C0h on channel 0 (the real
//              BMC bridges to it; its answers are the input's)
//   bits 2:1   the device: AT24C02 or DS1624S EEPROM, logical FRU device,
//              mBMC device (bit 3 picks platform 3, where the mBMC serves
//              it as a logical device)
//   bits 5:4   the operation: read a range; read the whole FRU; write a
//              range; write back a whole FRU (the board area always)
//   bit 6      the BMC's type for a write of a range: a standard BMC, or
//              one whose mBMC serves its devices as logical ones
// bytes 1-2 the offset (LS first), byte 3 the length; then the answers,
// each a length byte and that many bytes: completion code, then data.
//
// The KCS transport owns SIGALRM, so libFuzzer's time-out must be off:
//   fuzz_fru_device -timeout=0 [corpus dir]
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "bmc/debug_log.h"
#include "bmc/message_state.h"
#include "fuzz/input_answers.h"
#include "orvel/fru.h"
#include "orvel/fru_access.h"
#include "orvel/fru_device_access.h"
#include "orvel/orvel_status.h"
#include "sim/bmc/bmc.h"
#include "sim/bmc/fru/fru_commands.h"
#include "sim/bmc/fru/fru_image_builder.h"
#include "sim/bmc/ipmb.h"
#include "sim/core/machine.h"
#include "tests/bmc/scripted_kcs_bmc.h"

namespace {

using fuzz_input::Bytes;
using Orvel_Private::FRU_LOCATOR;

constexpr const char* kSatellite = "hsc0";
constexpr std::uint8_t kSatelliteAddress = 0xC0;
constexpr std::uint8_t kSatelliteChannel = 0;
constexpr std::uint8_t kEepromAddress = 0xA0;
constexpr std::uint8_t kEepromBus = 0x03;

// One request a controller was asked and what it answered (none: nothing).
struct Exchange {
    std::uint8_t netFn;
    std::uint8_t cmd;
    Bytes data;
    std::optional<Bytes> answer;
};

// The input's answers for the satellite, and what it was asked.
std::deque<Bytes> gSatelliteAnswers;
std::vector<Exchange> gSatelliteExchanges;

sim::ipmi::Response Answer(std::uint8_t netFn, std::uint8_t cmd,
                           const sim::ipmi::Request& request) {
    std::optional<Bytes> answer = fuzz_input::Next(gSatelliteAnswers);
    gSatelliteExchanges.push_back(
        {netFn, cmd, Bytes(request.data.begin(), request.data.end()), answer});
    // Once the input is used up the device is not there (CBh), which ends
    // any transfer at once; an empty answer is a controller that took the
    // request and stopped.
    if (!answer) return sim::ipmi::Response::Code(0xCB);
    if (answer->empty()) return sim::ipmi::Response::NoAnswer();
    return {answer->front(), Bytes(answer->begin() + 1, answer->end())};
}

// The satellite has no FRU storage of its own in the default machine, so
// the commands are free for the input to answer.
void ServeFromInput(sim::Machine& machine) {
    sim::ipmb::Satellite* satellite = machine.Find<sim::Bmc>()->Ipmb().Find(kSatellite);
    if (satellite == nullptr || satellite->Address() != kSatelliteAddress ||
        satellite->Channel() != kSatelliteChannel) {
        std::abort();
    }
    using Command = std::pair<std::uint8_t, std::uint8_t>;
    for (const Command& command :
         {Command{sim::ipmi::kNetFnStorage, sim::fru::kGetFruInventoryAreaInfo},
          Command{sim::ipmi::kNetFnStorage, sim::fru::kReadFruData},
          Command{sim::ipmi::kNetFnStorage, sim::fru::kWriteFruData},
          Command{sim::ipmi::kNetFnApp, sim::fru::kMasterWriteRead}}) {
        const std::uint8_t netFn = command.first, cmd = command.second;
        if (satellite->Commands().Has(netFn, cmd)) std::abort();
        satellite->Commands().Register(netFn, cmd, [netFn, cmd](const sim::ipmi::Request& request) {
            return Answer(netFn, cmd, request);
        });
    }
}

// A FRU whose every area is well formed, for the write-back.
const Bytes& GoodFru() {
    static const Bytes image = sim::fru::SampleFru("baseboard", 2048).Build();
    return image;
}

FRU_LOCATOR LocatorOf(std::uint8_t choice) {
    FRU_LOCATOR at;
    const bool satellite = (choice & 1) != 0;
    at.mType = static_cast<FRU_TYPE>((choice >> 1) & 3);
    if (at.mType != FRU_NVS_IMBDEVICE) {
        // EEPROMs, and the mBMC's devices, which the write routine chosen
        // by the BMC's type reaches as an EEPROM or as a logical device.
        at.mBus = kEepromBus;
        at.mSlaveAddress = kEepromAddress;
        at.mControllerAddress = satellite ? kSatelliteAddress : kBmcSlaveAddress;
    } else if (satellite) {
        // A logical device of a satellite: device ID 0 behind the BMC's bus.
        at.mBus = kSatelliteChannel;
        at.mSlaveAddress = kSatelliteAddress;
    }
    return at;
}

// The first byte of the device each request of a write touched, and how
// many the answer acknowledged: Write FRU Data's count written, all of a
// Master Write-Read's bytes when it completed.
struct Written {
    std::uint32_t offset;
    std::size_t sent;
    std::size_t acknowledged;
};

std::optional<Written> WrittenBy(FRU_TYPE type, const Exchange& exchange) {
    const Bytes& data = exchange.data;
    std::size_t acknowledged = 0;
    if (exchange.netFn == sim::ipmi::kNetFnStorage && exchange.cmd == sim::fru::kWriteFruData &&
        data.size() >= 3) {
        if (exchange.answer && exchange.answer->size() >= 2 && exchange.answer->at(0) == 0) {
            acknowledged = exchange.answer->at(1);
        }
        return Written{static_cast<std::uint32_t>(data[1] | data[2] << 8), data.size() - 3,
                       std::min<std::size_t>(acknowledged, data.size() - 3)};
    }
    // bus, slave address, read count 0, the two address bytes, the data.
    if (exchange.netFn == sim::ipmi::kNetFnApp && exchange.cmd == sim::fru::kMasterWriteRead &&
        data.size() >= 5 && data[2] == 0) {
        const std::size_t sent = data.size() - 5;
        if (exchange.answer && !exchange.answer->empty() && exchange.answer->at(0) == 0) {
            acknowledged = sent;
        }
        const std::uint32_t offset =
            type == FRU_NVS_DS1624S ? data[4] : static_cast<std::uint32_t>(data[3] << 8 | data[4]);
        return Written{offset, sent, acknowledged};
    }
    return std::nullopt;
}

// A write reported done must have had every byte of [offset, offset +
// length) acknowledged by some answer.
void CheckWritten(FRU_TYPE type, const std::vector<Exchange>& exchanges, std::uint32_t offset,
                  std::size_t length) {
    std::vector<bool> acknowledged(length, false);
    for (const Exchange& exchange : exchanges) {
        const std::optional<Written> written = WrittenBy(type, exchange);
        if (!written) continue;
        for (std::size_t i = 0; i < written->acknowledged; ++i) {
            const std::size_t at = written->offset + i;
            if (at >= offset && at < offset + length) acknowledged[at - offset] = true;
        }
    }
    if (std::ranges::find(acknowledged, false) != acknowledged.end()) std::abort();
}

// The requests the scripted BMC got, each with the frame that answered it.
std::vector<Exchange> KcsExchanges(const bmc_test::ScriptedKcsBmc& bmc,
                                   const std::deque<Bytes>& answers) {
    std::vector<Exchange> exchanges;
    for (std::size_t i = 0; i < bmc.Requests().size(); ++i) {
        const Bytes& request = bmc.Requests()[i];
        if (request.size() < 2) continue;
        std::optional<Bytes> answer;
        if (i < answers.size()) answer = answers[i];
        exchanges.push_back({static_cast<std::uint8_t>(request[0] >> 2), request[1],
                             Bytes(request.begin() + 2, request.end()), answer});
    }
    return exchanges;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Orvel_Private;
    if (size < 4) return 0;
    // One machine for the whole run; what a run leaves in it is reset here.
    static sim::Machine& machine = []() -> sim::Machine& {
        sim::Machine& built = sim::ResetMachine();
        ServeFromInput(built);
        SetLibDebugLevel(0);
        return built;
    }();
    static const auto request = std::make_unique<BMC_MESSAGE>();
    static const auto response = std::make_unique<BMC_MESSAGE>();
    machine.Log().Clear();
    g_Mbmcsupport = SYSTEM_INTERFACE_KCS;
    sendSeq = 1;
    incTestCount = 0;

    const std::uint8_t choice = data[0];
    const bool satellite = (choice & 1) != 0;
    // What a write-back asked the BMC last must not choose this write.
    int bmcType = (choice & 0x40) != 0 ? BMC_TYPE_PRODUCT_43XX : BMC_TYPE_STANDARD;
    const FruAccess with{{*request, *response}, (choice & 8) != 0 ? 3 : 0, bmcType};
    auto offset = static_cast<std::uint16_t>(data[1] | data[2] << 8);
    std::size_t length = data[3];
    const FRU_LOCATOR at = LocatorOf(choice);
    // A DS1624S holds 256 bytes and takes a one-byte address. The library
    // sends a larger offset's low byte alone, so that a range past the part
    // lands at its start (fuzz/findings/fuzz_fru_device/ds1624s_offset_past_256);
    // until it refuses such ranges they are left out here.
    if (at.mType == FRU_NVS_DS1624S) {
        offset &= 0xFF;
        length = std::min<std::size_t>(length, 0x100 - offset);
    }
    const unsigned operation = (choice >> 4) & 3;

    std::deque<Bytes> answers = fuzz_input::AnswersOf({data + 4, size - 4});
    gSatelliteExchanges.clear();
    std::unique_ptr<bmc_test::ScriptedKcsBmc> bmc;
    if (satellite) {
        gSatelliteAnswers = std::move(answers);
        answers.clear();
    } else {
        const bool eeprom = at.mType == FRU_NVS_AT24CO2 || at.mType == FRU_NVS_DS1624S;
        const std::uint8_t cmd = eeprom           ? sim::fru::kMasterWriteRead
                                 : operation >= 2 ? std::uint8_t{sim::fru::kWriteFruData}
                                                  : std::uint8_t{sim::fru::kReadFruData};
        bmc = std::make_unique<bmc_test::ScriptedKcsBmc>(
            machine, fuzz_input::KcsFramesOf(
                         answers, eeprom ? sim::ipmi::kNetFnApp : sim::ipmi::kNetFnStorage, cmd));
    }

    Bytes buffer(length, 0xEE);
    auto fru = std::make_unique<CFru>();
    fru->GetDevLocator() = at;
    std::uint32_t status = ORVEL_SUCCESS;
    std::optional<std::pair<std::uint32_t, std::size_t>> written;
    switch (operation) {
        case 0: {
            std::uint32_t count = 0;
            status =
                ReadOrvelFromBmc(with, at.mType, at.mLun, at.mBus, at.mSlaveAddress,
                                 at.mControllerAddress, at.mFruDeviceId, offset, buffer, count);
            if (count > length || (status == ORVEL_SUCCESS && count != length)) std::abort();
            break;
        }
        case 1:
            fru->LoadFromSystem(with);
            break;
        case 2:
            // The bytes written are the input's offset bytes repeated: what
            // is written does not matter, how the answers are taken does.
            std::fill(buffer.begin(), buffer.end(), data[1]);
            status = fru->WriteOrvel(with, offset, buffer);
            written = {{offset, length}};
            break;
        default: {
            const Bytes& image = GoodFru();
            const auto fromImage = [&image](std::uint16_t at, std::span<std::uint8_t> bytes) {
                if (at + bytes.size() > image.size()) return ORVEL_ERROR_READING_FRU;
                std::copy_n(image.begin() + at, bytes.size(), bytes.begin());
                return ORVEL_SUCCESS;
            };
            if (fru->ReadFruFromSystem(fromImage) != ORVEL_SUCCESS) std::abort();
            fru->WriteToSystem(with, nullptr);
            break;
        }
    }
    const std::vector<Exchange> exchanges =
        satellite ? gSatelliteExchanges : KcsExchanges(*bmc, answers);
    if (written && status == ORVEL_SUCCESS) {
        CheckWritten(at.mType, exchanges, written->first, written->second);
    }
    gSatelliteAnswers.clear();
    return 0;
}

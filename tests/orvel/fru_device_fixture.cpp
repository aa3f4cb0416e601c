#include "fru_device_fixture.h"

#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>

#include "bmc/debug_log.h"
#include "orvel/last_error.h"
#include "orvel/orvel_globals.h"
#include "orvel/orvel_text.h"
#include "tests/sim/fru_requests.h"

namespace fru_device_test {

namespace {

const std::map<std::string, std::uint8_t> kPatternSeeds = {
    {kStore, 0x11}, {kWide, 0x40}, {kSmall, 0x73}};

}  // namespace

FRU_LOCATOR Locator(FRU_TYPE type, std::uint8_t bus, std::uint8_t slaveAddress,
                    std::uint8_t fruDeviceId, std::uint8_t controllerAddress, std::uint8_t lun) {
    FRU_LOCATOR locator;
    locator.mType = type;
    locator.mBus = bus;
    locator.mSlaveAddress = slaveAddress;
    locator.mFruDeviceId = fruDeviceId;
    locator.mControllerAddress = controllerAddress;
    locator.mLun = lun;
    return locator;
}

FRU_LOCATOR StoreLocator() {
    return Locator(FRU_NVS_IMBDEVICE, 0xFF, 0x20);
}

FRU_LOCATOR WideLocator() {
    return Locator(FRU_NVS_AT24CO2, 0x03, 0xA0);
}

FRU_LOCATOR SmallLocator() {
    return Locator(FRU_NVS_DS1624S, 0x05, 0x9E);
}

void PrintTo(const Chunk& chunk, std::ostream* os) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %04Xh+%u cc=%02X", chunk.operation.c_str(), chunk.offset,
                  chunk.length, chunk.completionCode);
    *os << text;
}

void FruDeviceTest::SetUp() {
    BmcSimTest::SetUp();
    mDebugLevel = LIBDBG_DEBUG_LEVEL;
    LIBDBG_DEBUG_LEVEL = 1;
    Orvel_Private::g_BMCType = 0;
    Orvel_Private::ClearLastError();
}

void FruDeviceTest::TearDown() {
    LIBDBG_DEBUG_LEVEL = mDebugLevel;
    BmcSimTest::TearDown();
}

FruAccess FruDeviceTest::Access(int platform) {
    return {{*mRequest, *mResponse}, platform, Orvel_Private::g_BMCType};
}

void FruDeviceTest::BootStorage(const std::map<std::string, std::string>& settings) {
    std::map<std::string, std::string> all = {
        {"fru.devices", std::string(kStore) + ":bmc:0:2048"},
        {"fru.memories",
         std::string(kWide) + ":bmc:0x03:0xA0:512:addr16," + kSmall + ":bmc:0x05:0x9E:256:cmd17"},
    };
    for (const auto& [key, value] : settings) all[key] = value;
    Boot(all);
    for (const auto& device : Machine().Find<sim::FruStorage>()->Devices()) {
        device->Fill(PatternOf(device->Name(), device->Size()));
    }
}

sim::fru::FruDevice& FruDeviceTest::Device(const std::string& name) {
    sim::fru::FruDevice* device = Machine().Find<sim::FruStorage>()->Find(name);
    if (device == nullptr) throw std::logic_error("no FRU device " + name);
    return *device;
}

Bytes FruDeviceTest::Cells(const std::string& name) {
    const auto contents = Device(name).Contents();
    return Bytes(contents.begin(), contents.end());
}

Bytes FruDeviceTest::PatternOf(const std::string& name, std::size_t size) {
    const auto seed = kPatternSeeds.find(name);
    return simtest::Pattern(size, seed == kPatternSeeds.end() ? 0x29 : seed->second);
}

std::vector<sim::fru::LoggedAccess> FruDeviceTest::Accesses(const std::string& device) {
    return sim::fru::LoggedAccesses(Machine().Log(), device);
}

std::vector<Chunk> FruDeviceTest::Chunks(const std::string& device) {
    std::vector<Chunk> chunks;
    for (const sim::fru::LoggedAccess& access : Accesses(device)) {
        chunks.push_back({access.operation, access.offset, access.length, access.completionCode});
    }
    return chunks;
}

std::vector<Bytes> FruDeviceTest::Sent(std::uint8_t netFn, std::uint8_t cmd) {
    std::vector<Bytes> sent;
    for (const sim::ipmi::Exchange& exchange : KcsRequests(netFn, cmd))
        sent.push_back(exchange.request);
    return sent;
}

void FruDeviceTest::Script(const std::string& satellite, std::uint8_t netFn, std::uint8_t cmd,
                           sim::ipmi::Response answer) {
    sim::ipmb::Satellite* controller = Bmc().Ipmb().Find(satellite);
    if (controller == nullptr) throw std::logic_error("no satellite " + satellite);
    controller->Commands().Register(netFn, cmd,
                                    [answer](const sim::ipmi::Request&) { return answer; });
}

bool FruDeviceTest::Logged(const std::string& line) {
    return ReadFile("DBGLOG.txt").find(line + "\r\n") != std::string::npos;
}

Bytes Slice(const Bytes& image, std::size_t offset, std::size_t length) {
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(offset),
                 image.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

}  // namespace fru_device_test

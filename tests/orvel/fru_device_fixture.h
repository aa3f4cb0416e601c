// What the FRU device access tests share: a simulated server with a logical
// FRU device and two serial EEPROMs, the library's message records, and
// ways to read back what the FRU storage was asked and holds.
#ifndef SRVFW_TESTS_ORVEL_FRU_DEVICE_FIXTURE_H
#define SRVFW_TESTS_ORVEL_FRU_DEVICE_FIXTURE_H

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fru_image_builder.h"
#include "fru_test_support.h"
#include "orvel/fru.h"
#include "orvel/fru_access.h"
#include "sim/bmc/fru/fru_commands.h"
#include "sim/bmc/fru/fru_storage.h"
#include "sim/bmc/ipmi.h"
#include "tests/bmc/bmc_sim_fixture.h"
#include "tests/common/files.h"

namespace fru_device_test {

using fru_test::Bytes;
using Orvel_Private::FRU_LOCATOR;
using Orvel_Private::FruAccess;

// What the simulated BMC saw, in its own numbers (as bytes, as the request
// log gives them).
inline constexpr std::uint8_t kNetFnApp = sim::ipmi::kNetFnApp;
inline constexpr std::uint8_t kNetFnStorage = sim::ipmi::kNetFnStorage;
inline constexpr std::uint8_t kReadFruData = sim::fru::kReadFruData;
inline constexpr std::uint8_t kWriteFruData = sim::fru::kWriteFruData;
inline constexpr std::uint8_t kMasterWriteRead = sim::fru::kMasterWriteRead;
inline constexpr std::uint8_t kSendMessage = sim::ipmi::kSendMessage;

// The devices BootStorage builds, by name, and the locators that reach them.
inline constexpr const char* kStore = "store";  // logical, BMC, ID 0, 2048 bytes
inline constexpr const char* kWide = "wide";    // EEPROM, bus 03h, A0h, 512 bytes
inline constexpr const char* kSmall = "small";  // EEPROM (17h form), bus 05h, 9Eh, 256 bytes

FRU_LOCATOR Locator(FRU_TYPE type, std::uint8_t bus, std::uint8_t slaveAddress,
                    std::uint8_t fruDeviceId = 0, std::uint8_t controllerAddress = 0x20,
                    std::uint8_t lun = 0);
FRU_LOCATOR StoreLocator();
FRU_LOCATOR WideLocator();
FRU_LOCATOR SmallLocator();

// One request the FRU storage logged, as a test compares it.
struct Chunk {
    std::string operation;  // "read", "write"
    std::uint32_t offset;
    std::uint32_t length;
    std::uint8_t completionCode = 0;
    bool operator==(const Chunk&) const = default;
};
void PrintTo(const Chunk& chunk, std::ostream* os);

class FruDeviceTest : public bmc_test::BmcSimTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // What the library's entries hand the device access: the fixture's
    // message records, `platform`, and the BMC type the library keeps.
    FruAccess Access(int platform = 0);

    // A server whose FRU storage is the devices kStore, kWide and kSmall
    // (each filled with a pattern of its own), changed by `settings`.
    void BootStorage(const std::map<std::string, std::string>& settings = {});
    sim::fru::FruDevice& Device(const std::string& name);
    Bytes Cells(const std::string& name);
    // The pattern BootStorage leaves in the device.
    static Bytes PatternOf(const std::string& name, std::size_t size);

    // The requests the device (every device when empty) was asked, in order.
    std::vector<Chunk> Chunks(const std::string& device = "");
    std::vector<sim::fru::LoggedAccess> Accesses(const std::string& device = "");
    // The data of every request of the command that crossed the KCS ports.
    std::vector<Bytes> Sent(std::uint8_t netFn, std::uint8_t cmd);

    // The controller behind the BMC answers the command with `answer`, for a
    // satellite that has no FRU storage of its own.
    void Script(const std::string& satellite, std::uint8_t netFn, std::uint8_t cmd,
                sim::ipmi::Response answer);

    bool Logged(const std::string& line);

  private:
    std::unique_ptr<BMC_MESSAGE> mRequest = std::make_unique<BMC_MESSAGE>();
    std::unique_ptr<BMC_MESSAGE> mResponse = std::make_unique<BMC_MESSAGE>();
    unsigned mDebugLevel = 1;
    fru_test::NumberedStrings mStrings;
};

// The bytes of `image` at offset, length bytes.
Bytes Slice(const Bytes& image, std::size_t offset, std::size_t length);

}  // namespace fru_device_test

#endif

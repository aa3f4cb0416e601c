// The FRU contents this server's parts carry from the factory. Every field
// encoding of the format appears somewhere, as on real boards, whose
// serial numbers are often 6-bit packed and whose dates BCD plus.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "sim/bmc/fru/fru_image_builder.h"

namespace sim::fru {

namespace {

constexpr const char* kVendor = "Kestrel Server Works";
constexpr const char* kFileId = "FRU 1.04";
constexpr std::int64_t kBuiltAt = 1684315800;  // 2023-05-17 09:30 UTC
constexpr std::size_t kMaxNameInField = 40;
constexpr std::uint8_t kPowerSupplyRecord = 0x00;
constexpr std::uint8_t kManagementAccessRecord = 0x03;
constexpr std::uint8_t kSystemNameSubRecord = 0x02;
constexpr std::uint8_t kOemRecord = 0xC0;

// Five digits of the device's name, so two parts differ in serial number.
std::string SerialDigits(std::string_view name) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%05u", hash % 100000);
    return digits;
}

BoardInfo SampleBoard(std::string_view name, const std::string& serial) {
    BoardInfo board;
    board.manufactured = MinutesSince1996(kBuiltAt);
    board.manufacturer = Field::Text(kVendor);
    board.productName = Field::Text(("KS2200 " + std::string(name)).substr(0, kMaxNameInField));
    board.serialNumber = Field::SixBitAscii("KSB230517" + serial);
    board.partNumber = Field::Text("KS2200-BB-A01");
    board.fruFileId = Field::Text(kFileId);
    board.custom = {Field::Text("REV A03"), Field::Binary({0x00, 0x1E, 0x67, 0x4A, 0x10, 0x02})};
    return board;
}

ProductInfo SampleProduct(const std::string& serial) {
    ProductInfo product;
    product.manufacturer = Field::Text(kVendor);
    product.name = Field::Text("KS2200 Rack Server");
    product.partNumber = Field::Text("KS2200-1U-R");
    // Version numbers are digits and periods, which BCD plus holds in
    // half the bytes; some factories store them so.
    product.productVersion = Field::BcdPlus("1.03");
    product.serialNumber = Field::Text("KS2200N" + serial);
    product.fruFileId = Field::Text(kFileId);
    product.custom = {Field::BcdPlus("2023-05-17")};
    return product;
}

// Board and product areas, with room for a longer serial number or asset
// tag, as factories leave it.
FruImageBuilder Compact(std::string_view name, const std::string& serial) {
    FruImageBuilder builder;
    builder.Board(SampleBoard(name, serial)).Product(SampleProduct(serial));
    builder.AreaBytes(Area::kBoard, 104).AreaBytes(Area::kProduct, 112);
    return builder;
}

FruImageBuilder Full(std::string_view name, const std::string& serial) {
    FruImageBuilder builder = Compact(name, serial);
    ChassisInfo chassis;
    chassis.partNumber = Field::Text("KS-CH1U-01");
    chassis.serialNumber = Field::SixBitAscii("CH230517" + serial);
    builder.InternalUse({0x4B, 0x53, 0x01, 0x00, 0x20, 0x10, 0x00, 0x00})
        .Chassis(chassis)
        .AreaBytes(Area::kChassis, 40);
    // An 800 W supply: capacity, peak VA, inrush 40 A for 10 ms, input
    // 90-140 V and 180-264 V (10 mV units), 47-63 Hz, 20 ms drop-out,
    // hot-swap and autoswitch, 900 W peak for 1 s.
    builder.Record({kPowerSupplyRecord, 0x02, {0x20, 0x03, 0x84, 0x03, 0x28, 0x0A, 0x28, 0x23,
                                               0xB0, 0x36, 0x50, 0x46, 0x20, 0x67, 0x2F, 0x3F,
                                               0x14, 0x16, 0x84, 0x13, 0x00, 0x00, 0x00, 0x00}});
    const std::string system = "ks2200-node" + serial;
    std::vector<std::uint8_t> access = {kSystemNameSubRecord};
    access.insert(access.end(), system.begin(), system.end());
    builder.Record({kManagementAccessRecord, 0x02, access});
    builder.Record({kOemRecord, 0x02, {0x7D, 0x2A, 0x00, 0x01, 0x02, 0x00, 0x10, 0x00}});
    return builder;
}

}  // namespace

FruImageBuilder SampleFru(std::string_view deviceName, std::size_t capacity) {
    const std::string serial = SerialDigits(deviceName);
    FruImageBuilder full = Full(deviceName, serial);
    if (full.Build().size() <= capacity) return full;
    FruImageBuilder compact = Compact(deviceName, serial);
    if (compact.Build().size() <= capacity) return compact;
    throw std::invalid_argument("a FRU of " + std::to_string(capacity) +
                                " bytes cannot hold a sample image");
}

}  // namespace sim::fru

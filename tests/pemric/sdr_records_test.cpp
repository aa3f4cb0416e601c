// Crafted records of every type, each field's value checked against the
// bytes it came from, with the names and titles they make.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "pemric/pemric_status.h"
#include "record_fixture.h"

using namespace Pemric_Private;

namespace {

Bytes Record(std::uint16_t id, std::uint8_t type, const Bytes& body) {
    Bytes bytes{static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0x51, type,
                static_cast<std::uint8_t>(body.size())};
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

Bytes WithId(Bytes body, const std::string& id) {
    body.insert(body.end(), id.begin(), id.end());
    return body;
}

using Fields = std::map<unsigned, std::wstring>;

class Records : public RecordTest {
  protected:
    void ExpectFields(CSdr& record, const Fields& fields) {
        for (const auto& [index, value] : fields) EXPECT_EQ(Value(record, index), value) << index;
    }
};

// A temperature sensor with thresholds and all its factors.
const Bytes kFullSensorBody = WithId(
    {0x21, 0x0D, 0x30, 0x03, 0x61, 0xFF, 0x68, 0x01, 0x01, 0x95, 0xFA, 0x11, 0x80, 0xFF, 0xC1,
     0x80, 0x01, 0x00, 0xC1, 0x55, 0x9A, 0x01, 0x4C, 0xA6, 0xE2, 0x07, 0x19, 0x32, 0x0A, 0x7F,
     0x80, 0x5A, 0x55, 0x50, 0x05, 0x0A, 0x0F, 0x02, 0x03, 0x00, 0x00, 0x44, 0xC6},
    "Fan 1A");

TEST_F(Records, FullSensorWithThresholds) {
    std::unique_ptr<CSdr> record = Decoded(Record(0x002A, 0x01, kFullSensorBody));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{0, L"002Ah"},
                           {1, L"51h"},
                           {2, L"01h"},
                           {3, L"31h"},
                           {4, L"20h"},
                           {5, L"01h"},
                           {6, L"30h"},
                           {7, L"03h Processor"},
                           {8, L"61h"},
                           {9, L"7Fh"},
                           {10, L"68h"},
                           {11, L"01h (Temperature)"},
                           {12, L"01h (Threshold)"},
                           {13, L"7A95h"},
                           {14, L"0011h"},
                           {15, L"013Fh"},
                           {16, L"80h"},
                           {17, L"01h degrees C"},
                           {18, L"00h unspecified"},
                           {19, L"01h"},
                           {20, L"10 0101 0101b"},
                           {21, L"01 1010b"},
                           {22, L"01 0000 0001b"},
                           {23, L"10 1000 1100b"},
                           {24, L"01b"},
                           {25, L"(reserved)"},
                           {26, L"1110b"},
                           {27, L"0010b"},
                           {28, L"07h"},
                           {29, L"19h"},
                           {33, L"80h"},
                           {34, L"5Ah"},
                           {39, L"0Fh"},
                           {40, L"02h"},
                           {41, L"03h"},
                           {42, L"(reserved)"},
                           {43, L"(reserved)"},
                           {44, L"44h"},
                           {45, L"C6h"},
                           {46, L"Fan 1A"},
                           {47, L"No such field"}});
    EXPECT_EQ(Title(*record, 13), L"Lower Threshold Reading Mask");
    EXPECT_EQ(Title(*record, 15), L"Settable / Readable Threshold Mask");
    EXPECT_EQ(Title(*record, 46), L"ID String");
    EXPECT_EQ(Location(*record, 13), L"Bytes 15-16");
    EXPECT_EQ(Location(*record, 20), L"Byte 25, byte 26 bits 7:6");
    EXPECT_EQ(Location(*record, 45), L"Byte 48");
    EXPECT_EQ(Name(*record), L"Temperature: Fan 1A (record 002Ah, sensor 30h)");
    EXPECT_EQ(SdrTitle(*record), L"Full Sensor - Fan 1A");
    EXPECT_EQ(Log(), "");
}

TEST_F(Records, FullSensorWithoutThresholdsOrIdString) {
    Bytes body = kFullSensorBody;
    body.resize(43);
    body[2] = 0xFF;   // sensor number: reserved
    body[5] = 0x0F;   // thresholds not initialized
    body[6] = 0x40;   // no threshold access
    body[42] = 0x1F;  // no ID string
    std::unique_ptr<CSdr> record = Decoded(Record(0x002A, 0x01, body));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{6, L"Reserved"},
                           {9, L"0Fh"},
                           {15, L"41FFh"},
                           {34, L""},
                           {39, L""},
                           {45, L"1Fh"},
                           {46, L""}});
    EXPECT_EQ(Title(*record, 13), L"Assertion Event Mask");
    EXPECT_EQ(Title(*record, 14), L"Deassertion Event Mask");
    EXPECT_EQ(Title(*record, 15), L"Discrete Reading Mask");
    EXPECT_EQ(Name(*record), L"Temperature (record 002Ah, sensor Reserved)");
    EXPECT_EQ(SdrTitle(*record), L"Full Sensor");
}

TEST_F(Records, CompactSensor) {
    const Bytes body =
        WithId({0x20, 0x00, 0x51, 0x0A, 0x01, 0x67, 0x40, 0x08, 0x6F, 0x07, 0x00, 0x07, 0x80, 0x07,
                0x00, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC7},
               "PS Stat");
    std::unique_ptr<CSdr> record = Decoded(Record(0x0003, 0x02, body));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{0, L"0003h"},
                           {6, L"51h"},
                           {7, L"0Ah Power supply"},
                           {11, L"08h (Power Supply)"},
                           {12, L"6Fh (Sensor-specific)"},
                           {13, L"0007h"},
                           {14, L"0007h"},
                           {17, L"00h unspecified"},
                           {19, L"0102h"},
                           {22, L"(reserved)"},
                           {24, L"(reserved)"},
                           {26, L"C7h"},
                           {27, L"PS Stat"}});
    EXPECT_EQ(Title(*record, 19), L"Sensor Record Sharing");
    EXPECT_EQ(Location(*record, 27), L"Byte 33 to the end");
    EXPECT_EQ(Name(*record), L"Power Supply: PS Stat (record 0003h, sensor 51h)");
    EXPECT_EQ(SdrTitle(*record), L"Compact or Event-Only Sensor - PS Stat");
}

TEST_F(Records, EventOnlySensorAndTheTwoEntityFormats) {
    Bytes body = WithId({0x20, 0x00, 0x81, 0x26, 0x01, 0x23, 0x6F, 0x01, 0x00, 0x00, 0x00, 0xC8},
                        "Watchdog");
    std::unique_ptr<CSdr> record = Decoded(Record(0x0004, 0x03, body));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{7, L"26h (Reserved)"},
                           {9, L"23h (Watchdog 2)"},
                           {10, L"6Fh (Sensor-specific)"},
                           {11, L"0001h"},
                           {12, L"(reserved)"},
                           {13, L"00h"},
                           {14, L"Watchdog"},
                           {15, L"C8h"}});
    EXPECT_EQ(Name(*record), L"Watchdog 2: Watchdog (record 0004h, sensor 81h)");
    EXPECT_EQ(SdrTitle(*record), L"Compact or Event-Only Sensor - Watchdog");

    body[3] = 0x25;
    record = Decoded(Record(0x0004, 0x03, body));
    EXPECT_EQ(Value(*record, 7), L"25h Group");
}

TEST_F(Records, EntityAssociation) {
    const Bytes body{0x17, 0x01, 0x80, 0x07, 0x01, 0x90, 0x02, 0x00, 0x00, 0x1D, 0x01};
    std::unique_ptr<CSdr> record = Decoded(Record(0x0008, 0x08, body));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{4, L"17h System chassis"},
                           {5, L"01h"},
                           {6, L"80h"},
                           {7, L"07h System board"},
                           {8, L"01h"},
                           {9, L"90h (Chassis-specific entity)"},
                           {11, L"00h Unspecified"},
                           {13, L"1Dh Fan / cooling device"},
                           {14, L"01h"}});
    EXPECT_EQ(Title(*record, 7), L"Contained Entity 1 ID");
    EXPECT_EQ(Name(*record), L"Entity association (record 0008h)");
    EXPECT_EQ(SdrTitle(*record), L"Entity Association - 0008h");
}

TEST_F(Records, DeviceRelativeEntityAssociation) {
    std::unique_ptr<CSdr> record = Decoded(CountingRecord(0x09, 27));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{4, L"00h Unspecified"},
                           {5, L"01h"},
                           {9, L"05h"},
                           {11, L"07h System board"},
                           {12, L"08h"},
                           {15, L"0Bh Add-in card"},
                           {19, L"0Fh Drive backplane"},
                           {23, L"13h Power unit"},
                           {24, L"14h"},
                           {25, L"(reserved)"},
                           {30, L"(reserved)"}});
    EXPECT_EQ(Title(*record, 9), L"Contained Device 1 Address");
    EXPECT_EQ(Name(*record), L"Device-relative entity association (record 0102h)");
    EXPECT_EQ(SdrTitle(*record), L"Device-relative Entity Association - 0102h");
}

TEST_F(Records, GenericDeviceLocatorModifiersFollowTheDeviceType) {
    Bytes body = WithId({0x20, 0x52, 0x00, 0x00, 0x00, 0x08, 0x02, 0x07, 0x01, 0x00, 0xC3}, "EEP");
    std::unique_ptr<CSdr> record = Decoded(Record(0x0010, 0x10, body));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{5, L"52h"},
                           {8, L"(reserved)"},
                           {9, L"08h (24C01 EEPROM)"},
                           {10, L"02h (IPMI FRU inventory)"},
                           {11, L"07h System board"},
                           {14, L"C3h"},
                           {15, L"EEP"}});
    EXPECT_EQ(Name(*record), L"24C01 EEPROM: EEP (record 0010h)");
    EXPECT_EQ(SdrTitle(*record), L"Generic Device Locator - EEP");

    body[5] = 0x05;
    body[6] = 0x01;
    record = Decoded(Record(0x0010, 0x10, body));
    EXPECT_EQ(Value(*record, 10), L"01h (Heceta 2 (LM79))");
}

TEST_F(Records, FruDeviceLocatorWithoutIdString) {
    const Bytes body{0x20, 0x00, 0x80, 0x00, 0x00, 0x10, 0x10, 0x0B, 0x02, 0x00, 0xC0};
    std::unique_ptr<CSdr> record = Decoded(Record(0x0011, 0x11, body));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{6, L"80h"},
                           {9, L"10h (FRU inventory device behind a management controller)"},
                           {10, L"10h (Standard device)"},
                           {11, L"0Bh Add-in card"},
                           {15, L""}});
    EXPECT_EQ(Title(*record, 11), L"FRU Entity ID");
    EXPECT_EQ(Name(*record), L"FRU inventory device behind a management controller (record 0011h)");
    EXPECT_EQ(SdrTitle(*record), L"FRU Device Locator - ");
}

TEST_F(Records, ControllerLocatorIsNamedByItsEntity) {
    const Bytes body =
        WithId({0x20, 0x00, 0x00, 0xBF, 0x00, 0x00, 0x00, 0x06, 0x01, 0x00, 0xC3}, "BMC");
    std::unique_ptr<CSdr> record = Decoded(Record(0x0012, 0x12, body));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{7, L"BFh"},
                           {8, L"(reserved)"},
                           {9, L"(reserved)"},
                           {10, L"(reserved)"},
                           {11, L"06h System management module"},
                           {15, L"BMC"}});
    EXPECT_EQ(Name(*record), L"System management module: BMC (record 0012h)");
    EXPECT_EQ(SdrTitle(*record), L"Management Controller Device Locator - BMC");
}

TEST_F(Records, ControllerConfirmation) {
    Bytes body{0x20, 0x20, 0x01, 0x01, 0x02, 0x51, 0x00, 0x01, 0x57, 0x00, 0x4A};
    for (std::uint8_t i = 0; i < 16; ++i) body.push_back(i);
    std::unique_ptr<CSdr> record = Decoded(Record(0x0013, 0x13, body));
    ASSERT_NE(record, nullptr);
    const std::wstring guid = L"00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ";
    ExpectFields(*record, {{4, L"20h"}, {9, L"51h"}, {10, L"000157h"}, {11, L"004Ah"}, {12, guid}});
    EXPECT_EQ(Name(*record), guid + L" (record 0013h)");
    EXPECT_EQ(SdrTitle(*record), L"Management Controller Confirmation - " + guid);
}

TEST_F(Records, ControllerConfirmationWithoutManufacturerOrProduct) {
    struct Case {
        Bytes ids;  // manufacturer ID, then product ID
        std::wstring manufacturer;
        std::wstring product;
    };
    for (const Case& c : {Case{{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, L"", L""},
                          Case{{0x0F, 0xFF, 0xFF, 0x00, 0x00}, L"", L"Unspecified"},
                          Case{{0xF0, 0x00, 0x01, 0x12, 0x34}, L"000001h", L"1234h"}}) {
        Bytes body{0x20, 0x20, 0x01, 0x01, 0x02, 0x51};
        body.insert(body.end(), c.ids.begin(), c.ids.end());
        body.resize(27);
        std::unique_ptr<CSdr> record = Decoded(Record(0x0013, 0x13, body));
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(Value(*record, 10), c.manufacturer);
        EXPECT_EQ(Value(*record, 11), c.product);
    }
}

TEST_F(Records, MessageChannelInfo) {
    Bytes body = CountingRecord(0x14, 11);
    body[13] = 0xFF;
    body[14] = 0x60;
    std::unique_ptr<CSdr> record = Decoded(body);
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{4, L"00h"},
                           {11, L"07h"},
                           {12, L"No interrupt"},
                           {13, L"Assigned by ACPI / plug and play BIOS"},
                           {14, L"(reserved)"}});
    body[13] = 0x13;
    body[14] = 0x5F;
    record = Decoded(body);
    ExpectFields(*record, {{12, L"PCI D"}, {13, L"System interrupt 63"}});
    EXPECT_EQ(Title(*record, 12), L"Messaging Interrupt Type");
    EXPECT_EQ(Name(*record), L"BMC message channels (record 0102h)");
    EXPECT_EQ(SdrTitle(*record), L"BMC Message Channel Info");
}

TEST_F(Records, OemDataAsTextOrAsBytes) {
    const Bytes text = WithId({0x00, 0x01, 0x57}, "SDR Version 1.23");
    std::unique_ptr<CSdr> record = Decoded(Record(0x00C0, 0xC0, text));
    ASSERT_NE(record, nullptr);
    ExpectFields(*record, {{4, L"000157h"}, {5, L"SDR Version 1.23"}});
    EXPECT_EQ(Name(*record), L"OEM data (record 00C0h)");
    EXPECT_EQ(SdrTitle(*record), L"OEM Record");

    record = Decoded(Record(0x00C0, 0xC0, {0x12, 0x34, 0x56, 0x01, 0x02, 0xFF}));
    ExpectFields(*record, {{4, L"123456h"}, {5, L"01 02 FF "}});
}

TEST_F(Records, TheLongestOemRecordKeepsAllItsData) {
    Bytes body{0x00, 0x01, 0x57};
    body.resize(59, 'x');
    std::unique_ptr<CSdr> record = Decoded(Record(0x00C0, 0xC0, body));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Value(*record, 5), std::wstring(56, L'x'));
}

}  // namespace

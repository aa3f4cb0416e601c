#include <gtest/gtest.h>

#include "hw/hw.h"
#include "sim/core/legacy_devices.h"
#include "sim/core/machine.h"

namespace {

TEST(SimPorts, UnclaimedPortsFloatHighAndIgnoreWrites) {
    sim::ResetMachine();
    hw::OutByte(0x2F8, 0x12);
    EXPECT_EQ(hw::InByte(0x2F8), 0xFF);
}

TEST(SimPorts, CmosIsReachedThroughItsIndexAndDataPorts) {
    sim::Machine& machine = sim::ResetMachine();
    hw::OutByte(0x70, 0x80 | 0x2E);  // bit 7 only gates NMI
    hw::OutByte(0x71, 0xA5);
    EXPECT_EQ(machine.Find<sim::CmosRam>()->Bytes()[0x2E], 0xA5);
    hw::OutByte(0x70, 0x2E);
    EXPECT_EQ(hw::InByte(0x71), 0xA5);
    const auto writes = machine.Log().Of("cmos");
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 0x2Eu);
    EXPECT_EQ(writes[0].value, 0xA5u);
}

TEST(SimPorts, PortAccessesAreLoggedOnlyWhenAsked) {
    sim::Machine& machine = sim::ResetMachine();
    hw::OutByte(0x80, 1);
    EXPECT_TRUE(machine.Log().Of("port").empty());
    machine.Log().RecordPorts(true);
    hw::OutByte(0x80, 2);
    hw::InByte(0x80);
    const auto ports = machine.Log().Of("port");
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].operation, "out");
    EXPECT_EQ(ports[0].address, 0x80u);
    EXPECT_EQ(ports[0].value, 2u);
    EXPECT_EQ(ports[1].operation, "in");
    EXPECT_EQ(ports[1].value, 2u);
    EXPECT_EQ(machine.Find<sim::PostCodePort>()->Writes(), 2u);
}

TEST(SimPorts, ClaimingAPortTwiceIsAConstructionFault) {
    sim::Machine& machine = sim::ResetMachine();
    sim::CmosRam* cmos = machine.Find<sim::CmosRam>();
    EXPECT_THROW(machine.Ports().Claim(0x71, 1, *cmos), std::logic_error);
}

TEST(SimPci, ConfigurationSpaceOfTheLpcBridge) {
    sim::Machine& machine = sim::ResetMachine();
    hw::PciAccess* access = hw::PciOpen();
    ASSERT_NE(access, nullptr);
    hw::PciDevice* lpc = hw::PciGetDevice(access, 0, 0, 31, 0);
    ASSERT_NE(lpc, nullptr);
    EXPECT_EQ(hw::PciRead16(lpc, 0x00), 0x8086);
    EXPECT_EQ(hw::PciRead32(lpc, 0x08) >> 8, 0x060100u);

    // Identification registers are read-only; chipset registers are not.
    hw::PciWrite16(lpc, 0x00, 0x1234);
    EXPECT_EQ(hw::PciRead16(lpc, 0x00), 0x8086);
    hw::PciWrite16(lpc, 0xDC, 0x0102);
    hw::PciWrite8(lpc, 0xDE, 0x03);
    EXPECT_EQ(hw::PciRead32(lpc, 0xDC), 0x00030102u);
    EXPECT_EQ(hw::PciRead8(lpc, 0xDD), 0x01);

    const auto log = machine.Log().Of("pci");
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].operation, "read");
    EXPECT_EQ(log[0].detail, "0:31.0");
    hw::PciClose(access);
}

TEST(SimPci, AbsentFunctionsReadAllOnes) {
    sim::ResetMachine();
    hw::PciAccess* access = hw::PciOpen();
    hw::PciDevice* absent = hw::PciGetDevice(access, 0, 3, 4, 5);
    ASSERT_NE(absent, nullptr);
    EXPECT_EQ(hw::PciRead16(absent, 0), 0xFFFF);
    EXPECT_EQ(hw::PciRead32(absent, 0xF0), 0xFFFFFFFFu);
    EXPECT_EQ(hw::PciRead8(absent, 0x0E), 0xFF);
    hw::PciClose(access);
}

}  // namespace

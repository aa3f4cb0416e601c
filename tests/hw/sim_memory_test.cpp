// Physical memory of the simulated server seen through the memory device:
// views answer through the machine, so RAM, ROM, holes and device registers
// behave as they would on the bus.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

#include "hw/hw.h"
#include "sim/core/machine.h"

namespace {

class RecordingRegisters : public sim::MmioHandler {
  public:
    struct Access {
        bool write;
        std::uint64_t offset;
        unsigned width;
        std::uint32_t value;
    };
    std::vector<Access> accesses;
    std::uint32_t MmioRead(std::uint64_t offset, unsigned width) override {
        accesses.push_back({false, offset, width, 0});
        return 0xC0DE0000u | static_cast<std::uint32_t>(offset);
    }
    void MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) override {
        accesses.push_back({true, offset, width, value});
    }
};

class SimMemory : public ::testing::Test {
  protected:
    void SetUp() override {
        machine = &sim::ResetMachine();
        fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
        ASSERT_GE(fd, 0);
    }
    void* Map(std::uint64_t address, std::size_t length) {
        return hw::MapDevice(fd, address, length, PROT_READ | PROT_WRITE, MAP_SHARED);
    }
    sim::Machine* machine = nullptr;
    int fd = -1;
};

TEST_F(SimMemory, WritesThroughAViewLandInRam) {
    auto* bios = static_cast<std::uint8_t*>(Map(0xF0000, 0xFFFF));
    ASSERT_NE(bios, MAP_FAILED);
    hw::Write32(bios + 0x10, 0x46534124);  // "$ASF"
    hw::Write8(bios + 0x14, 0x20);
    const auto bytes = machine->Memory().Bytes(0xF0010, 5);
    ASSERT_EQ(bytes.size(), 5u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "$ASF");
    EXPECT_EQ(bytes[4], 0x20);
    EXPECT_EQ(hw::Read16(bios + 0x12), 0x4653);
    EXPECT_EQ(hw::UnmapDevice(bios, 0xFFFF), 0);
}

TEST_F(SimMemory, BulkCopiesRoundTrip) {
    // RAM above 1 MiB: what host.strict_devmem=0 allows, as strict /dev/mem
    // would refuse it.
    machine->Host().SetStrictDevmem(false);
    auto* ram = static_cast<std::uint8_t*>(Map(0x200000, 4096));
    ASSERT_NE(ram, MAP_FAILED);
    std::vector<std::uint8_t> out(1024), in(1024);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i * 7);
    hw::CopyToMapped(ram + 512, out.data(), out.size());
    hw::CopyFromMapped(in.data(), ram + 512, in.size());
    EXPECT_EQ(in, out);
    EXPECT_EQ(machine->Memory().Bytes(0x200200, 1)[0], out[0]);
}

TEST_F(SimMemory, HolesFloatHighAndRomIgnoresWrites) {
    // Below the BIOS flash window and its lock registers on every board.
    machine->Memory().AddRom("test-rom", 0xFE000000, 0x1000).bytes[0] = 0x5A;
    auto* rom = static_cast<std::uint8_t*>(Map(0xFE000000, 0x2000));
    ASSERT_NE(rom, MAP_FAILED);
    hw::Write8(rom, 0x00);
    EXPECT_EQ(hw::Read8(rom), 0x5A);
    EXPECT_EQ(hw::Read32(rom + 0x1000), 0xFFFFFFFFu);  // past the ROM: nothing answers
    // An access that straddles the ROM's end is served byte by byte.
    EXPECT_EQ(hw::Read16(rom + 0xFFF), 0xFFFF);
}

TEST_F(SimMemory, RegisterAccessesReachTheHandlerWithTheirWidth) {
    RecordingRegisters registers;
    // As a chipset block at C000h of its 64 KB, away from the board's own RCBA.
    machine->Memory().AddMmio("regs", 0xFEB1C000, 0x4000, registers);
    auto* view = static_cast<std::uint8_t*>(Map(0xFEB10000, 0x10000));
    ASSERT_NE(view, MAP_FAILED);
    EXPECT_EQ(hw::Read32(view + 0xF410), 0xC0DE3410u);
    hw::Write16(view + 0xF800, 0x1234);
    hw::Write8(view + 0xF804, 0x06);
    ASSERT_EQ(registers.accesses.size(), 3u);
    EXPECT_FALSE(registers.accesses[0].write);
    EXPECT_EQ(registers.accesses[0].offset, 0x3410u);
    EXPECT_EQ(registers.accesses[0].width, 4u);
    EXPECT_TRUE(registers.accesses[1].write);
    EXPECT_EQ(registers.accesses[1].width, 2u);
    EXPECT_EQ(registers.accesses[1].value, 0x1234u);
    EXPECT_EQ(registers.accesses[2].offset, 0x3804u);
    EXPECT_EQ(registers.accesses[2].width, 1u);
}

TEST_F(SimMemory, MappingsTheKernelRefuses) {
    struct Case {
        std::uint64_t address;
        int error;
    } cases[] = {
        {0xF0001, EINVAL},  // not page aligned, as Linux refuses
        {0xE1230, EINVAL},
        {0x10000, EPERM},  // refused below by the fault
    };
    machine->Host().Faults().refusedMappings.push_back({0x10000, 0x1000, EPERM});
    for (const Case& c : cases) {
        errno = 0;
        EXPECT_EQ(Map(c.address, 0x100), MAP_FAILED) << std::hex << c.address;
        EXPECT_EQ(errno, c.error) << std::hex << c.address;
    }
    EXPECT_NE(Map(0x11000, 0x100), MAP_FAILED);
}

TEST_F(SimMemory, UnmapNeedsAView) {
    int local = 0;
    EXPECT_EQ(hw::UnmapDevice(&local, 4), -1);
    EXPECT_EQ(errno, EINVAL);
    void* view = Map(0xF0000, 0xFFFF);
    machine->Host().Faults().unmapErrno = EINVAL;
    EXPECT_EQ(hw::UnmapDevice(view, 0xFFFF), -1);
    machine->Host().Faults().unmapErrno = 0;
    EXPECT_EQ(hw::UnmapDevice(view, 0xFFFF), 0);
    EXPECT_EQ(machine->Views().Count(), 0u);
}

TEST_F(SimMemory, AccessorsOnOrdinaryMemoryActDirectly) {
    std::uint32_t word = 0;
    hw::Write32(&word, 0xDEADBEEF);
    EXPECT_EQ(word, 0xDEADBEEFu);
    EXPECT_EQ(hw::Read16(&word), 0xBEEF);
}

// Code that bypasses the accessors and dereferences a view would read stale
// or nothing on a device; in the simulated build it faults at once.
TEST_F(SimMemory, DirectDereferenceOfAViewFaults) {
    auto* view = static_cast<volatile std::uint8_t*>(Map(0xF0000, 0x1000));
    ASSERT_NE(view, MAP_FAILED);
    EXPECT_DEATH({ (void)*view; }, "");
}

}  // namespace

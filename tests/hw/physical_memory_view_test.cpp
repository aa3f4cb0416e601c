// The mapped-range view over the simulated server: accesses outside the
// view never reach the bus, and each mapping is given back exactly once,
// however the view ends.
#include "hw/physical_memory_view.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <memory>
#include <utility>

#include "sim/core/machine.h"

namespace {

using hw::PhysicalMemoryView;

// A register block that reports every access to the machine's request log,
// component "regs", as the simulated devices do.
class LoggedRegisters : public sim::MmioHandler {
  public:
    explicit LoggedRegisters(sim::RequestLog& log) : mLog(log) {}
    std::uint32_t MmioRead(std::uint64_t offset, unsigned width) override {
        mLog.Add({"regs", "read", offset, 0, width, ""});
        return 0;
    }
    void MmioWrite(std::uint64_t offset, unsigned width, std::uint32_t value) override {
        mLog.Add({"regs", "write", offset, value, width, ""});
    }

  private:
    sim::RequestLog& mLog;
};

// Registers at FEB1C000h (free on every board, unlike the chipset's own
// block at FED1C000h), viewed from 10h bytes into their first page, so the
// view's offsets are not the mapping's.
constexpr std::uint64_t kRegisters = 0xFEB1C000;
constexpr std::uint64_t kViewed = kRegisters + 0x10;
constexpr std::size_t kViewLength = 0x20;

class PhysicalMemoryViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        machine = &sim::ResetMachine();
        registers = std::make_unique<LoggedRegisters>(machine->Log());
        machine->Memory().AddMmio("regs", kRegisters, 0x1000, *registers);
        fd = hw::OpenDevice(hw::kPhysicalMemoryDevice, O_RDWR);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override { hw::CloseDevice(fd); }

    PhysicalMemoryView MapRegisters() {
        auto view = PhysicalMemoryView::Map(fd, kViewed, kViewLength,
                                            PhysicalMemoryView::Access::kReadWrite);
        EXPECT_TRUE(view.has_value());
        return std::move(*view);
    }
    std::vector<sim::LogEntry> RegisterAccesses() const { return machine->Log().Of("regs"); }
    std::vector<std::uint64_t> Logged(const char* operation) const {
        std::vector<std::uint64_t> lengths;
        for (const sim::LogEntry& e : machine->Log().Of("host")) {
            if (e.operation == operation) lengths.push_back(e.value);
        }
        return lengths;
    }

    sim::Machine* machine = nullptr;
    std::unique_ptr<LoggedRegisters> registers;
    int fd = -1;
};

// The last byte of each width is served; one byte further is refused without
// a bus cycle, as is an offset that would wrap the arithmetic round.
TEST_F(PhysicalMemoryViewTest, AccessesOutsideTheViewNeverReachTheBus) {
    struct Case {
        std::uint64_t offset;
        unsigned width;
        bool inside;
    } cases[] = {
        {0, 1, true},
        {kViewLength - 1, 1, true},
        {kViewLength, 1, false},
        {kViewLength - 2, 2, true},
        {kViewLength - 1, 2, false},
        {kViewLength - 4, 4, true},
        {kViewLength - 3, 4, false},
        {std::numeric_limits<std::uint64_t>::max() - 1, 4, false},
    };
    PhysicalMemoryView view = MapRegisters();
    for (const Case& c : cases) {
        machine->Log().Clear();
        bool read = false;
        bool written = false;
        switch (c.width) {
            case 1:
                read = view.Read8(c.offset).has_value();
                written = view.Write8(c.offset, 0x5A);
                break;
            case 2:
                read = view.Read16(c.offset).has_value();
                written = view.Write16(c.offset, 0x5A5A);
                break;
            default:
                read = view.Read32(c.offset).has_value();
                written = view.Write32(c.offset, 0x5A5A5A5A);
                break;
        }
        EXPECT_EQ(read, c.inside) << c.offset << "/" << c.width;
        EXPECT_EQ(written, c.inside) << c.offset << "/" << c.width;
        const std::vector<sim::LogEntry> accesses = RegisterAccesses();
        if (!c.inside) {
            EXPECT_TRUE(accesses.empty()) << c.offset << "/" << c.width;
            continue;
        }
        ASSERT_EQ(accesses.size(), 2u) << c.offset << "/" << c.width;
        for (const sim::LogEntry& access : accesses) {
            EXPECT_EQ(access.address, kViewed - kRegisters + c.offset);
            EXPECT_EQ(access.width, c.width);
        }
        EXPECT_EQ(accesses[0].operation, "read");
        EXPECT_EQ(accesses[1].operation, "write");
    }
}

TEST_F(PhysicalMemoryViewTest, CopiesOutsideTheViewNeverReachTheBus) {
    PhysicalMemoryView view = MapRegisters();
    std::array<std::uint8_t, 4> bytes{1, 2, 3, 4};
    EXPECT_FALSE(view.CopyOut(kViewLength - 3, bytes));
    EXPECT_FALSE(view.CopyIn(kViewLength - 3, bytes));
    EXPECT_TRUE(RegisterAccesses().empty());

    EXPECT_TRUE(view.CopyIn(kViewLength - 4, bytes));
    EXPECT_TRUE(view.CopyOut(kViewLength - 4, bytes));
    const std::vector<sim::LogEntry> accesses = RegisterAccesses();
    ASSERT_EQ(accesses.size(), 8u);
    EXPECT_EQ(accesses[0].operation, "write");
    EXPECT_EQ(accesses[0].address, kViewed - kRegisters + kViewLength - 4);
    EXPECT_EQ(accesses[0].value, 1u);
    EXPECT_EQ(accesses[7].operation, "read");
    EXPECT_EQ(accesses[7].address, kViewed - kRegisters + kViewLength - 1);
}

// The mapping starts at the page that holds the address and covers exactly
// the bytes asked for from there; that is what goes back to the system.
TEST_F(PhysicalMemoryViewTest, UnmappedOnceWhenTheViewGoes) {
    {
        const PhysicalMemoryView view = MapRegisters();
        EXPECT_EQ(view.Size(), kViewLength);
        EXPECT_EQ(machine->Views().Count(), 1u);
        EXPECT_TRUE(Logged("munmap").empty());
    }
    EXPECT_EQ(machine->Views().Count(), 0u);
    const std::uint64_t mapped = kViewed - kRegisters + kViewLength;
    EXPECT_EQ(Logged("mmap"), std::vector<std::uint64_t>{mapped});
    EXPECT_EQ(Logged("munmap"), std::vector<std::uint64_t>{mapped});
}

TEST_F(PhysicalMemoryViewTest, AMovedViewIsUnmappedOnceByItsNewOwner) {
    {
        PhysicalMemoryView first = MapRegisters();
        PhysicalMemoryView second = std::move(first);
        EXPECT_EQ(first.Size(), 0u);  // NOLINT(bugprone-use-after-move): moved-from is empty
        EXPECT_FALSE(first.Read8(0).has_value());
        EXPECT_EQ(first.Unmap(), 0);
        EXPECT_TRUE(Logged("munmap").empty());
        EXPECT_TRUE(second.Read8(0).has_value());
    }
    EXPECT_EQ(Logged("munmap").size(), 1u);
    EXPECT_EQ(machine->Views().Count(), 0u);
}

// Assigning over a view gives its own mapping back first.
TEST_F(PhysicalMemoryViewTest, AssigningOverAViewUnmapsWhatItHeld) {
    PhysicalMemoryView held = MapRegisters();
    auto other =
        PhysicalMemoryView::Map(fd, 0xF0000, 0xFFFF, PhysicalMemoryView::Access::kReadOnly);
    ASSERT_TRUE(other.has_value());
    held = std::move(*other);
    EXPECT_EQ(Logged("munmap"), std::vector<std::uint64_t>{kViewed - kRegisters + kViewLength});
    EXPECT_EQ(held.Size(), 0xFFFFu);
    other.reset();
    EXPECT_EQ(Logged("munmap").size(), 1u);
    EXPECT_EQ(held.Unmap(), 0);
    EXPECT_EQ(Logged("munmap").size(), 2u);
    EXPECT_EQ(machine->Views().Count(), 0u);
}

// A refused unmap is reported once and not tried again when the view goes:
// the mapping is the caller's to report, not to give back twice.
TEST_F(PhysicalMemoryViewTest, ARefusedUnmapIsReportedAndNotRepeated) {
    {
        PhysicalMemoryView view = MapRegisters();
        machine->Host().Faults().unmapErrno = EINVAL;
        errno = 0;
        EXPECT_EQ(view.Unmap(), -1);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(view.Size(), 0u);
        machine->Host().Faults().unmapErrno = 0;
    }
    EXPECT_EQ(Logged("munmap").size(), 1u);
}

TEST_F(PhysicalMemoryViewTest, ARefusedMappingGivesNoViewAndTheReason) {
    machine->Host().Faults().refusedMappings.push_back({0xE0000, 0x1000, EPERM});
    errno = 0;
    EXPECT_FALSE(
        PhysicalMemoryView::Map(fd, 0xE0040, 0x100, PhysicalMemoryView::Access::kReadOnly));
    EXPECT_EQ(errno, EPERM);
    EXPECT_EQ(Logged("mmap"), std::vector<std::uint64_t>{0x140});
    EXPECT_TRUE(Logged("munmap").empty());
    EXPECT_EQ(machine->Views().Count(), 0u);
}

}  // namespace

// The chipset's SPI host interface as software sequencing drives it: a
// program writes the address (SPIA / FADDR), the data (SPID / FDATA, 64
// bytes), then the control word (SPIC / SSFC) with its go bit, and the
// controller runs one cycle on the SPI bus:
//   SPIC bit 1   go (SCGO): starts the cycle, reads back 0
//        bit 2   atomic (ACS): PREOP[bit 3] runs first as a cycle of its
//                own, and after the command the controller reads the part's
//                status (05h) until its busy bit clears; SCIP stays set and
//                cycle done stays clear until then
//        bits 6:4 the OPMENU entry (COP) whose opcode is sent
//        bits 13:8 data bytes - 1 (DBC), bit 14 a data phase (DS)
// OPTYPE gives each menu entry's type, two bits per entry from bit 0: 00b
// read without address, 01b write without address, 10b read with address,
// 11b write with address. The controller does what the type says whatever
// the opcode: it sends the address bytes when the type has an address, the
// data from SPID on a write, or clocks in the data into SPID on a read, and
// the part makes of the bytes what it makes of them (sim/chipset/
// spi_flash.h). So 04h typed "read with address" goes out with three
// address bytes and still disables writes; 03h typed "read without address"
// makes the part take the first three bytes read as its address, 000000h,
// and the first three bytes read back are FFh.
//
// SPIS (ICH7, 16 bits) / SSFS (ICH9, 8 bits): bit 0 SCIP (cycle in
// progress), bit 2 CDS (cycle done), bit 3 BAS on ICH7 / FCERR on ICH9 (the
// cycle was blocked: it had an address below BBAR); CDS and BAS/FCERR clear
// by writing 1. The configuration lock (ICH7 SPIS bit 15, ICH9 HSFS bit 15)
// is write-once: with it set, PREOP, OPTYPE, OPMENU and BBAR ignore writes.
// BBAR bits 23:8 are the lowest flash offset a cycle may address.
//
// The BIOS leaves PREOP at 06h (byte 0) and 50h (byte 1) and a menu of its
// own. Without a part on the SPI bus (an LPC board) the controller reads
// FFh, so a status poll of an atomic cycle never ends.
//
// Log "spi": documented in sim/chipset/chipset.h.
#ifndef SRVFW_SIM_CHIPSET_SPI_CONTROLLER_H
#define SRVFW_SIM_CHIPSET_SPI_CONTROLLER_H

#include <cstdint>
#include <vector>

#include "sim/chipset/board.h"
#include "sim/chipset/spi_flash.h"
#include "sim/core/fault_count.h"
#include "sim/core/request_log.h"

namespace sim {

// Where the registers lie in the block.
struct SpiRegisterLayout {
    std::uint32_t blockOffset;  // from RCBA
    std::uint32_t blockBytes;
    std::uint32_t status, control, address, data, bbar, preop, optype, opmenu;
    std::uint8_t blockedBit;  // BAS or FCERR in the status byte
    std::uint32_t lockByte;   // the byte holding the lock in its bit 7
};

const SpiRegisterLayout& LayoutOf(SpiLayout layout);

class SpiController {
  public:
    // part: null when no part sits on the SPI bus.
    // lockedDown: the BIOS locked the configuration at POST.
    SpiController(SpiLayout layout, SpiFlash* part, RequestLog& log, const Settings& settings,
                  bool lockedDown);

    const SpiRegisterLayout& Layout() const { return mLayout; }
    // Offsets from the start of the block.
    std::uint32_t Read(std::uint32_t offset, unsigned width);
    void Write(std::uint32_t offset, unsigned width, std::uint32_t value);

    // The registers' bytes, kept in the state directory.
    const std::vector<std::uint8_t>& Bytes() const { return mBytes; }
    void Restore(const std::vector<std::uint8_t>& bytes);

  private:
    void WriteByte(std::uint32_t offset, std::uint8_t value);
    bool Locked() const;
    std::uint32_t Value(std::uint32_t offset, unsigned width) const;
    void RunCycle();
    void FinishAtomicCycle();
    std::vector<std::uint8_t> Transfer(const std::vector<std::uint8_t>& sent,
                                       std::size_t readCount);

    const SpiRegisterLayout& mLayout;
    SpiFlash* mPart;
    RequestLog& mLog;
    FaultCount mCycleHang;
    std::vector<std::uint8_t> mBytes;
    bool mAtomicPending = false;
};

}  // namespace sim

#endif

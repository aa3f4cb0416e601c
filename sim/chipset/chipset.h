// The chipset of the simulated board around its BIOS flash: the host
// bridge, the LPC bridge at 0:31.0 with its root complex register block
// (general control with the boot straps, the backed-up control register
// with top swap) and the SPI controller that reaches an SPI flash part.
// The board (sim/chipset/board.h) says which straps, layout and part.
//
// LPC bridge 0:31.0 (sim/chipset/lpc_bridge.h):
//   F0h RCBA     32 bits: base in bits 31:14, enable in bit 0; the BIOS sets
//                it to chipset.rcba | 1. A write moves the block; with the
//                enable clear the block is not decoded.
//   DCh BIOS_CNTL 8 bits: bit 0 BIOSWE (memory writes reach the BIOS
//                flash), bit 1 BLE (lock enable, write-once), bits 3:2 SRC.
//                With BLE set, setting BIOSWE raises an SMI whose handler
//                clears it again, so it does not stick.
//   4Eh, E3h     older bridge only (board.h): 4Eh is BIOS control as at DCh;
//                E3h FWH decode enable, FFh after reset, read/write.
// Root complex registers at RCBA (sim/chipset/root_complex_registers.h):
//   3410h GCS    32 bits: boot BIOS straps in bits 11:10 (11b LPC, 01b SPI,
//                10b PCI), BILD in bit 0 (write-once: locks the straps and
//                top swap)
//   3414h BUC    8 bits: top swap in bit 0 (drives BiosRange::TopSwap)
//   3020h / 3800h the SPI controller (sim/chipset/spi_controller.h)
// All of them keep their values in the state directory ("chipset.state"),
// as a running machine keeps them between one program and the next; after
// the board's settings change, the board starts as its BIOS leaves it.
//
// Settings (besides the board's, in board.h):
//   chipset.bios_lock=0          1: the BIOS set BLE at POST, so BIOS write
//                                enable will not stick
//   chipset.rcba_enabled=1       0: the BIOS left RCBA's enable clear
//   chipset.spi_lockdown=0       1: the BIOS locked the SPI configuration
//                                (SPIS bit 15 / HSFS FLOCKDN): PREOP,
//                                OPTYPE, OPMENU and BBAR ignore writes
// SPI part (sim/chipset/spi_flash.h):
//   spi.status=0                 status register as the BIOS left it at POST
//                                (protection bits clear: it unprotected the
//                                part to keep its own settings)
//   spi.program_us=200           one page, byte or first AAI program
//   spi.word_us=10               one further AAI word
//   spi.erase_us=25000           one 64 KB (or other block) erase
//   spi.write_status_us=15000    one write-status
// Faults:
//   spi.fault.erase=ADDR,...     an erase of the block holding flash offset
//                                ADDR fails: the cells stay as they were (on
//                                an Intel S33 part status bit 5 reports it)
//   spi.fault.program=ADDR,...   a program touching ADDR fails: the cells
//                                stay (Intel S33: status bit 6 reports it)
//   spi.fault.hang=ADDR,...      a program or erase touching ADDR never
//                                finishes: write-in-progress stays set
//   spi.fault.stuck_busy=0       1: the part's write-in-progress bit is set
//                                from the start and never clears; it
//                                answers nothing but 05h
//   spi.fault.cycle_hang=TIMES   TIMES (a count or "always") SPI cycles
//                                never complete: SCIP stays set, cycle done
//                                never comes, and the controller starts no
//                                cycle after it
//   spi.fault.jedec_id=0xMMDDDD  the part answers JEDEC ID 9Fh with these
//                                three bytes (manufacturer first)
//
// Request log "spi": one entry per cycle the controller runs: operation the
// opcode's name ("read", "fast-read", "page-program", "block-erase",
// "block-erase-32k", "sector-erase", "chip-erase", "read-status",
// "write-status", "write-enable", "write-disable", "enable-write-status",
// "read-jedec-id", "aai-word-program", or "opcode-XXh"), address the flash
// offset in SPIA (bits 23:0), value the data byte count (0 without a data
// phase), width 0, detail "type=TYPE" (read, write, read-addr, write-addr as
// OPTYPE gave it) then " prefix=XX" for an atomic cycle, then " blocked"
// (below BBAR), " hang" (the cycle never completes) as they apply.
// Request log "chipset": "smi" when BLE made the BIOS clear BIOSWE.
// simctl DIR chipset-show (and show) print the board, BIOS control, straps,
// top swap, the SPI menu and the SPI part's status as the state holds them.
#ifndef SRVFW_SIM_CHIPSET_CHIPSET_H
#define SRVFW_SIM_CHIPSET_CHIPSET_H

#include "sim/core/machine.h"
#include "sim/flash/flash_part.h"

namespace sim {

// Adds the chipset's devices; the machine's BiosRange is added already.
void AddChipset(Machine& machine, FlashPart& biosFlash);

}  // namespace sim

#endif

// The FRU inventory storage of the simulated server: logical FRU devices
// that the BMC and the satellite controllers serve with the IPMI FRU
// inventory commands, and serial EEPROMs on the controllers' buses that
// Master Write-Read reaches. Contents survive from one process to the next
// in the state directory, as an EEPROM keeps them.
//
// COMMANDS, on the BMC and on every satellite that has a device of the kind
// (a satellite is reached by bridging, Send Message and Get Message); a
// satellite without one answers C1h. Each command checks in the order
// listed; a request to a LUN other than 0 answers C2h first.
//
// Get FRU Inventory Area Info (0Ah/10h): data = FRU device ID.
//   C7h not 1 byte; CCh ID FFh (reserved); CBh no device of that ID;
//   00h with size (LS byte first) and access byte 00h (byte addressed).
// Read FRU Data (0Ah/11h): ID, offset LS, offset MS, count.
//   C7h not 4 bytes; CCh/CBh as above; C0h busy (fault); C9h offset at or
//   past the end; the read limit answer (CAh) when count > max_read; FFh a
//   failing cell in the range (fault); 00h with count returned and the
//   bytes. A read running past the end returns the bytes up to the end,
//   count returned saying how many. With read_limit_cc=short an over-long
//   read returns max_read bytes the same way.
// Write FRU Data (0Ah/12h): ID, offset LS, offset MS, data.
//   C7h fewer than 3 bytes; CCh/CBh; C0h busy; C9h offset past the end
//   (at the end, with data); the write limit answer (C7h) when the data
//   exceed max_write; C9h data running past the end; no answer at all
//   when a silent write strikes (fault); 80h a write-protected byte in the
//   range; FFh a failing cell; 00h with count written. Every refusal
//   writes nothing: no partial writes. A lost write (fault) answers 00h
//   with the full count and keeps the old contents; a short write (fault)
//   keeps the first bytes only and answers 00h with their count.
// Master Write-Read (06h/52h): bus ID byte, slave address, read count,
//   data to write.
//   C7h fewer than 3 bytes; CCh a bus the controller does not have (a bus
//   is there when a device is configured on it; see BusKey); 83h no device
//   at that slave address (its address is not acknowledged); C0h busy; the
//   limit answers when the read count exceeds max_read (CAh) or the data
//   to write, address bytes included, exceed max_write (C7h); then by
//   device form:
//     addr16   data = address high, address low, bytes to write
//     cmd17    data = 17h, address, bytes to write; another command byte
//              is not acknowledged (83h)
//   83h a write to a write-protected device (the part does not acknowledge
//   the data); 82h a failing cell (fault); 00h with the bytes read. Without
//   data the read continues at the device's address counter; a write and a
//   read in one request programs nothing (the repeated start aborts the
//   write, as on real parts) and reads after the bytes sent. Addresses wrap
//   at the end of the device and page writes inside their page.
//
// SETTINGS (numbers decimal or 0x-hexadecimal):
//   fru.devices=NAME:CONTROLLER:ID:SIZE,...
//       logical FRU devices; CONTROLLER "bmc" or a satellite's name
//       (sim/bmc/ipmb.h), ID 0..FEh, SIZE 1..65535 bytes. Default
//       baseboard:bmc:0:2048,front_panel:front_panel:0:256
//   fru.memories=NAME:CONTROLLER:BUS:ADDRESS:SIZE[:FORM],...
//       EEPROMs behind a controller: BUS the bus ID byte of Master
//       Write-Read (bits 7:4 channel, 3:1 bus ID, bit 0 1 = private bus),
//       ADDRESS the 8-bit slave address (even), FORM addr16 (default;
//       SIZE 1..65536) or cmd17 (SIZE 1..256). Default
//       backplane:bmc:0x03:0xA8:512:addr16,riser:bmc:0x05:0x9E:256:cmd17
//   An empty value lists none. Names are unique over both lists. A default
//   device whose controller ipmb.satellites leaves out is left out too.
// Per device, under fru.NAME.:
//   file=fru-NAME.bin   its contents file in the state directory; a file
//                       smaller than the device fills its start (the rest
//                       reads FFh), a larger one is not loaded
//   initial=sample      contents before any file: sample (a realistic FRU,
//                       sim/bmc/fru/fru_image_builder.h; erased when the device is
//                       too small for one), erased (FFh) or zero
//   max_read=32         largest read count the controller takes (16 on a
//                       satellite)
//   max_write=32        largest write it takes (16 on a satellite); for an
//                       EEPROM all the bytes Master Write-Read writes,
//                       address bytes included
//   read_limit_cc=0xCA  answer to a read over max_read (0xC8 the other
//                       usual one); "short": logical devices return
//                       max_read bytes with their count instead
//   write_limit_cc=0xC7 answer to a write over max_write
//   write_protect=      "all" or OFFSET:LENGTH,... protected bytes
//   page=0              EEPROMs: page size; a write wraps inside its page
//                       (default 8 for cmd17, the part's page; 0 none)
// Faults (TIMES a number or "always"; fault counts start afresh in each
// process):
//   fru.NAME.fault.read_busy=TIMES[:CC]   reads answer CC (C0h) TIMES times
//                                         (a Master Write-Read with a read
//                                         count is a read)
//   fru.NAME.fault.write_busy=TIMES[:CC]  writes likewise
//   fru.NAME.fault.read_fail=OFFSET[:CC],...   a read covering OFFSET
//                                         answers CC (FFh; EEPROMs 82h)
//   fru.NAME.fault.write_fail=OFFSET[:CC],...  a write covering OFFSET
//                                         answers CC, nothing written
//   fru.NAME.fault.lost_write=OFFSET[:LENGTH],...  a write touching the
//                                         range answers success and keeps
//                                         the old contents
//   fru.NAME.fault.short_write=OFFSET[:KEEP[:TIMES]],...
//                                         a Write FRU Data covering OFFSET
//                                         keeps only the bytes before
//                                         OFFSET (or its first KEEP bytes;
//                                         "0x20::2" leaves KEEP out) and
//                                         answers 00h with count written =
//                                         the bytes kept; TIMES (default 1)
//                                         such writes; a write it would
//                                         keep whole is not shortened
//   fru.NAME.fault.silent_write=OFFSET    a Write FRU Data covering OFFSET
//                                         hangs the controller: nothing of
//                                         it is stored, it gets no answer
//                                         (sim/bmc/ipmi.h, Response::silent: the
//                                         host's transport times out), and
//                                         neither does any later request to
//                                         that controller in this process
//   fru.NAME.fault.signal=OFFSET:SIGNAME[:TIMES],...
//                                         once a Write FRU Data covering
//                                         OFFSET is stored (and the state
//                                         directory saved), the process
//                                         gets SIGNAME (SIGINT, SIGTERM,
//                                         SIGHUP or SIGPIPE) by raise(),
//                                         TIMES (default 1) times
//   The busy codes may be any refusal: 81h is the FRU device busy answer
//   of IPMI v2.0 (read_busy=3:0x81).
//   short_write, silent_write and signal are for logical devices only.
//
// Request log: component "fru", sim/bmc/fru/fru_log.h.
#ifndef SRVFW_SIM_BMC_FRU_FRU_STORAGE_H
#define SRVFW_SIM_BMC_FRU_FRU_STORAGE_H

#include <memory>
#include <string>
#include <vector>

#include "sim/bmc/bmc.h"
#include "sim/bmc/fru/fru_device.h"
#include "sim/bmc/fru/fru_log.h"
#include "sim/core/machine.h"

namespace sim {

namespace fru {
class ControllerFru;
}

class FruStorage : public Device {
  public:
    FruStorage(Machine& machine, Bmc& bmc);
    ~FruStorage() override;

    std::string Name() const override { return fru::kLogComponent; }
    void LoadState(const std::filesystem::path& dir) override;
    void SaveState(const std::filesystem::path& dir) const override;
    void Describe(std::ostream& out) const override;

    // The device of that name, or null.
    fru::FruDevice* Find(const std::string& name);
    const std::vector<std::unique_ptr<fru::FruDevice>>& Devices() const { return mDevices; }

  private:
    // Registers the commands of the controller's devices; the BMC serves
    // them even without devices (and answers that there are none).
    void Serve(ipmi::Controller& controller, bool isBmc);

    Machine& mMachine;
    std::vector<std::unique_ptr<fru::FruDevice>> mDevices;
    std::vector<std::unique_ptr<fru::ControllerFru>> mServices;
};

}  // namespace sim

#endif

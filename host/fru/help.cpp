#include "host/fru/help.h"

#include <string>
#include <vector>

#include "host/fru/fields.h"

namespace srvfw {

namespace {

constexpr const char* kValueForms = R"(Values:
  text fields       UTF-8 text, stored in the field's own encoding (6-bit
                    packed ASCII, BCD plus, binary as hex bytes) when that
                    holds it exactly, otherwise as 8-bit text, one Latin-1
                    byte a character; characters beyond Latin-1 and control
                    characters are refused; an empty value empties the
                    field; a value must fit the field's length plus the
                    area's free bytes ("fru show" shows them), at most 63
                    bytes, and 8-bit text cannot be one byte long (that byte
                    would read as the end of the fields)
  board.mfg_date    UTC date and time "YYYY-MM-DD HH:MM" ("YYYY-MM-DDTHH:MM",
                    or a date alone for 00:00), 1996-01-01 00:00 to
                    2027-11-24 20:15; stored as minutes since 1996 in 3 bytes;
                    "unspecified" stores 0, the format's "no date"
  chassis.type      the chassis type number, 1 to 23 (23 rack mount,
                    17 main server chassis); "fru show" shows the number too
  internal.data     hex bytes ("4B 53 01 00" or "4B530100"), exactly as many
                    as the internal use area holds
  Numbers are decimal, or hex as 0x20 or 20h.
)";

constexpr const char* kLocator = R"(
LOCATOR (without one: the BMC's FRU device 0, the server's own FRU):
  --type TYPE        AT24CO2, DS1624S (EEPROMs behind Master Write-Read),
                     IMBDEVICE (a FRU device a controller serves, the
                     default) or MBMC_FRU; or 0 to 3
  --controller ADDR  the controller asked (default 20h, the BMC)
  --device-id ID     FRU device ID (default 0)
  --bus BUS          bus ID byte of Master Write-Read (default FFh, none)
  --slave ADDR       slave address of the EEPROM (default 20h)
  --lun LUN          LUN of Master Write-Read (default 0)
)";

constexpr const char* kWriting = R"(
Writing:
  "set" and "write" read the FRU, save a backup of it as it was (a FRU
  configuration file, by default fru-backup-<controller>-<device ID>-<UTC
  time>.fru in the current directory; --backup FILE names it, and an
  existing file is never overwritten), make every change in memory, and
  write the FRU only when the library took all of them: a refused value
  stops the command before anything is written. After writing, srvfw reads
  the FRU again and fails when the server did not keep what was written.
  --dry-run shows the changes and writes nothing, not even a backup.

  "write FILE" copies the file's FRU into the FRU on the server (the one
  the file was saved from, unless a LOCATOR names another), area by area,
  every field with the type/length byte the file gives. Both must have the
  same areas, of the same lengths, with the same number of custom fields,
  and the multi-record area may not be longer than the server's; otherwise
  nothing is written.

  "restore BACKUP" writes a backup whole (every area, then the header) to
  the FRU it was taken from, without reading what the FRU holds now, and
  reads it back to prove it: the way back after a write that failed half
  way. A failed write names the command.

  SIGINT, SIGTERM and SIGHUP wait until a write is finished and read back;
  srvfw then stops with exit code 6.
)";

}  // namespace

void FruHelp(std::ostream& out) {
    constexpr std::size_t kWidth = 78;
    out << "\nFields (\"srvfw fru show\" lists those of a FRU):\n";
    for (const AreaKind& area : kAreaKinds) {
        if (area.fixedFields == 0) continue;
        std::vector<std::string> names;
        for (const FixedField& field : kFixedFields) {
            if (field.area == area.area) names.emplace_back(field.name);
        }
        if (area.customFields) names.push_back(std::string(area.key) + ".custom.N");
        std::string line = " ";
        for (const std::string& name : names) {
            if (line.size() + 1 + name.size() > kWidth) {
                out << line << '\n';
                line = "   ";
            }
            line += " " + name;
        }
        out << line << '\n';
    }
    out << "  (custom fields count from 0 in the order the area stores them; the\n"
           "  multi-record area has no fields: \"write\" copies it whole)\n\n"
        << kValueForms << kLocator << kWriting;
}

}  // namespace srvfw

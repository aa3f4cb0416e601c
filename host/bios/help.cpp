#include "host/bios/help.h"

namespace srvfw {

void BiosHelp(std::ostream& out) {
    out << R"(
Platforms (--platform N): the number of the server's chipset, as the
  library knows it: 0 (default) or 2 a firmware hub, 1 or 10 a 16-bit
  flash part, 9, 11 and 15 chipsets with an SPI controller (11 and 15
  tell the BIOS of an update by a software SMI, 9 cannot at all).

Areas (AREA):
  the number or the name (any case) of an area of the BIOS's Flash Area
  Table, as "bios tables" lists them. The library only writes areas of
  the secondary flash (partition 2); the boot block stays.

Files:
  "read" saves an area to a new FILE (an existing name is refused).
  "write" takes a regular FILE of exactly the area's size, and first saves
  the area as it is to --backup FILE or, by default, to
  FILE.backup-<area name> beside the image (numbered when taken); no
  existing file is ever overwritten.

Writing:
  "write" asks the library to check the write, reads the area, saves the
  backup, then erases, writes and reads back each block (a bar for each
  phase); SIGINT, SIGTERM and SIGHUP wait until it is done. --dry-run
  stops after the check and says which blocks would change. After a
  failure srvfw reads every block back and says which are written,
  erased, unchanged (the old contents) or mixed, and the command that
  writes the backup back; exit code 7 when every block holds what it
  held before. --notify tells the BIOS of the update once the area is
  written and verified ("bios notify set" does it later).

Notification (notify):
  status (default) shows whether an update is pending; set tells the BIOS
  that one is, reset withdraws it. The field is used bit by bit; when it
  is used up, set erases and restores its flash block.
)";
}

}  // namespace srvfw

#include "host/sdr/help.h"

namespace srvfw {

void SdrHelp(std::ostream& out) {
    out << R"(
Records:
  ID      the record ID of the record's header, hex (0001, 1Ah, 0x1A)
  TYPE    a record type: its number (01h, 0x01 or 1) or a word of its name
          as "list" shows it ("full", "compact", "locator"...)
  Records are listed type by type in the library's type order: 01h, 02h,
  03h, 08h, 09h, 10h, 11h, 12h, 13h, 14h, C0h.

Tags:
  An SDR file may give records tags. Writing a file writes every record
  without tags, and a tagged record only when one of its tags equals (in
  any case) a --tag given; "load" shows each record's tags.

Writing:
  Writing clears the repository and adds the file's records, and the BMC
  gives them their record IDs. "diff" and "write" compare each record the
  file would write with the repository's record of the same type at the
  same position, by its bytes after the record ID, and name the records
  that would be added, changed or removed.

  "write" reads the file (and stops at any error in it), reads the
  repository and saves it to a backup SDR file (by default
  sdr-backup-<UTC time>.sdr in the current directory; --backup FILE names
  it, and an existing file is never overwritten), reads the backup again
  to make sure it holds every record, then writes the file's records and
  reads the repository back. When writing or the read-back fails, srvfw
  writes the backup back and reads it back: exit code 7 says the
  repository holds what it held before, 8 that writing the backup failed
  too (the message names the backup; "srvfw sdr write BACKUP" writes it).
  A file of which no record would be written is refused: it would leave
  the repository empty. --dry-run shows which records would be written and
  what would change, and writes nothing, not even a backup.

  SIGINT, SIGTERM and SIGHUP wait until a write (and a restore) is
  finished and read back; srvfw then stops with exit code 6.
)";
}

}  // namespace srvfw

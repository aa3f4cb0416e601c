#include "host/fw/help.h"

namespace srvfw {

void FwHelp(std::ostream& out) {
    out << R"(
Images:
  FILE    a firmware image; --type says how to read it: "hex" a hex record
          text file, "bin" a binary image, "me" a management engine's
          binary image. Without --type a name ending in ".hex" (any case)
          is read as hex, any other as bin: name an engine's image with
          --type me.

Controllers (ADDR, hex as 20h, 0x20 or decimal):
  20h BMC, 22h front-panel controller, C0h and C2h hot-swap controllers,
  2Ch management engine. "versions" asks all five; one that does not
  answer is shown as such (with --device it is a failure).

Areas (AREA):
  boot, opcode (operational code), pia (platform information area), efs,
  rmm (written through the EFS range; a BMC that reports an RMM version).
  "update" writes every area the image holds unless --area names some (an
  engine's image: its operational code). The front-panel controller takes
  its boot area and then its operational code, a hot-swap controller the
  areas its part allows, whatever --area says.

Versions (LIST for --supported):
  Entries separated by commas: a version "1.05", a range "1.00-1.09", or a
  minimum "2.00+", each number hexadecimal. "check" tells of each running
  version whether an entry holds it.

Updating:
  "update" reads the image, the controller's running versions and asks the
  library whether the image is for this system: the library compares the
  BMC's product ID, or another controller's identification in its boot
  block, which enters and leaves its transfer mode. An image that is not is refused with exit
  code 9 unless --yes is given. --dry-run says what would be written and
  sends nothing that changes a controller (nor asks a controller other than
  the BMC, which would restart it). The library then writes each area and
  verifies it: a bar for each area and phase, and the library's own texts
  (its waits for the controller included) on standard error. After a
  failure srvfw gives the library's reason, the phases that had finished,
  and whether the controller left firmware transfer mode.
)";
}

}  // namespace srvfw

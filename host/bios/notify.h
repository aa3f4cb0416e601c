// Telling the BIOS of an update, or withdrawing it: the one call "bios
// notify" and "bios write --notify" share. Setting may erase and restore
// the flags block: the caller holds the stop signals over it.
#ifndef SRVFW_HOST_BIOS_NOTIFY_H
#define SRVFW_HOST_BIOS_NOTIFY_H

#include <string>

#include "host/bios/library.h"

namespace srvfw {

// Throws a Failure that says what happened; `doing` begins its message,
// and a platform whose BIOS takes no notification is named as such.
void SetUpdateNotify(BiosLibrary& library, bool set, int platform, const std::string& doing);

}  // namespace srvfw

#endif

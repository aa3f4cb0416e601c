// How srvfw's BIOS commands show their results: text for people, or one
// JSON document with --json.
#ifndef SRVFW_HOST_BIOS_OUTPUT_H
#define SRVFW_HOST_BIOS_OUTPUT_H

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "host/bios/library_reads.h"
#include "host/bios/write.h"

namespace srvfw {

struct BiosTablesView {
    BiosTables tables;
    std::optional<RASK_NOTIFY_STATE> notifyState;
    RASK_FLASH_DEVICE_INFO device{};
};

void PrintTables(std::ostream& out, bool json, const BiosTablesView& view);
void PrintRead(std::ostream& out, bool json, const BiosArea& area,
               const std::filesystem::path& file);
void PrintWrite(std::ostream& out, bool json, const BiosWriteOutcome& outcome);
// `action`: "status", "set" or "reset"; the state as it is afterwards.
void PrintNotify(std::ostream& out, bool json, const std::string& action, RASK_NOTIFY_STATE state);
// `what` names the bytes ("SMBIOS entry point"); text is a hex dump.
void PrintBytes(std::ostream& out, bool json, const std::string& what,
                std::span<const std::uint8_t> bytes);
void PrintPlatformId(std::ostream& out, bool json, const std::string& id);

// The words for a notification state, shown and in JSON.
std::string NotifyStateName(RASK_NOTIFY_STATE state);

}  // namespace srvfw

#endif

// How the fru commands show their results: text for people, or one JSON
// document for scripts (--json). Texts are the library's own (field titles,
// values, area names) in UTF-8; in text output control characters show as
// \xNN, in JSON they are escaped.
#ifndef SRVFW_HOST_FRU_OUTPUT_H
#define SRVFW_HOST_FRU_OUTPUT_H

#include <filesystem>
#include <optional>
#include <ostream>

#include "host/fru/snapshot.h"
#include "host/fru/write.h"

namespace srvfw {

// Every area and field of a FRU; `file` names the configuration file it
// was loaded from, if it was.
void PrintFru(std::ostream& out, bool json, const FruSnapshot& fru,
              const std::optional<std::filesystem::path>& file);
// One field: in text its value alone, for scripts that read one value.
void PrintField(std::ostream& out, bool json, const FruSnapshot& fru, const FieldSnapshot& field);
// What a set or a write changed (or would change, in a dry run).
void PrintWrite(std::ostream& out, bool json, const FruSnapshot& before,
                const WriteOutcome& outcome, bool dryRun);
void PrintSaved(std::ostream& out, bool json, const FruSnapshot& fru,
                const std::filesystem::path& file);

// After "fru restore": the FRU written whole from the backup file.
void PrintRestored(std::ostream& out, bool json, const FruSnapshot& fru,
                   const std::filesystem::path& file);

}  // namespace srvfw

#endif

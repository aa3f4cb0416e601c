// What the sdr commands print: text for people (a record a line like
// "ipmitool sdr elist", fields with their titles and locations), or one JSON
// document for scripts.
#ifndef SRVFW_HOST_SDR_OUTPUT_H
#define SRVFW_HOST_SDR_OUTPUT_H

#include <filesystem>
#include <ostream>
#include <vector>

#include "host/sdr/compare.h"
#include "host/sdr/load.h"
#include "host/sdr/records.h"
#include "host/sdr/write.h"

namespace srvfw {

void PrintProperties(std::ostream& out, bool json, const std::vector<SdrProperty>& properties);
// One line a record.
void PrintRecordList(std::ostream& out, bool json, const std::vector<SdrRecord>& records);
// Every field of each record.
void PrintRecords(std::ostream& out, bool json, const std::vector<SdrRecord>& records);
// A file's records with their tags, and its versions.
void PrintFile(std::ostream& out, bool json, const std::filesystem::path& file,
               const std::vector<SdrRecord>& records, const FileVersions& versions);
void PrintSaved(std::ostream& out, bool json, const std::filesystem::path& file,
                std::size_t records);
void PrintChanges(std::ostream& out, bool json, const std::vector<SdrRecord>& fileRecords,
                  const std::vector<RecordChange>& changes);
void PrintWrite(std::ostream& out, bool json, const SdrWriteOutcome& outcome, bool dryRun);

}  // namespace srvfw

#endif

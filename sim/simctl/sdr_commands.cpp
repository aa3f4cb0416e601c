// The commands over the SDR repository: put a set of raw records into it
// (as a factory programs a BMC), take them out, and build a realistic set
// of every record type for trying the SDR library out.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/bmc/sdr/sdr_record_builder.h"
#include "sim/bmc/sdr/sdr_repository.h"
#include "sim/core/setting_lists.h"
#include "sim/simctl/command.h"
#include "sim/simctl/files.h"
#include "sim/simctl/machine_state.h"

namespace simctl {

namespace {

constexpr std::size_t kMaxBuiltRecords = 1000;

bool ReadFile(const std::string& file, std::vector<std::uint8_t>* bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "simctl: cannot read %s\n", file.c_str());
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), {});
    return true;
}

void ListRecords(const std::vector<sim::sdr::Record>& records) {
    for (const sim::sdr::Record& record : records) {
        std::printf("%04Xh %s, %zu bytes\n", sim::sdr::RecordId(record),
                    sim::sdr::TypeName(sim::sdr::RecordType(record)).c_str(), record.size());
    }
}

// The records of a file of raw records; false (with the message printed)
// when it is not a run of whole records.
bool RecordsOf(const std::string& file, std::vector<sim::sdr::Record>* records) {
    std::vector<std::uint8_t> image;
    if (!ReadFile(file, &image)) return false;
    sim::sdr::SplitImage split = sim::sdr::SplitRecords(image);
    if (!split.error.empty()) {
        std::fprintf(stderr, "simctl: %s: %s\n", file.c_str(), split.error.c_str());
        return false;
    }
    *records = std::move(split.records);
    return true;
}

int LoadSdr(const Invocation& call) {
    if (call.args.size() != 1) {
        std::fprintf(stderr, "simctl: load-sdr needs FILE\n");
        return 2;
    }
    std::vector<sim::sdr::Record> records;
    if (!RecordsOf(call.args[0], &records)) return 1;
    auto machine = OpenState(call);
    if (!machine) return 1;
    const std::size_t count = records.size();
    if (auto refused = machine->Find<sim::SdrRepository>()->Replace(std::move(records))) {
        std::fprintf(stderr, "simctl: %s: %s; unchanged\n", call.args[0].c_str(), refused->c_str());
        return 1;
    }
    if (!SaveState(*machine, call)) return 1;
    std::printf("loaded %zu records from %s\n", count, call.args[0].c_str());
    return 0;
}

int DumpSdr(const Invocation& call) {
    if (call.args.size() != 1) {
        std::fprintf(stderr, "simctl: dump-sdr needs FILE\n");
        return 2;
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    const auto& records = machine->Find<sim::SdrRepository>()->Records();
    if (!WriteFile(call.args[0], sim::sdr::JoinRecords(records))) return 1;
    std::printf("saved %zu records to %s\n", records.size(), call.args[0].c_str());
    return 0;
}

int BuildSdr(const Invocation& call) {
    std::string file;
    std::size_t count = sim::sdr::BuildableTypes().size();
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        const std::string& arg = call.args[i];
        if (arg == "--count" && i + 1 < call.args.size()) {
            count = sim::SettingNumber("--count", call.args[++i], kMaxBuiltRecords);
        } else if (arg == "--default") {
            count = 0;
        } else if (arg.rfind("--", 0) != 0 && file.empty()) {
            file = arg;
        } else {
            std::fprintf(stderr, "simctl: build-sdr does not know \"%s\"\n", arg.c_str());
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "simctl: build-sdr needs FILE\n");
        return 2;
    }
    const std::vector<sim::sdr::Record> records =
        count == 0 ? sim::sdr::DefaultSet() : sim::sdr::SampleSet(count);
    const std::vector<std::uint8_t> image = sim::sdr::JoinRecords(records);
    if (!WriteFile(file, image)) return 1;
    std::printf("built %s: %zu records, %zu bytes\n", file.c_str(), records.size(), image.size());
    ListRecords(records);
    return 0;
}

int ShowSdr(const Invocation& call) {
    if (call.args.size() > 1) {
        std::fprintf(stderr, "simctl: show-sdr takes at most FILE\n");
        return 2;
    }
    if (call.args.size() == 1) {
        std::vector<sim::sdr::Record> records;
        if (!RecordsOf(call.args[0], &records)) return 1;
        ListRecords(records);
        return 0;
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    ListRecords(machine->Find<sim::SdrRepository>()->Records());
    return 0;
}

}  // namespace

SIMCTL_COMMAND("load-sdr", "FILE", "make a file of raw SDRs end to end the repository", LoadSdr);
SIMCTL_COMMAND("dump-sdr", "FILE", "save the repository's records, raw and end to end", DumpSdr);
SIMCTL_COMMAND("build-sdr", "FILE [--count N | --default]",
               "build raw SDRs: N records cycling through every type (one of each by default, "
               "the last of an unknown type 15h), or the default set of a fresh server",
               BuildSdr);
SIMCTL_COMMAND("show-sdr", "[FILE]", "list the records of a file, or of the repository", ShowSdr);

}  // namespace simctl

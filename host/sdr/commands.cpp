#include "host/sdr/commands.h"

#include "host/frame/failure.h"
#include "host/frame/text.h"
#include "host/sdr/compare.h"
#include "host/sdr/help.h"
#include "host/sdr/library.h"
#include "host/sdr/load.h"
#include "host/sdr/output.h"
#include "host/sdr/records.h"
#include "host/sdr/selection.h"
#include "host/sdr/write.h"

namespace srvfw {

namespace {

std::filesystem::path TakeFile(Arguments& arguments) {
    return std::filesystem::absolute(arguments.TakeWord("FILE"));
}

std::vector<std::string> TakeTags(Arguments& arguments) {
    std::vector<std::string> tags = arguments.TakeValues("--tag");
    CheckTags(tags);
    return tags;
}

// The repository's records; none when it holds none.
std::vector<SdrRecord> RepositoryRecords(SdrLibrary& library, RecordDetail detail) {
    if (!LoadFromSystem(library)) return {};
    return ReadRecords(library, DataSet::kSystem, detail);
}

void Info(CommandContext& context, Arguments& arguments) {
    arguments.ExpectNoMore();
    SdrLibrary library(context.places, context.options);
    PrintProperties(context.out, context.options.json, ReadProperties(library));
}

void List(CommandContext& context, Arguments& arguments) {
    arguments.ExpectNoMore();
    SdrLibrary library(context.places, context.options);
    PrintRecordList(context.out, context.options.json, RepositoryRecords(library, {}));
}

void Show(CommandContext& context, Arguments& arguments) {
    const RecordChoice choice = TakeRecordChoice(arguments);
    arguments.ExpectNoMore();
    SdrLibrary library(context.places, context.options);
    PrintRecords(context.out, context.options.json,
                 Chosen(RepositoryRecords(library, {.fields = true}), choice));
}

void Save(CommandContext& context, Arguments& arguments) {
    const std::filesystem::path file = TakeFile(arguments);
    arguments.ExpectNoMore();
    SdrLibrary library(context.places, context.options);
    if (!LoadFromSystem(library)) {
        throw Failure(ExitCode::kLibraryCall,
                      "the SDR repository holds no records; no file was saved");
    }
    const std::size_t records = ReadRecords(library, DataSet::kSystem, {}).size();
    SaveToFile(library, file);
    PrintSaved(context.out, context.options.json, file, records);
}

void Load(CommandContext& context, Arguments& arguments) {
    const std::filesystem::path file = TakeFile(arguments);
    arguments.ExpectNoMore();
    SdrLibrary library(context.places, context.options);
    LoadFromFile(library, file);
    const std::vector<SdrRecord> records = ReadRecords(library, DataSet::kFile, {.fields = true});
    PrintFile(context.out, context.options.json, file, records, ReadFileVersions(library));
}

void Diff(CommandContext& context, Arguments& arguments) {
    const std::vector<std::string> tags = TakeTags(arguments);
    const std::filesystem::path file = TakeFile(arguments);
    arguments.ExpectNoMore();
    SdrLibrary library(context.places, context.options);
    LoadFromFile(library, file);
    SetTags(library, tags);
    const std::vector<SdrRecord> fileRecords =
        ReadRecords(library, DataSet::kFile, {.committed = true});
    PrintChanges(context.out, context.options.json, fileRecords,
                 CompareRecords(Committed(fileRecords), RepositoryRecords(library, {})));
}

void Write(CommandContext& context, Arguments& arguments) {
    SdrWriteRequest request;
    request.tags = TakeTags(arguments);
    request.options = TakeWriteOptions(arguments);
    request.file = TakeFile(arguments);
    arguments.ExpectNoMore();
    SdrLibrary library(context.places, context.options);
    const bool json = context.options.json;
    const SdrWriteOutcome outcome =
        WriteSdrFile(library, request, [&context, json](const std::filesystem::path& backup) {
            if (!json) {
                context.err << "srvfw: the SDR repository as it is now is saved in "
                            << Printable(backup.string()) << '\n';
            }
        });
    PrintWrite(context.out, json, outcome, request.options.dryRun);
}

constexpr Command kCommands[] = {
    {"info", "", "show the SDR repository's properties", Info},
    {"list", "", "list the repository's records: ID, type and name, a line each", List},
    {"show", "[--type TYPE] [ID...]", "show every field of the records chosen (all by default)",
     Show},
    {"save", "FILE", "save the repository to an SDR file", Save},
    {"load", "FILE", "show the records, tags and versions an SDR file holds", Load},
    {"write", "FILE [--tag TAG]... [--dry-run] [--backup FILE]",
     "write an SDR file's records to the repository (after a backup; restored on failure)", Write},
    {"diff", "FILE [--tag TAG]...", "show which records writing the file would change", Diff},
};

}  // namespace

const CommandGroup& SdrCommands() {
    static const CommandGroup group{"sdr", "the BMC's sensor data records, through libpemric.so.9",
                                    kCommands, SdrHelp};
    return group;
}

}  // namespace srvfw

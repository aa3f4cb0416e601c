#include "host/fru/commands.h"

#include <set>

#include "host/frame/failure.h"
#include "host/fru/edit.h"
#include "host/fru/help.h"
#include "host/fru/library.h"
#include "host/fru/load.h"
#include "host/fru/output.h"
#include "host/fru/values.h"
#include "host/fru/write.h"

namespace srvfw {

namespace {

FieldName ParseField(const std::string& name) {
    if (const auto field = ParseFieldName(name)) return *field;
    throw Failure(ExitCode::kUsage,
                  "no FRU field is named \"" + name + "\" (\"srvfw fru --help\" lists them)");
}

std::filesystem::path TakeFile(Arguments& arguments) {
    return std::filesystem::absolute(arguments.TakeWord("FILE"));
}

// "FIELD=VALUE" words: each field once, each value in its field's form.
std::vector<Change> TakeAssignments(Arguments& arguments) {
    const std::vector<std::string> words = arguments.TakeWords();
    if (words.empty()) throw Failure(ExitCode::kUsage, "missing FIELD=VALUE");
    std::vector<Change> changes;
    std::set<std::string> named;
    for (const std::string& word : words) {
        const auto equals = word.find('=');
        if (equals == std::string::npos) {
            throw Failure(ExitCode::kUsage, "\"" + word + "\" is not FIELD=VALUE");
        }
        const FieldName field = ParseField(word.substr(0, equals));
        if (!named.insert(field.name).second) {
            throw Failure(ExitCode::kUsage, field.name + " is given twice");
        }
        const std::string_view value = std::string_view(word).substr(equals + 1);
        Change change{field.area, field, EncodeValue(field, value)};
        if (field.kind == FieldKind::kText) change.text = TextValue(field, value);
        changes.push_back(std::move(change));
    }
    return changes;
}

void Show(CommandContext& context, Arguments& arguments) {
    const auto locator = TakeLocatorOptions(arguments);
    arguments.ExpectNoMore();
    FruLibrary library(context.places, context.options);
    const FruSnapshot fru = ReadFru(library, LoadFromSystem(library, locator));
    PrintFru(context.out, context.options.json, fru, std::nullopt);
}

void Get(CommandContext& context, Arguments& arguments) {
    const auto locator = TakeLocatorOptions(arguments);
    const FieldName field = ParseField(arguments.TakeWord("FIELD"));
    arguments.ExpectNoMore();
    FruLibrary library(context.places, context.options);
    const FruSnapshot fru = ReadFru(library, LoadFromSystem(library, locator));
    PrintField(context.out, context.options.json, fru, FindField(fru, field));
}

void Set(CommandContext& context, Arguments& arguments) {
    const WriteRequest request = TakeWriteOptions(arguments);
    const auto locator = TakeLocatorOptions(arguments);
    const std::vector<Change> changes = TakeAssignments(arguments);
    arguments.ExpectNoMore();
    FruLibrary library(context.places, context.options);
    const FruHandle fru = LoadFromSystem(library, locator);
    const FruSnapshot before = ReadFru(library, fru);
    const WriteOutcome outcome = WriteChanges(library, fru, before, changes, request);
    PrintWrite(context.out, context.options.json, before, outcome, request.dryRun);
}

void Save(CommandContext& context, Arguments& arguments) {
    const auto locator = TakeLocatorOptions(arguments);
    const std::filesystem::path file = TakeFile(arguments);
    arguments.ExpectNoMore();
    FruLibrary library(context.places, context.options);
    const FruHandle fru = LoadFromSystem(library, locator);
    const FruSnapshot snapshot = ReadFru(library, fru);
    SaveToFile(library, fru, file);
    PrintSaved(context.out, context.options.json, snapshot, file);
}

void Load(CommandContext& context, Arguments& arguments) {
    const std::filesystem::path file = TakeFile(arguments);
    arguments.ExpectNoMore();
    FruLibrary library(context.places, context.options);
    const FruSnapshot fru = ReadFru(library, LoadFromFile(library, file));
    PrintFru(context.out, context.options.json, fru, file);
}

void Write(CommandContext& context, Arguments& arguments) {
    const WriteRequest request = TakeWriteOptions(arguments);
    const auto locator = TakeLocatorOptions(arguments);
    const std::filesystem::path file = TakeFile(arguments);
    arguments.ExpectNoMore();
    FruLibrary library(context.places, context.options);
    const FruSnapshot saved = ReadFru(library, LoadFromFile(library, file));
    // The file names the FRU it was saved from; the options may name another.
    const FruHandle fru = LoadFromSystem(library, locator.value_or(saved.locator));
    const FruSnapshot before = ReadFru(library, fru);
    const std::vector<Change> changes = ChangesFromFile(before, saved);
    const WriteOutcome outcome = WriteChanges(library, fru, before, changes, request);
    PrintWrite(context.out, context.options.json, before, outcome, request.dryRun);
}

// The backup goes back to the FRU it was taken from, whatever that FRU holds
// now: nothing of the device is read before the write.
void Restore(CommandContext& context, Arguments& arguments) {
    const auto locator = TakeLocatorOptions(arguments);
    const std::filesystem::path file = TakeFile(arguments);
    arguments.ExpectNoMore();
    FruLibrary library(context.places, context.options);
    const FruHandle saved = LoadFromFile(library, file);
    const FruSnapshot backup = ReadFru(library, saved);
    if (locator && Describe(*locator) != Describe(backup.locator)) {
        throw Failure(ExitCode::kUsage, file.string() + " holds " + Describe(backup.locator) +
                                            "; it is restored only there, not to " +
                                            Describe(*locator));
    }
    PrintRestored(context.out, context.options.json, RestoreWhole(library, saved), file);
}

constexpr Command kCommands[] = {
    {"show", "[LOCATOR]", "show every area and field of the FRU", Show},
    {"get", "FIELD [LOCATOR]", "show one field's value", Get},
    {"set", "FIELD=VALUE... [--dry-run] [--backup FILE] [LOCATOR]",
     "change fields and write the FRU back (after a backup)", Set},
    {"save", "FILE [LOCATOR]", "save the FRU to a FRU configuration file", Save},
    {"load", "FILE", "show the FRU a FRU configuration file holds", Load},
    {"write", "FILE [--dry-run] [--backup FILE] [LOCATOR]",
     "write a FRU configuration file's FRU back to the server (after a backup)", Write},
    {"restore", "BACKUP",
     "write a backup whole to the FRU it came from, even one a failed write left unreadable",
     Restore},
};

}  // namespace

const CommandGroup& FruCommands() {
    static const CommandGroup group{"fru", "FRU inventory data, through liborvel.so.9", kCommands,
                                    FruHelp};
    return group;
}

}  // namespace srvfw

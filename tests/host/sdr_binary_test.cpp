// srvfw's sdr commands through the built program, loading the simulated SDR
// library against a simulated server whose repository simctl sets up and
// dumps. Each case works in a scratch directory of its own, where the
// backups of "sdr write" land.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>

#include "tests/host/srvfw_run_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using test_support::CommandOutcome;
using test_support::ReadText;

// The records of a raw dump, end to end: each 5 header bytes and the body
// its length byte counts.
std::vector<Bytes> SplitRecords(const Bytes& image) {
    std::vector<Bytes> records;
    for (std::size_t at = 0; at + 5 <= image.size();) {
        const std::size_t size = 5u + image[at + 4];
        records.emplace_back(
            image.begin() + static_cast<std::ptrdiff_t>(at),
            image.begin() + static_cast<std::ptrdiff_t>(std::min(at + size, image.size())));
        at += size;
    }
    return records;
}

// The records without their IDs (the BMC gives those) and in no order: a
// write adds records type by type.
std::vector<Bytes> Contents(const std::vector<Bytes>& records) {
    std::vector<Bytes> contents;
    for (const Bytes& record : records) contents.emplace_back(record.begin() + 2, record.end());
    std::sort(contents.begin(), contents.end());
    return contents;
}

bool HoldsText(const std::vector<Bytes>& records, const std::string& text) {
    return std::any_of(records.begin(), records.end(), [&](const Bytes& record) {
        return std::search(record.begin(), record.end(), text.begin(), text.end()) != record.end();
    });
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class SdrOnSimulatedServer : public test_support::SrvfwRun {
  protected:
    SdrOnSimulatedServer() : SrvfwRun("sdrbin") {}

    std::vector<Bytes> Repository() const {
        const std::string file = dir / "dump.sdr.bin";
        EXPECT_EQ(Simctl("dump-sdr " + file).code, 0);
        return SplitRecords(test_support::ReadBytes(file));
    }
    // Saves the repository to NAME in the scratch directory; its path.
    std::string Saved(const std::string& name) const {
        const std::string file = dir / name;
        const CommandOutcome saved = Srvfw("sdr save " + file);
        EXPECT_EQ(saved.code, 0) << saved.output;
        return file;
    }
    // The saved file with every `from` replaced by `to`.
    std::string Edited(const std::string& file, const std::string& from, const std::string& to,
                       const std::string& name) const {
        std::string text = ReadText(file);
        EXPECT_NE(text.find(from), std::string::npos) << from;
        for (std::size_t at; (at = text.find(from)) != std::string::npos;) {
            text.replace(at, from.size(), to);
        }
        const std::string edited = dir / name;
        std::ofstream(edited) << text;
        return edited;
    }
    // The file with a tag on the record whose ID string is `name`: the tag
    // line goes after its record-type line.
    std::string Tagged(const std::string& file, const std::string& name, const std::string& tag,
                       const std::string& as) const {
        std::string text = ReadText(file);
        const std::size_t named = text.find("'" + name + "'");
        EXPECT_NE(named, std::string::npos) << name;
        const std::size_t typeLine = text.rfind("RecordType:", named);
        const std::size_t lineEnd = text.find('\n', typeLine);
        text.insert(lineEnd + 1, "Tag: '" + tag + "'\n");
        const std::string tagged = dir / as;
        std::ofstream(tagged) << text;
        return tagged;
    }
    // The repository saved, with the first sensor named CPU9 Temp.
    std::string RenamedCpuSensor() const {
        return Edited(Saved("saved.sdr"), "'CPU1 Temp'", "'CPU9 Temp'", "renamed.sdr");
    }
    std::vector<std::string> Backups() const { return Named("sdr-backup-"); }
};

// The fresh server's records, as "sdr list" shows them: type by type in the
// library's order, each with the ID and name the repository holds.
TEST_F(SdrOnSimulatedServer, ListShowsEveryRecordTypeByTypeWithItsIdAndName) {
    const CommandOutcome listed = SrvfwResult("sdr list");
    ASSERT_EQ(listed.code, 0) << listed.output << ReadText(dir / "stderr");
    ASSERT_EQ(Lines(listed.output), Repository().size()) << listed.output;
    const std::vector<std::string> expected = {
        "^0003 \\| 01h [^|]+ \\| [^|]*\\bCPU1 Temp \\(record ",
        "^0004 \\| 01h [^|]+ \\| [^|]*\\bInlet Temp \\(record ",
        "^0005 \\| 01h [^|]+ \\| [^|]*\\b12V \\(record ",
        "^0006 \\| 01h [^|]+ \\| [^|]*\\bSystem Fan 1 \\(record ",
        "^0007 \\| 02h [^|]+ \\| [^|]*\\bPSU1 Status \\(record ",
        "^0008 \\| 03h [^|]+ \\| [^|]*\\bWatchdog \\(record ",
        "^0002 \\| 11h [^|]+ \\| [^|]*\\bBaseboard FRU \\(record ",
        "^0001 \\| 12h [^|]+ \\| [^|]*\\bBMC \\(record ",
        "^0009 \\| C0h [^|]+ \\| ",
    };
    std::istringstream lines(listed.output);
    std::string line;
    for (const std::string& pattern : expected) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_TRUE(std::regex_search(line, std::regex(pattern))) << line << "\n~ " << pattern;
    }
}

TEST_F(SdrOnSimulatedServer, ListAndShowGiveScriptsEveryRecordsBytes) {
    const std::vector<Bytes> records = Repository();
    const CommandOutcome listed = SrvfwResult("--json sdr list");
    ASSERT_EQ(listed.code, 0) << listed.output;
    ASSERT_TRUE(listed.output.starts_with("{\n  \"records\": [\n")) << listed.output;
    EXPECT_EQ(listed.output.find("\"fields\""), std::string::npos);
    for (const Bytes& record : records) {
        std::string hex;
        for (const std::uint8_t byte : record) {
            static constexpr char kDigits[] = "0123456789abcdef";
            hex += {kDigits[byte >> 4], kDigits[byte & 0xF]};
        }
        const std::string id = "\"id\": " + std::to_string(record[0] | record[1] << 8) + ",\n";
        const std::string type = "\"type\": " + std::to_string(record[3]) + ",\n";
        const std::size_t at = listed.output.find(id);
        ASSERT_NE(at, std::string::npos) << id << listed.output;
        const std::string entry = listed.output.substr(at, listed.output.find('}', at) - at);
        EXPECT_NE(entry.find(type), std::string::npos) << entry;
        EXPECT_NE(entry.find("\"bytes\": \"" + hex + "\""), std::string::npos) << entry;
        EXPECT_NE(entry.find("\"tags\": []"), std::string::npos) << entry;
    }
    EXPECT_NE(listed.output.find("\"name\": \"Temperature: CPU1 Temp (record 0300h, sensor 01h)\""),
              std::string::npos);

    const CommandOutcome shown = SrvfwResult("--json sdr show 3");
    ASSERT_EQ(shown.code, 0) << shown.output;
    EXPECT_NE(shown.output.find("\"fields\": [\n"), std::string::npos) << shown.output;
    for (const char* key : {"\"title\": ", "\"value\": ", "\"location\": "}) {
        EXPECT_NE(shown.output.find(key), std::string::npos) << key;
    }
    EXPECT_NE(shown.output.find("\"value\": \"CPU1 Temp\""), std::string::npos) << shown.output;
}

TEST_F(SdrOnSimulatedServer, ShowChoosesRecordsByTypeAndId) {
    const struct {
        std::string args;
        std::vector<std::string> ids;  // the records shown, in order
    } cases[] = {
        {"", {"0003", "0004", "0005", "0006", "0007", "0008", "0002", "0001", "0009"}},
        {"--type 01h", {"0003", "0004", "0005", "0006"}},
        {"--type 0x02", {"0007"}},
        {"--type 3", {"0008"}},
        {"--type compact", {"0007"}},
        {"--type LOCATOR", {"0002", "0001"}},
        {"6 0x3 0002h", {"0006", "0003", "0002"}},
        {"--type 01h 4", {"0004"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const CommandOutcome shown = SrvfwResult("sdr show " + c.args);
        ASSERT_EQ(shown.code, 0) << shown.output;
        std::vector<std::string> ids;
        const std::regex heading("^Record ([0-9A-F]{4})h: ");
        std::istringstream lines(shown.output);
        for (std::string line; std::getline(lines, line);) {
            std::smatch match;
            if (std::regex_search(line, match, heading)) ids.push_back(match[1]);
        }
        EXPECT_EQ(ids, c.ids) << shown.output;
    }
    // Every field of a record comes with its value and where it lies.
    const CommandOutcome sensor = SrvfwResult("sdr show 3");
    EXPECT_TRUE(sensor.Shows(" : CPU1 Temp")) << sensor.output;
    EXPECT_GT(Lines(sensor.output), 20u) << sensor.output;
}

TEST_F(SdrOnSimulatedServer, InfoShowsTheRepositorysProperties) {
    const CommandOutcome info = SrvfwResult("sdr info");
    ASSERT_EQ(info.code, 0) << info.output;
    EXPECT_TRUE(info.Shows(" : 1.5\n")) << info.output;  // SDR version 51h
    EXPECT_TRUE(info.Shows(" : 9\n")) << info.output;    // the records
    const CommandOutcome json = SrvfwResult("--json sdr info");
    ASSERT_EQ(json.code, 0) << json.output;
    EXPECT_TRUE(json.output.starts_with("{\n  \"properties\": [\n    {\n      \"title\": "))
        << json.output;
    EXPECT_TRUE(json.Shows("\"value\": \"1.5\"")) << json.output;
}

TEST_F(SdrOnSimulatedServer, SaveThenLoadShowsTheSameRecordsWithTagsAndVersions) {
    const std::string saved = Saved("saved.sdr");
    const CommandOutcome listed = SrvfwResult("--json sdr list");
    const CommandOutcome loaded = SrvfwResult("--json sdr load " + saved);
    ASSERT_EQ(loaded.code, 0) << loaded.output << ReadText(dir / "stderr");
    EXPECT_TRUE(loaded.Shows("\"version\": ")) << loaded.output;
    EXPECT_TRUE(loaded.Shows("\"package_version\": ")) << loaded.output;
    // Every record of the repository, byte for byte.
    const std::regex bytes("\"bytes\": \"[0-9a-f]+\"");
    std::vector<std::string> listedBytes, loadedBytes;
    for (std::sregex_iterator it(listed.output.begin(), listed.output.end(), bytes), end; it != end;
         ++it) {
        listedBytes.push_back(it->str());
    }
    for (std::sregex_iterator it(loaded.output.begin(), loaded.output.end(), bytes), end; it != end;
         ++it) {
        loadedBytes.push_back(it->str());
    }
    EXPECT_EQ(loadedBytes, listedBytes);

    const std::string tagged = Tagged(saved, "12V", "rack1", "tagged.sdr");
    const CommandOutcome text = Srvfw("sdr load " + tagged);
    ASSERT_EQ(text.code, 0) << text.output;
    EXPECT_TRUE(text.Shows("  tags: rack1\n")) << text.output;
    const CommandOutcome json = SrvfwResult("--json sdr load " + tagged);
    EXPECT_TRUE(json.Shows("\"tags\": [\n        \"rack1\"\n      ]")) << json.output;
}

TEST_F(SdrOnSimulatedServer, DiffNamesTheRecordsAWriteWouldChange) {
    const std::string saved = Saved("saved.sdr");
    const CommandOutcome same = SrvfwResult("sdr diff " + saved);
    ASSERT_EQ(same.code, 0) << same.output;
    EXPECT_EQ(same.output,
              "0 to change, 9 unchanged, 0 of the file's records left out by their tags\n");

    const std::string renamed = Edited(saved, "'Inlet Temp'", "'Inlet Tmp2'", "renamed.sdr");
    const CommandOutcome changed = SrvfwResult("sdr diff " + renamed);
    ASSERT_EQ(changed.code, 0) << changed.output;
    EXPECT_TRUE(std::regex_search(
        changed.output,
        std::regex(
            "^changed 01h [^#]+ #1 \"[^\"]*Inlet Tmp2 [^\"]*\", repository 0004, file 0004\n")))
        << changed.output;
    EXPECT_TRUE(changed.Shows("1 to change, 8 unchanged")) << changed.output;

    // A tagged record is written only with its tag: without it the sensors
    // after it move up, and the last place of their type is left empty.
    const std::string tagged = Tagged(saved, "12V", "rack1", "tagged.sdr");
    const CommandOutcome untagged = SrvfwResult("--json sdr diff " + tagged);
    EXPECT_TRUE(untagged.Shows("\"change\": \"removed\"")) << untagged.output;
    EXPECT_TRUE(untagged.Shows("\"left_out\": 1")) << untagged.output;
    const CommandOutcome withTag = SrvfwResult("sdr diff --tag RACK1 " + tagged);
    EXPECT_TRUE(withTag.Shows("0 to change, 9 unchanged, 0 of")) << withTag.output;
    EXPECT_EQ(Backups(), std::vector<std::string>{});
}

TEST_F(SdrOnSimulatedServer, WriteBacksUpWritesAndReadsBack) {
    const std::vector<Bytes> before = Repository();
    const std::string renamed = RenamedCpuSensor();
    const CommandOutcome written = Srvfw("sdr write " + renamed);
    ASSERT_EQ(written.code, 0) << written.output;
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_TRUE(
        written.Shows("the SDR repository as it is now is saved in " + (dir / Backups()[0])))
        << written.output;
    EXPECT_TRUE(written.Shows("wrote 9 records; the repository read back holds them"))
        << written.output;
    const std::vector<Bytes> after = Repository();
    EXPECT_TRUE(HoldsText(after, "CPU9 Temp"));
    EXPECT_FALSE(HoldsText(after, "CPU1 Temp"));
    EXPECT_EQ(after.size(), before.size());

    // The backup holds the repository as it was: written, it brings it back.
    const CommandOutcome restored =
        Srvfw("sdr write --backup " + (dir / "second.sdr") + " " + (dir / Backups()[0]));
    ASSERT_EQ(restored.code, 0) << restored.output;
    EXPECT_EQ(Contents(Repository()), Contents(before));
    EXPECT_TRUE(std::filesystem::exists(dir / "second.sdr"));
}

TEST_F(SdrOnSimulatedServer, DryRunShowsWhatWouldBeWrittenAndWritesNothing) {
    const std::vector<Bytes> before = Repository();
    const std::string tagged = Tagged(Saved("saved.sdr"), "12V", "rack1", "tagged.sdr");
    const CommandOutcome dry = SrvfwResult("sdr write --dry-run " + tagged);
    ASSERT_EQ(dry.code, 0) << dry.output;
    EXPECT_TRUE(
        std::regex_search(dry.output, std::regex("\nskip  0005 \\| 01h [^|]+ \\| [^|]*\\b12V \\(")))
        << dry.output;
    EXPECT_TRUE(std::regex_search(
        dry.output, std::regex("(^|\n)write 0003 \\| 01h [^|]+ \\| [^|]*\\bCPU1 Temp \\(")))
        << dry.output;
    EXPECT_TRUE(dry.Shows("dry run: nothing was written\n")) << dry.output;
    const CommandOutcome json = SrvfwResult("--json sdr write --dry-run --tag rack1 " + tagged);
    ASSERT_EQ(json.code, 0) << json.output;
    EXPECT_TRUE(json.Shows("\"written\": false")) << json.output;
    EXPECT_EQ(json.output.find("\"committed\": false"), std::string::npos) << json.output;
    EXPECT_EQ(Repository(), before);
    EXPECT_EQ(Backups(), std::vector<std::string>{});
}

// The simulated BMC drops a part of a record while the clear-and-add path
// (platform 11) writes: the repository, cleared and partly written, gets
// the backup back.
TEST_F(SdrOnSimulatedServer, AWriteThatFailsHalfWayIsUndoneFromTheBackup) {
    const std::vector<Bytes> before = Repository();
    const std::string renamed = RenamedCpuSensor();
    ASSERT_EQ(Simctl("set sdr.fault.drop_part=5").code, 0);
    const CommandOutcome written = Srvfw("--platform 11 sdr write " + renamed);
    EXPECT_EQ(written.code, 7) << written.output;
    ASSERT_EQ(Backups().size(), 1u);
    EXPECT_TRUE(written.Shows("srvfw: writing the SDR repository")) << written.output;
    EXPECT_TRUE(
        written.Shows("The SDR repository as it was (9 records) was written back from the backup " +
                      (dir / Backups()[0]) + " and read back the same."))
        << written.output;
    EXPECT_EQ(Contents(Repository()), Contents(before));
}

// The area path: the BMC refuses the image at its close, and takes none of
// it; the repository is left as it was and not written again.
TEST_F(SdrOnSimulatedServer, AnImageTheBmcRefusesLeavesTheRepositoryAsItWas) {
    const std::vector<Bytes> before = Repository();
    const std::string renamed = RenamedCpuSensor();
    ASSERT_EQ(Simctl("set sdr.fault.close_checksum=always").code, 0);
    const CommandOutcome written = Srvfw("sdr write " + renamed);
    EXPECT_EQ(written.code, 7) << written.output;
    EXPECT_TRUE(
        written.Shows("The SDR repository was left as it was: it reads back the same as before"))
        << written.output;
    EXPECT_EQ(Repository(), before);
}

// Every part dropped from the fifth on: neither the write nor the restore
// gets through. srvfw says so, names the backup, and the backup written
// once the BMC works again brings the records back.
TEST_F(SdrOnSimulatedServer, ARestoreThatFailsTooSaysSoAndNamesTheBackup) {
    const std::vector<Bytes> before = Repository();
    const std::string renamed = RenamedCpuSensor();
    std::string dropped;
    for (int part = 5; part < 400; ++part)
        dropped += (dropped.empty() ? "" : ",") + std::to_string(part);
    ASSERT_EQ(Simctl("set sdr.fault.drop_part=" + dropped).code, 0);
    const CommandOutcome written = Srvfw("--platform 11 sdr write " + renamed);
    EXPECT_EQ(written.code, 8) << written.output;
    ASSERT_EQ(Backups().size(), 1u);
    const std::string backup = (dir / Backups()[0]);
    EXPECT_TRUE(written.Shows("Writing the backup back failed too: ")) << written.output;
    EXPECT_TRUE(
        written.Shows("The SDR repository is NOT as it was. The repository as it was is saved in " +
                      backup + "; \"srvfw sdr write " + backup + "\" writes it."))
        << written.output;
    EXPECT_NE(Contents(Repository()), Contents(before));

    ASSERT_EQ(Simctl("set sdr.fault.drop_part=").code, 0);
    const CommandOutcome restored = Srvfw("--platform 11 sdr write " + backup);
    EXPECT_EQ(restored.code, 0) << restored.output;
    EXPECT_EQ(Contents(Repository()), Contents(before));
}

TEST_F(SdrOnSimulatedServer, FailuresSayWhyAndEndWithTheirExitCode) {
    std::ofstream(dir / "taken.sdr") << "a backup from before";
    std::ofstream(dir / "broken.sdr") << "not an SDR file\n";
    const std::string good = Saved("good.sdr");
    Edited(good, "'CPU1 Temp'", "'CPU1 Temp", "unterminated.sdr");
    Edited(good, "RecordType: 02", "RecordType: 07", "unknown-type.sdr");
    struct Case {
        std::string setting;  // for simctl init, if any
        std::string args;     // "DIR" stands for the scratch directory
        int code;
        std::vector<std::string> shows;
    };
    const Case cases[] = {
        {"", "sdr show zz", 1, {"\"zz\" is not a record ID"}},
        {"", "sdr show 42", 1, {"the SDR repository holds no record 0042h"}},
        {"", "sdr show --type bogus", 1, {"no record's type is named \"bogus\""}},
        {"",
         "sdr write DIR/x.sdr --dry-run --backup DIR/b.sdr",
         1,
         {"--backup has no use with --dry-run"}},
        {"", "sdr info extra", 1, {"extra"}},
        {"",
         "--lib-dir DIR/nolib sdr list",
         2,
         {"cannot load the library DIR/nolib/libpemric.so.9: "}},
        {"",
         "sdr load DIR/missing.sdr",
         4,
         {"srvfw: reading the SDR file DIR/missing.sdr: ", "DIR/missing.sdr"}},
        {"", "sdr write DIR/missing.sdr", 4, {"srvfw: reading the SDR file DIR/missing.sdr: "}},
        {"", "sdr diff DIR/broken.sdr", 4, {"srvfw: reading the SDR file DIR/broken.sdr: "}},
        {"",
         "sdr save DIR/nodir/saved.sdr",
         4,
         {"srvfw: saving the SDR repository to DIR/nodir/saved.sdr: "}},
        {"",
         "sdr write --backup DIR/taken.sdr DIR/good.sdr",
         4,
         {"the backup file DIR/taken.sdr exists already (name a new one); nothing was written to "
          "the SDR repository"}},
        // The library's own words, then its last-error text with the line.
        {"",
         "sdr load DIR/unterminated.sdr",
         4,
         {"srvfw: reading the SDR file DIR/unterminated.sdr: Unterminated string at line "}},
        {"",
         "sdr write DIR/unknown-type.sdr",
         4,
         {"srvfw: reading the SDR file DIR/unknown-type.sdr: Unsupported record type at line "}},
        {"",
         "sdr diff DIR/missing.sdr",
         4,
         {"Cannot open the SDR file DIR/missing.sdr (status 0xC006002E)"}},
        {"kcs.present=0",
         "sdr list",
         3,
         {"srvfw: reading the SDR repository: ", "(status 0xC0060013)"}},
        {"kcs.present=0", "sdr info", 3, {"srvfw: reading the SDR repository's information: "}},
        {"sdr.fault.busy=always", "sdr list", 3, {"srvfw: reading the SDR repository: "}},
        {"sdr.fault.loop=3", "sdr list", 3, {"srvfw: reading the SDR repository: "}},
        {"sdr.initial=empty",
         "sdr save DIR/empty.sdr",
         3,
         {"the SDR repository holds no records; no file was saved"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        ASSERT_EQ(Simctl("init" + (c.setting.empty() ? "" : " " + c.setting)).code, 0);
        const std::vector<Bytes> original = Repository();
        const CommandOutcome outcome = Srvfw(InScratch(c.args));
        EXPECT_EQ(outcome.code, c.code) << outcome.output;
        for (const std::string& text : c.shows) {
            EXPECT_TRUE(outcome.Shows(InScratch(text))) << InScratch(text) << "\n"
                                                        << outcome.output;
        }
        EXPECT_EQ(Repository(), original);
    }
    EXPECT_EQ(ReadText(dir / "taken.sdr"), "a backup from before");
    EXPECT_EQ(Backups(), std::vector<std::string>{});
}

// An empty repository is no fault to list; a file is written to it
// without a backup, as there is nothing to lose.
TEST_F(SdrOnSimulatedServer, AnEmptyRepositoryIsListedAsSuchAndWrittenWithoutBackup) {
    const std::string saved = Saved("saved.sdr");
    const std::vector<Bytes> before = Repository();
    ASSERT_EQ(Simctl("init sdr.initial=empty").code, 0);
    const CommandOutcome listed = SrvfwResult("sdr list");
    EXPECT_EQ(listed.code, 0) << listed.output;
    EXPECT_EQ(listed.output, "no records\n");
    const CommandOutcome json = SrvfwResult("--json sdr list");
    EXPECT_EQ(json.output, "{\n  \"records\": []\n}\n");
    const CommandOutcome written = Srvfw("sdr write " + saved);
    ASSERT_EQ(written.code, 0) << written.output;
    EXPECT_EQ(Backups(), std::vector<std::string>{});
    EXPECT_TRUE(written.Shows("the SDR repository held no records: there was nothing to back up"))
        << written.output;
    EXPECT_EQ(Contents(Repository()), Contents(before));
}

// A commit clears the repository first: a file none of whose records the
// tags let through would leave it empty, and is refused.
TEST_F(SdrOnSimulatedServer, AFileOfWhichNothingWouldBeWrittenIsRefused) {
    const std::vector<Bytes> before = Repository();
    const std::string file = Saved("saved.sdr");
    std::string text = ReadText(file);
    for (std::size_t at = 0; (at = text.find("RecordType:", at)) != std::string::npos;) {
        at = text.find('\n', at) + 1;
        text.insert(at, "Tag: 'lab'\n");
    }
    std::ofstream(dir / "all-tagged.sdr") << text;
    const CommandOutcome refused = Srvfw("sdr write " + (dir / "all-tagged.sdr"));
    EXPECT_EQ(refused.code, 5) << refused.output;
    EXPECT_TRUE(refused.Shows("no record of " + (dir / "all-tagged.sdr") +
                              " would be written (9 records, none without tags or with a tag "
                              "given)"))
        << refused.output;
    EXPECT_EQ(Repository(), before);
    EXPECT_EQ(Backups(), std::vector<std::string>{});
    const CommandOutcome tagged = Srvfw("sdr write --tag Lab " + (dir / "all-tagged.sdr"));
    EXPECT_EQ(tagged.code, 0) << tagged.output;
}

TEST_F(SdrOnSimulatedServer, JsonModeReportsFailuresAsJsonAndKeepsNotesOffStandardOutput) {
    const CommandOutcome failed = SrvfwResult("--json sdr load " + (dir / "missing.sdr"));
    EXPECT_EQ(failed.code, 4);
    EXPECT_TRUE(
        failed.output.starts_with("{\n  \"error\": {\n    \"message\": \"reading the SDR file "))
        << failed.output;
    const std::string renamed = RenamedCpuSensor();
    const CommandOutcome written = SrvfwResult("--json sdr write " + renamed);
    ASSERT_EQ(written.code, 0) << written.output;
    EXPECT_TRUE(written.output.starts_with(
        "{\n  \"dry_run\": false,\n  \"written\": true,\n  \"backup\": \""))
        << written.output;
    EXPECT_EQ(written.output.find("srvfw:"), std::string::npos) << written.output;
}

}  // namespace

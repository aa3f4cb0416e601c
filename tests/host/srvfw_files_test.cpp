// srvfw and the files it reads and writes, through the built program: what
// is no FRU configuration file is refused at once, without waiting or
// reading without end, and a backup never lands where a planted link
// points, nor replaces what is there.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/fru/backup.h"
#include "tests/host/srvfw_run_fixture.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using test_support::CommandOutcome;
using test_support::ReadText;
using test_support::RunCommand;

class SrvfwFiles : public test_support::SrvfwRun {
  protected:
    SrvfwFiles() : SrvfwRun("srvfwfiles") {}

    // Nothing of a backup's making is left over.
    void ExpectNoStaging() { EXPECT_EQ(Named(".srvfw-backup-"), std::vector<std::string>{}); }
};

// ------------------------------------------------------ what is no FRU file

struct NoFruFile {
    const char* name;
    // Makes it in the scratch directory; its path, or none when it cannot
    // be had here.
    std::string (*make)(const test_support::TempDir& dir);
    const char* says;  // the library's words, after the path
};

void PrintTo(const NoFruFile& c, std::ostream* os) {
    *os << c.name;
}

std::string WriteIn(const test_support::TempDir& dir, const std::string& name,
                    const std::string& contents) {
    std::ofstream(dir / name, std::ios::binary) << contents;
    return dir / name;
}

class SrvfwRefusesToRead : public SrvfwFiles, public ::testing::WithParamInterface<NoFruFile> {};

TEST_P(SrvfwRefusesToRead, WhatIsNoFruFileAndWritesNothing) {
    const std::string path = GetParam().make(dir);
    if (path.empty()) GTEST_SKIP() << "not available here";
    const Bytes before = Dump();
    for (const char* command : {"fru load ", "fru write "}) {
        const CommandOutcome outcome = Srvfw(command + path);
        EXPECT_EQ(outcome.code, 4) << command << outcome.output;
        EXPECT_TRUE(outcome.Shows("reading the FRU file " + path + ": ")) << outcome.output;
        EXPECT_TRUE(outcome.Shows(GetParam().says)) << outcome.output;
        EXPECT_TRUE(outcome.Shows("status 0xC0070007")) << outcome.output;
    }
    EXPECT_EQ(Dump(), before);
    EXPECT_EQ(Named("fru-backup-"), std::vector<std::string>{});
    ExpectNoStaging();
}

INSTANTIATE_TEST_SUITE_P(
    Files, SrvfwRefusesToRead,
    ::testing::Values(NoFruFile{"FifoWithoutWriter",
                                [](const test_support::TempDir& dir) {
                                    const std::string path = dir / "fifo.fru";
                                    return ::mkfifo(path.c_str(), 0600) == 0 ? path : std::string();
                                },
                                "is not a regular file, so it cannot be a FRU file."},
                      NoFruFile{"DevZero",
                                [](const test_support::TempDir&) {
                                    return fs::exists("/dev/zero") ? std::string("/dev/zero")
                                                                   : std::string();
                                },
                                "/dev/zero is not a regular file, so it cannot be a FRU file."},
                      NoFruFile{"Directory",
                                [](const test_support::TempDir& dir) {
                                    fs::create_directory(dir / "dir.fru");
                                    return dir / "dir.fru";
                                },
                                "is not a regular file, so it cannot be a FRU file."},
                      NoFruFile{"OverLongLine",
                                [](const test_support::TempDir& dir) {
                                    return WriteIn(
                                        dir, "line.fru",
                                        "_LF_NAME\t'x'\n" + std::string(300000, '0') + "\n");
                                },
                                "Line 2 of the FRU file"},
                      NoFruFile{"OverLongFile",
                                [](const test_support::TempDir& dir) {
                                    const std::string path =
                                        WriteIn(dir, "long.fru", "_LF_NAME\t'x'\n");
                                    fs::resize_file(path, 8u << 20);
                                    return path;
                                },
                                "is longer than a FRU file can be"}),
    [](const auto& info) { return info.param.name; });

// ----------------------------------------------------------- planted links

// The default names the next backups could take, one per second from now.
std::vector<std::string> ComingBackupNames(int seconds) {
    std::vector<std::string> names;
    const auto now = std::chrono::system_clock::now();
    for (int i = 0; i < seconds; ++i) {
        names.push_back(srvfw::BackupName(srvfw::FruLocator{}, now + std::chrono::seconds(i)));
    }
    return names;
}

TEST_F(SrvfwFiles, ABackupPassesLinksPlantedUnderItsNameAndFollowsNone) {
    // Under each name a backup could take in the next minute: a link that
    // points nowhere yet, or to a file someone cares about.
    std::ofstream(dir / "precious") << "not to be overwritten";
    const std::vector<std::string> names = ComingBackupNames(60);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const fs::path target = i % 2 == 0 ? fs::path(dir / ("planted-" + std::to_string(i)))
                                           : fs::path(dir / "precious");
        fs::create_symlink(target, dir / names[i]);
    }

    const CommandOutcome set = Srvfw("fru set product.asset_tag=AFTER-PLANT");
    ASSERT_EQ(set.code, 0) << set.output;

    EXPECT_EQ(ReadText(dir / "precious"), "not to be overwritten");
    EXPECT_EQ(Named("planted-"), std::vector<std::string>{});
    for (const std::string& name : names) {
        EXPECT_TRUE(fs::is_symlink(dir / name)) << name;
    }
    // The backup took the next number after the planted name.
    std::vector<std::string> backups;
    for (const std::string& name : Named("fru-backup-")) {
        if (!fs::is_symlink(dir / name)) backups.push_back(name);
    }
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(backups[0].ends_with("-2.fru")) << backups[0];
    EXPECT_TRUE(set.Shows("Backup of the FRU as it was: " + (dir / backups[0]) + "\n"));
    ExpectNoStaging();

    // It is the FRU as it was, and puts it back.
    EXPECT_EQ(ReadText(dir / backups[0]).find("AFTER-PLANT"), std::string::npos);
    const CommandOutcome restore = Srvfw("fru write " + (dir / backups[0]));
    EXPECT_EQ(restore.code, 0) << restore.output;
    EXPECT_EQ(Srvfw("fru get product.asset_tag").output.find("AFTER-PLANT"), std::string::npos);
}

struct Plant {
    const char* name;
    bool targetExists;
};

void PrintTo(const Plant& c, std::ostream* os) {
    *os << c.name;
}

class SrvfwNamedBackup : public SrvfwFiles, public ::testing::WithParamInterface<Plant> {};

// A backup the user names is never written over what is there, and never
// through a link: the FRU is left as it is.
TEST_P(SrvfwNamedBackup, RefusesALinkAtItsName) {
    const fs::path target = dir / "target";
    if (GetParam().targetExists) std::ofstream(target) << "kept";
    const std::string backup = dir / "named.fru";
    fs::create_symlink(target, backup);
    const Bytes before = Dump();

    const CommandOutcome set = Srvfw("fru set --backup " + backup + " product.asset_tag=NEW");
    EXPECT_EQ(set.code, 4) << set.output;
    EXPECT_TRUE(set.Shows("the backup file " + backup + " exists already")) << set.output;
    EXPECT_EQ(Dump(), before);
    EXPECT_TRUE(fs::is_symlink(backup));
    if (GetParam().targetExists) {
        EXPECT_EQ(ReadText(target), "kept");
    } else {
        EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    }
    ExpectNoStaging();
}

INSTANTIATE_TEST_SUITE_P(Links, SrvfwNamedBackup,
                         ::testing::Values(Plant{"Dangling", false},
                                           Plant{"ToAnExistingFile", true}),
                         [](const auto& info) { return info.param.name; });

TEST_F(SrvfwFiles, ANamedBackupInAFreshNameIsWrittenThere) {
    const std::string backup = dir / "named.fru";
    const CommandOutcome set = Srvfw("fru set --backup " + backup + " product.asset_tag=NEW");
    ASSERT_EQ(set.code, 0) << set.output;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(backup)));
    EXPECT_NE(ReadText(backup).find("_SEE_PRODUCT"), std::string::npos);
    EXPECT_EQ(Named("fru-backup-"), std::vector<std::string>{});
    ExpectNoStaging();
}

}  // namespace

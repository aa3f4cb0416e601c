#include "host/fru/backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "host/frame/failure.h"
#include "host/fru/load.h"

namespace srvfw {

namespace {

constexpr const char* kNothingWritten = "That was the backup: nothing was written to the FRU.";

// How many taken names an automatic backup passes before it gives up.
constexpr unsigned kMaxNumberedNames = 1000;

bool Taken(const std::filesystem::path& path) {
    // A link counts as taken, also one that points nowhere: it is a name
    // someone else put there.
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// A directory only srvfw may enter, beside the backup so that the finished
// file can be linked into place: the library saves by name, and nobody can
// plant a link under a name inside it. Removed with what it holds.
class StagingDirectory {
  public:
    // `backup` names the backup in messages.
    StagingDirectory(const std::filesystem::path& beside, const std::string& backup) {
        std::string name = (beside / ".srvfw-backup-XXXXXX").string();
        // mkdtemp makes a new directory of mode 0700, or fails; it never
        // takes one that exists.
        if (::mkdtemp(name.data()) == nullptr) {
            const int error = errno;
            throw Failure(ExitCode::kFile, "saving the FRU to " + backup +
                                               ": Cannot write the FRU file " + backup + ". " +
                                               kNothingWritten + " No new file can be made in " +
                                               beside.string() + ": " + ErrorText(error) + ".");
        }
        mPath = name;
    }
    ~StagingDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    StagingDirectory(const StagingDirectory&) = delete;
    StagingDirectory& operator=(const StagingDirectory&) = delete;

    std::filesystem::path File() const { return mPath / "backup.fru"; }

  private:
    std::filesystem::path mPath;
};

// Gives the staged file the name `to` when nothing has that name, a
// dangling link included; false when the name is taken. Neither link nor a
// rename that may not replace follows a link at `to`.
bool PutInPlace(const std::filesystem::path& staged, const std::filesystem::path& to) {
    if (::link(staged.c_str(), to.c_str()) == 0) return true;
    int error = errno;
    if (error == EEXIST) return false;
    // File systems without hard links still rename without replacing.
    if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
        if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            return true;
        }
        error = errno;
        if (error == EEXIST) return false;
    }
    throw Failure(ExitCode::kFile, "saving the FRU to " + to.string() + ": " + ErrorText(error) +
                                       ". " + kNothingWritten);
}

Failure Exists(const std::filesystem::path& backup) {
    return Failure(ExitCode::kFile, "the backup file " + backup.string() +
                                        " exists already (name a new one); nothing was "
                                        "written to the FRU");
}

}  // namespace

std::string BackupName(const FruLocator& locator, std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss clock{seconds - day};
    char name[64];
    std::snprintf(name, sizeof name, "fru-backup-%02X-%02X-%04d%02u%02uT%02d%02d%02dZ.fru",
                  locator.controller, locator.deviceId, static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return name;
}

std::filesystem::path FreeBackupPath(const std::filesystem::path& dir, const std::string& name) {
    const std::filesystem::path plain(name);
    std::filesystem::path candidate = dir / plain;
    for (unsigned n = 2; Taken(candidate); ++n) {
        candidate =
            dir / (plain.stem().string() + "-" + std::to_string(n) + plain.extension().string());
    }
    return candidate;
}

std::filesystem::path SaveBackup(FruLibrary& library, FruHandle fru, const FruLocator& locator,
                                 const std::optional<std::filesystem::path>& file) {
    const std::filesystem::path dir =
        file ? std::filesystem::absolute(*file).parent_path() : std::filesystem::current_path();
    if (file && Taken(std::filesystem::absolute(*file))) {
        throw Exists(std::filesystem::absolute(*file));
    }
    const StagingDirectory staging(
        dir, file ? std::filesystem::absolute(*file).string() : "a backup in " + dir.string());
    try {
        SaveToFile(library, fru, staging.File());
    } catch (const Failure& failure) {
        throw failure.With(kNothingWritten);
    }
    std::error_code error;
    if (std::filesystem::file_size(staging.File(), error) == 0 || error) {
        throw Failure(ExitCode::kFile,
                      "the backup of the FRU was not written; nothing was "
                      "written to the FRU");
    }
    if (file) {
        const std::filesystem::path backup = std::filesystem::absolute(*file);
        if (!PutInPlace(staging.File(), backup)) throw Exists(backup);
        return backup;
    }
    // The default name says when the backup was made; when it is taken (a
    // backup of the same second, or a planted name), the next number is.
    const std::string name = BackupName(locator, std::chrono::system_clock::now());
    for (unsigned attempt = 0; attempt < kMaxNumberedNames; ++attempt) {
        const std::filesystem::path backup = FreeBackupPath(dir, name);
        if (PutInPlace(staging.File(), backup)) return backup;
    }
    throw Failure(ExitCode::kFile, "no free name for the backup in " + dir.string() +
                                       "; nothing was written to the FRU");
}

}  // namespace srvfw

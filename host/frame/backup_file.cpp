#include "host/frame/backup_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "host/frame/failure.h"

namespace srvfw {

namespace {

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

std::string NothingWritten(const BackupSubject& subject) {
    return "That was the backup: nothing was written to " + subject.what + ".";
}

// A directory only srvfw may enter, beside the backup so that the finished
// file can be linked into place: the library saves by name, and nobody can
// plant a link under a name inside it. Removed with what it holds.
class StagingDirectory {
  public:
    // `backup` names the backup in messages; the staged file takes the
    // extension of the backup's name, as the library may expect one.
    StagingDirectory(const std::filesystem::path& beside, const std::string& backup,
                     const std::filesystem::path& extension, const BackupSubject& subject)
        : mExtension(extension) {
        std::string name = (beside / ".srvfw-backup-XXXXXX").string();
        // mkdtemp makes a new directory of mode 0700, or fails; it never
        // takes one that exists.
        if (::mkdtemp(name.data()) == nullptr) {
            const int error = errno;
            throw Failure(ExitCode::kFile, "saving " + subject.what + " to " + backup +
                                               ": Cannot write the " + subject.fileKind + " " +
                                               backup + ". " + NothingWritten(subject) +
                                               " No new file can be made in " + beside.string() +
                                               ": " + ErrorText(error) + ".");
        }
        mPath = name;
    }
    ~StagingDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    StagingDirectory(const StagingDirectory&) = delete;
    StagingDirectory& operator=(const StagingDirectory&) = delete;

    std::filesystem::path File() const { return mPath / ("backup" + mExtension.string()); }

  private:
    std::filesystem::path mPath;
    std::filesystem::path mExtension;
};

// Gives the staged file the name `to` when nothing has that name, a
// dangling link included; false when the name is taken. Neither link nor a
// rename that may not replace follows a link at `to`.
bool PutInPlace(const std::filesystem::path& staged, const std::filesystem::path& to,
                const BackupSubject& subject) {
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
    throw Failure(ExitCode::kFile, "saving " + subject.what + " to " + to.string() + ": " +
                                       ErrorText(error) + ". " + NothingWritten(subject));
}

Failure Exists(const std::filesystem::path& backup, const BackupSubject& subject) {
    return Failure(ExitCode::kFile, "the backup file " + backup.string() +
                                        " exists already (name a new one); nothing was "
                                        "written to " +
                                        subject.what);
}

}  // namespace

WriteOptions TakeWriteOptions(Arguments& arguments) {
    WriteOptions options;
    options.dryRun = arguments.TakeFlag("--dry-run");
    if (const auto backup = arguments.TakeValue("--backup")) {
        if (options.dryRun) {
            throw Failure(ExitCode::kUsage,
                          "--backup has no use with --dry-run: a dry run "
                          "writes nothing, a backup neither");
        }
        options.backup = std::filesystem::absolute(*backup);
    }
    return options;
}

std::string UtcStamp(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss clock{seconds - day};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02uT%02d%02d%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return stamp;
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

std::filesystem::path SaveBackupFile(
    const std::optional<std::filesystem::path>& file, const std::string& defaultName,
    const BackupSubject& subject, const std::function<void(const std::filesystem::path&)>& save) {
    const std::filesystem::path dir =
        file ? std::filesystem::absolute(*file).parent_path() : std::filesystem::current_path();
    if (file && Taken(std::filesystem::absolute(*file))) {
        throw Exists(std::filesystem::absolute(*file), subject);
    }
    const StagingDirectory staging(
        dir, file ? std::filesystem::absolute(*file).string() : "a backup in " + dir.string(),
        std::filesystem::path(defaultName).extension(), subject);
    try {
        save(staging.File());
    } catch (const Failure& failure) {
        throw failure.With(NothingWritten(subject));
    }
    std::error_code error;
    if (std::filesystem::file_size(staging.File(), error) == 0 || error) {
        throw Failure(ExitCode::kFile, "the backup of " + subject.what +
                                           " was not written; nothing was written to " +
                                           subject.what);
    }
    if (file) {
        const std::filesystem::path backup = std::filesystem::absolute(*file);
        if (!PutInPlace(staging.File(), backup, subject)) throw Exists(backup, subject);
        return backup;
    }
    // The default name says when the backup was made; when it is taken (a
    // backup of the same second, or a planted name), the next number is.
    for (unsigned attempt = 0; attempt < kMaxNumberedNames; ++attempt) {
        const std::filesystem::path backup = FreeBackupPath(dir, defaultName);
        if (PutInPlace(staging.File(), backup, subject)) return backup;
    }
    throw Failure(ExitCode::kFile, "no free name for the backup in " + dir.string() +
                                       "; nothing was written to " + subject.what);
}

}  // namespace srvfw

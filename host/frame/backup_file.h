// The backup srvfw saves of what a device holds, before it writes anything
// to it. By default it goes into the current directory under a name that
// says when it was made; an existing file is never overwritten.
//
// srvfw runs as root, often in a directory others may write to, and the
// default name can be guessed: a link planted under it must not make root
// write where the link points. The library saves into a directory of
// srvfw's own that nobody else may enter, and the finished file is then
// linked under its name, which fails, without following anything, when the
// name holds anything at all, a dangling link included; an automatic name
// then moves on to the next number.
#ifndef SRVFW_HOST_FRAME_BACKUP_FILE_H
#define SRVFW_HOST_FRAME_BACKUP_FILE_H

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "host/frame/arguments.h"

namespace srvfw {

// How the messages name what is backed up.
struct BackupSubject {
    std::string what;      // "the FRU"
    std::string fileKind;  // "FRU file"
};

// "--dry-run" and "--backup FILE" of a command that writes, taken from
// the command line; FILE made absolute. --backup with --dry-run is a usage
// error: a dry run writes nothing, a backup neither.
struct WriteOptions {
    bool dryRun = false;
    std::optional<std::filesystem::path> backup;  // default: a new name in the current directory
};
WriteOptions TakeWriteOptions(Arguments& arguments);

// "20240305T143000Z", for the names of backups.
std::string UtcStamp(std::chrono::system_clock::time_point time);

// The name in `dir`, or with "-2", "-3"... before the extension when it is
// taken (by anything, a dangling link too).
std::filesystem::path FreeBackupPath(const std::filesystem::path& dir, const std::string& name);

// Has `save` write the backup (it throws a Failure when it cannot) and puts
// it under the named file, or under `defaultName` (numbered when taken) in
// the current directory; returns the file. Throws a file error when the
// named file exists already (as a link too) or the backup cannot be
// written; every failure says that nothing was written to the subject.
std::filesystem::path SaveBackupFile(const std::optional<std::filesystem::path>& file,
                                     const std::string& defaultName, const BackupSubject& subject,
                                     const std::function<void(const std::filesystem::path&)>& save);

}  // namespace srvfw

#endif

#include "tarvo/pending_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace tarvo {

namespace {

// Enough names that only a directory full of planted ones exhausts them.
constexpr int kNameAttempts = 100;

}  // namespace

std::string PendingFile::RandomSuffix() {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::random_device device;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix = "tmp";
    for (int i = 0; i < 10; ++i) suffix += kLetters[pick(device)];
    return suffix;
}

PendingFile::PendingFile(const std::string& target, const NameSource& names) : mTarget(target) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = target + "." + names();
        // The mode a plain creation of the target would give it (0666 less
        // the umask).
        const int fd =
            ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return;
        }
        mFile = ::fdopen(fd, "w+b");
        if (mFile == nullptr) {
            ::close(fd);
            ::unlink(name.c_str());
            return;
        }
        mTemporary = name;
        return;
    }
}

PendingFile::~PendingFile() {
    if (mFile == nullptr) return;
    std::fclose(mFile);
    ::unlink(mTemporary.c_str());
}

bool PendingFile::Commit() {
    if (mFile == nullptr) return false;
    const bool closed = std::fclose(mFile) == 0;
    mFile = nullptr;
    if (closed && std::rename(mTemporary.c_str(), mTarget.c_str()) == 0) return true;
    ::unlink(mTemporary.c_str());
    return false;
}

}  // namespace tarvo

#include "host/bios/area_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "host/frame/failure.h"

namespace srvfw {

namespace {

std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : mFd(fd) {}
    ~Descriptor() {
        if (mFd >= 0) ::close(mFd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return mFd; }
    // The close's own error (a full disk shows there on some file systems).
    int Close() {
        const int result = ::close(mFd);
        mFd = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int mFd;
};

}  // namespace

std::vector<std::uint8_t> ReadAreaImage(const std::filesystem::path& file, std::size_t bytes,
                                        const std::string& area) {
    const auto cannot = [&file](const std::string& why) {
        return Failure(ExitCode::kFile,
                       "cannot read " + file.string() + ": " + why + "; nothing was written");
    };
    // Not blocking: a FIFO in the image's place must not hang srvfw.
    Descriptor in(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (in.Get() < 0) throw cannot(ErrorText(errno));
    struct stat status {};
    if (::fstat(in.Get(), &status) != 0) throw cannot(ErrorText(errno));
    if (!S_ISREG(status.st_mode)) throw cannot("it is not a regular file");
    if (static_cast<std::uintmax_t>(status.st_size) != bytes) {
        throw Failure(ExitCode::kDoesNotFit,
                      file.string() + " holds " + std::to_string(status.st_size) + " bytes, " +
                          area + " " + std::to_string(bytes) + "; nothing was written");
    }
    std::vector<std::uint8_t> image(bytes);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = ::read(in.Get(), image.data() + done, bytes - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw cannot(ErrorText(errno));
        if (got == 0) throw cannot("it became shorter while it was read");
        done += static_cast<std::size_t>(got);
    }
    return image;
}

void WriteNewFile(const std::filesystem::path& file, std::span<const std::uint8_t> bytes) {
    Descriptor out(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (out.Get() < 0) {
        const int error = errno;
        throw Failure(ExitCode::kFile,
                      error == EEXIST ? file.string() + " exists already (name a new file)"
                                      : "cannot make " + file.string() + ": " + ErrorText(error));
    }
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size() && error == 0) {
        const ssize_t put = ::write(out.Get(), bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) error = errno;
        if (put > 0) done += static_cast<std::size_t>(put);
    }
    if (error == 0) error = out.Close();
    if (error != 0) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        throw Failure(ExitCode::kFile, "cannot write " + file.string() + ": " + ErrorText(error));
    }
}

}  // namespace srvfw

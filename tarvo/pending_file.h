// A file that appears under its name only once it is complete: written as a
// new temporary file beside the target and renamed over it at the end. The
// temporary name is one tarvo chooses, so it is created only where nothing
// of that name exists (O_CREAT|O_EXCL|O_NOFOLLOW): a file or symbolic link
// planted there in advance, even one that points nowhere, is never written
// through; another name is tried instead.
#ifndef SRVFW_TARVO_PENDING_FILE_H
#define SRVFW_TARVO_PENDING_FILE_H

#include <cstdio>
#include <functional>
#include <string>

namespace tarvo {

class PendingFile {
  public:
    // The suffix of each temporary name to try, after "<target>.": random by
    // default; a test may give its own.
    using NameSource = std::function<std::string()>;
    static std::string RandomSuffix();

    explicit PendingFile(const std::string& target, const NameSource& names = RandomSuffix);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // nullptr when no temporary file could be created.
    std::FILE* Stream() const { return mFile; }
    const std::string& TemporaryName() const { return mTemporary; }
    // Closes the temporary file and renames it over the target; false (and
    // the temporary file removed) when either fails.
    bool Commit();

  private:
    std::string mTarget;
    std::string mTemporary;
    std::FILE* mFile = nullptr;
};

}  // namespace tarvo

#endif

#include "host/frame/document_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>

namespace srvfw {

DocumentOutput::DocumentOutput(bool json) {
    if (!json) return;
    std::cout.flush();
    std::fflush(stdout);
    mSavedStdout = ::dup(STDOUT_FILENO);
    // Without a spare descriptor the document shares standard output with
    // the libraries' texts, as without --json.
    if (mSavedStdout >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        ::close(mSavedStdout);
        mSavedStdout = -1;
    }
}

DocumentOutput::~DocumentOutput() {
    Finish();
}

std::ostream& DocumentOutput::Stream() {
    if (mSavedStdout < 0) return std::cout;
    return mDocument;
}

bool DocumentOutput::Finish() {
    if (mSavedStdout < 0) return static_cast<bool>(std::cout.flush());
    // What the libraries left in the buffer of standard output belongs to
    // standard error, where descriptor 1 still points.
    std::fflush(stdout);
    const std::string document = mDocument.str();
    bool written = true;
    for (std::size_t done = 0; done < document.size();) {
        const ssize_t wrote = ::write(mSavedStdout, document.data() + done, document.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            written = false;
            break;
        }
        done += static_cast<std::size_t>(wrote);
    }
    ::dup2(mSavedStdout, STDOUT_FILENO);
    ::close(mSavedStdout);
    mSavedStdout = -1;
    return written;
}

}  // namespace srvfw

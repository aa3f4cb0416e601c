// Standard output in --json mode: the JSON document and nothing else. The
// libraries write their console texts (the message layer's "SMBIOS Table
// Not Found!!!", for one) to standard output themselves; while a command
// runs, descriptor 1 is pointed at standard error so that those texts reach
// the user without breaking the document, which goes to the real standard
// output when the command is done.
#ifndef SRVFW_HOST_FRAME_DOCUMENT_OUTPUT_H
#define SRVFW_HOST_FRAME_DOCUMENT_OUTPUT_H

#include <ostream>
#include <sstream>

namespace srvfw {

class DocumentOutput {
  public:
    // Without json, results go to std::cout as they come.
    explicit DocumentOutput(bool json);
    ~DocumentOutput();
    DocumentOutput(const DocumentOutput&) = delete;
    DocumentOutput& operator=(const DocumentOutput&) = delete;

    std::ostream& Stream();
    // Writes the document to standard output and points descriptor 1 back
    // at it; false when the document could not be written whole.
    bool Finish();

  private:
    int mSavedStdout = -1;
    std::ostringstream mDocument;
};

}  // namespace srvfw

#endif

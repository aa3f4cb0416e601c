// Reading the string sources kept in this folder (see README.md for the
// format).
#ifndef SRVFW_STRINGS_STR_SOURCE_H
#define SRVFW_STRINGS_STR_SOURCE_H

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace strc {

// The highest index a source may use. Indices are message numbers; a typo
// in one should not silently produce a file of a million empty strings.
constexpr unsigned kMaxIndex = 65535;

// A fault in a source: what() reads "<file>:<line>: <message>".
class SourceError : public std::runtime_error {
  public:
    SourceError(std::string_view file, unsigned line, const std::string& message);
    unsigned line() const { return mLine; }

  private:
    unsigned mLine;
};

// The texts of a source by index, as UTF-16 units without their terminating
// zero. Indices the source leaves out hold empty texts. Throws SourceError.
std::vector<std::u16string> ParseStringSource(std::string_view source, std::string_view fileName);

}  // namespace strc

#endif

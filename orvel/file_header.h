// The four header values of the configuration file a FRU was read from.
// The file reader fills them; nothing else reads them.
#ifndef SRVFW_ORVEL_FILE_HEADER_H
#define SRVFW_ORVEL_FILE_HEADER_H

#include <string>

namespace Orvel_Private {

class CFileHeader {
  public:
    // Each setter keeps a copy of the text; false when the copy cannot be made.
    bool SetLfName(const char* text) { return Assign(lfName, text); }
    bool SetLfVersion(const char* text) { return Assign(lfVersion, text); }
    bool SetLfFmtVersion(const char* text) { return Assign(lfFmtVersion, text); }
    bool SetIpmiVersion(const char* text) { return Assign(ipmiVersion, text); }

    const std::string& GetLfName() const { return lfName; }
    const std::string& GetLfVersion() const { return lfVersion; }
    const std::string& GetLfFmtVersion() const { return lfFmtVersion; }
    const std::string& GetIpmiVersion() const { return ipmiVersion; }

  private:
    static bool Assign(std::string& member, const char* text);

    std::string lfName;
    std::string lfVersion;
    std::string lfFmtVersion;
    std::string ipmiVersion;
};

}  // namespace Orvel_Private

#endif

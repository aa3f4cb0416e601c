// What the simulated hardware was asked, in order. Tests read it to say what
// went over the bus ("the read went out as chunks of 8, 8 and 4 bytes").
#ifndef SRVFW_SIM_CORE_REQUEST_LOG_H
#define SRVFW_SIM_CORE_REQUEST_LOG_H

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct LogEntry {
    std::string component;  // "port", "mmio", "pci", "host", or a device's name
    std::string operation;  // "in", "out", "read", "write", "open", a command's name...
    std::uint64_t address = 0;
    std::uint64_t value = 0;
    unsigned width = 0;  // bytes of the access, 0 when it is not an access
    std::string detail;
};

class RequestLog {
  public:
    void Add(LogEntry entry) { mEntries.push_back(std::move(entry)); }
    const std::vector<LogEntry>& Entries() const { return mEntries; }
    std::vector<LogEntry> Of(const std::string& component) const;
    void Clear() { mEntries.clear(); }

    // Port accesses are many (a KCS wait polls its status port millions of
    // times), so they are recorded only while a test asks for them.
    void RecordPorts(bool on) { mPorts = on; }
    bool RecordsPorts() const { return mPorts; }

  private:
    std::vector<LogEntry> mEntries;
    bool mPorts = false;
};

}  // namespace sim

#endif

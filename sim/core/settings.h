// The simulated server's configuration: "key=value" lines, one setting a
// line, '#' starting a comment. Components read their settings when the
// machine is built (for example "ram.mb=64"); a state directory keeps them
// in its file "settings" so that every process sees the same machine.
#ifndef SRVFW_SIM_CORE_SETTINGS_H
#define SRVFW_SIM_CORE_SETTINGS_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace sim {

class Settings {
  public:
    // Parses "key=value" text; returns an error message for a malformed line.
    std::optional<std::string> Parse(const std::string& text);
    std::optional<std::string> ParseAssignment(const std::string& line);
    std::string Format() const;

    bool Load(const std::filesystem::path& file);
    bool Save(const std::filesystem::path& file) const;

    void Set(const std::string& key, const std::string& value) { mValues[key] = value; }
    bool Has(const std::string& key) const { return mValues.count(key) != 0; }
    std::string Get(const std::string& key, const std::string& fallback) const;
    // Numbers are decimal or 0x-prefixed hexadecimal. A value that is not a
    // number gives the fallback.
    std::uint64_t GetNumber(const std::string& key, std::uint64_t fallback) const;
    bool GetFlag(const std::string& key, bool fallback) const;

    const std::map<std::string, std::string>& All() const { return mValues; }

  private:
    std::map<std::string, std::string> mValues;
};

}  // namespace sim

#endif

#include "sim/core/settings.h"

#include <fstream>
#include <sstream>

namespace sim {

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<std::string> Settings::ParseAssignment(const std::string& line) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) return "expected key=value, got \"" + line + "\"";
    const std::string key = Trim(line.substr(0, equals));
    if (key.empty()) return "missing key in \"" + line + "\"";
    mValues[key] = Trim(line.substr(equals + 1));
    return std::nullopt;
}

std::optional<std::string> Settings::Parse(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        if (Trim(line).empty()) continue;
        if (auto error = ParseAssignment(line)) {
            return "line " + std::to_string(number) + ": " + *error;
        }
    }
    return std::nullopt;
}

std::string Settings::Format() const {
    std::string text;
    for (const auto& [key, value] : mValues) text += key + "=" + value + "\n";
    return text;
}

bool Settings::Load(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    return !Parse(text.str()).has_value();
}

bool Settings::Save(const std::filesystem::path& file) const {
    std::ofstream out(file, std::ios::trunc);
    out << Format();
    return static_cast<bool>(out);
}

std::string Settings::Get(const std::string& key, const std::string& fallback) const {
    const auto found = mValues.find(key);
    return found == mValues.end() ? fallback : found->second;
}

std::uint64_t Settings::GetNumber(const std::string& key, std::uint64_t fallback) const {
    const auto found = mValues.find(key);
    if (found == mValues.end() || found->second.empty()) return fallback;
    try {
        std::size_t used = 0;
        const std::uint64_t value = std::stoull(found->second, &used, 0);
        return used == found->second.size() ? value : fallback;
    } catch (const std::exception&) {
        return fallback;
    }
}

bool Settings::GetFlag(const std::string& key, bool fallback) const {
    const std::string value = Get(key, "");
    if (value == "1" || value == "true" || value == "yes" || value == "on") return true;
    if (value == "0" || value == "false" || value == "no" || value == "off") return false;
    return fallback;
}

}  // namespace sim

#include "sim/core/setting_lists.h"

#include <sstream>
#include <stdexcept>

namespace sim {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, separator)) {
        const auto first = part.find_first_not_of(" \t");
        const auto last = part.find_last_not_of(" \t");
        parts.push_back(first == std::string::npos ? "" : part.substr(first, last - first + 1));
    }
    return parts;
}

}  // namespace

std::vector<SettingItem> SettingItems(const Settings& settings, const std::string& key) {
    std::vector<SettingItem> items;
    for (const std::string& item : Split(settings.Get(key, ""), ',')) {
        if (item.empty()) continue;
        items.push_back(Split(item, ':'));
    }
    return items;
}

std::uint64_t SettingNumber(const std::string& key, const std::string& text, std::uint64_t max) {
    std::size_t used = 0;
    std::uint64_t value = 0;
    try {
        value = std::stoull(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || text.front() == '-') {
        throw std::invalid_argument(key + ": \"" + text + "\" is not a number");
    }
    if (value > max) {
        throw std::invalid_argument(key + ": " + text + " is larger than " + std::to_string(max));
    }
    return value;
}

std::uint64_t SettingNumber(const Settings& settings, const std::string& key,
                            std::uint64_t fallback, std::uint64_t max) {
    const std::string text = settings.Get(key, "");
    return text.empty() ? fallback : SettingNumber(key, text, max);
}

}  // namespace sim

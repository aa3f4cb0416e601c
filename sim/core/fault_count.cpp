#include "sim/core/fault_count.h"

#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim {

FaultCount FaultCount::Parse(const std::string& key, const std::string& text) {
    if (text == "always") return Always();
    return Times(SettingNumber(key, text));
}

FaultCount FaultCount::FromSetting(const Settings& settings, const std::string& key,
                                   FaultCount fallback) {
    const std::string text = settings.Get(key, "");
    return text.empty() ? fallback : Parse(key, text);
}

bool FaultCount::Strike() {
    if (mAlways) return true;
    if (mLeft == 0) return false;
    --mLeft;
    return true;
}

std::string FaultCount::Describe() const {
    if (mAlways) return "always";
    if (mLeft == 0) return "never";
    return std::to_string(mLeft) + (mLeft == 1 ? " more time" : " more times");
}

CodedFault CodedFault::FromSetting(const Settings& settings, const std::string& key,
                                   std::uint64_t fallbackCode, std::uint64_t maxCode,
                                   std::uint64_t successCode) {
    CodedFault fault{FaultCount(), fallbackCode};
    const auto items = SettingItems(settings, key);
    if (items.empty()) return fault;
    if (items.size() != 1 || items[0].empty() || items[0].size() > 2) {
        throw std::invalid_argument(key + ": expected TIMES[:CODE]");
    }
    fault.times = FaultCount::Parse(key, items[0][0]);
    if (items[0].size() == 2) fault.code = SettingNumber(key, items[0][1], maxCode);
    if (fault.code == successCode) {
        throw std::invalid_argument(key + ": the code of a failure cannot be success");
    }
    return fault;
}

}  // namespace sim

#include "sim/bmc/sdr/sdr_settings.h"

#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim::sdr {

namespace {

constexpr std::uint64_t kNsPerMs = 1000000;
constexpr std::uint64_t kDefaultEraseMs = 200;
// A Get SDR response carries the next record ID before the bytes; what is
// left of a KCS message after netFn, command and completion code.
constexpr std::uint64_t kLargestRead = 255 - 3 - 2;

// The single item "A[:B]" of a setting, or none.
std::optional<SettingItem> OneItem(const Settings& settings, const std::string& key,
                                   std::size_t maxFields) {
    const std::vector<SettingItem> items = SettingItems(settings, key);
    if (items.empty()) return std::nullopt;
    if (items.size() != 1 || items[0].size() > maxFields) {
        throw std::invalid_argument(key + ": one item of at most " + std::to_string(maxFields) +
                                    " fields");
    }
    return items[0];
}

}  // namespace

RepositorySettings RepositorySettings::FromSettings(const Settings& settings) {
    RepositorySettings config;
    config.file = settings.Get("sdr.file", config.file);
    const std::string initial = settings.Get("sdr.initial", "default");
    if (initial != "default" && initial != "empty") {
        throw std::invalid_argument("sdr.initial: \"" + initial +
                                    "\" is neither default nor empty");
    }
    config.startsEmpty = initial == "empty";
    config.capacity = SettingNumber(settings, "sdr.capacity", config.capacity, 0xFFFE);
    config.maxRead = SettingNumber(settings, "sdr.max_read", config.maxRead, kLargestRead);
    if (config.maxRead == 0) throw std::invalid_argument("sdr.max_read: at least 1");
    config.eraseNs = SettingNumber(settings, "sdr.erase_ms", kDefaultEraseMs, 60000) * kNsPerMs;
    config.firstSequence =
        static_cast<std::uint8_t>(SettingNumber(settings, "sdr.area.first_sequence", 1, 0xFF));

    config.busy = CodedFault::FromSetting(settings, "sdr.fault.busy", 0xC0, 0xFF);
    config.eraseNeverCompletes = settings.GetFlag("sdr.fault.erase_stuck", false);
    if (const auto item = OneItem(settings, "sdr.fault.cancel_reservation", 2)) {
        config.cancelAfter.gets =
            SettingNumber("sdr.fault.cancel_reservation", item->at(0), 0xFFFF);
        config.cancelAfter.times =
            item->size() > 1 ? FaultCount::Parse("sdr.fault.cancel_reservation", item->at(1))
                             : FaultCount::Times(1);
        if (config.cancelAfter.gets == 0) {
            throw std::invalid_argument("sdr.fault.cancel_reservation: at least 1 Get SDR");
        }
    }
    for (const SettingItem& item : SettingItems(settings, "sdr.fault.drop_part")) {
        config.droppedParts.insert(SettingNumber("sdr.fault.drop_part", item.at(0)));
    }
    if (const auto item = OneItem(settings, "sdr.fault.refuse_part", 2)) {
        config.refusedPart = SettingNumber("sdr.fault.refuse_part", item->at(0));
        if (item->size() > 1) {
            config.refusedPartCode = static_cast<std::uint8_t>(
                SettingNumber("sdr.fault.refuse_part", item->at(1), 0xFF));
            if (config.refusedPartCode == 0) {
                throw std::invalid_argument("sdr.fault.refuse_part: a refusal is not 00h");
            }
        }
    }
    config.closeChecksum = FaultCount::FromSetting(settings, "sdr.fault.close_checksum");
    if (settings.Has("sdr.fault.loop") && !settings.Get("sdr.fault.loop", "").empty()) {
        config.loopAt =
            static_cast<std::uint16_t>(SettingNumber(settings, "sdr.fault.loop", 0, 0xFFFE));
    }
    if (const auto item = OneItem(settings, "sdr.fault.length_byte", 2)) {
        if (item->size() != 2) throw std::invalid_argument("sdr.fault.length_byte: ID:VALUE");
        config.lyingLength = LyingLength{
            static_cast<std::uint16_t>(SettingNumber("sdr.fault.length_byte", item->at(0), 0xFFFE)),
            static_cast<std::uint8_t>(SettingNumber("sdr.fault.length_byte", item->at(1), 0xFF))};
    }
    return config;
}

}  // namespace sim::sdr

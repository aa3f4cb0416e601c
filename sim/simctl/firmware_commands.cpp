// The commands over what the simulated BIOS keeps for an update program:
// show its firmware volume, flash tables and notify field, change them as
// a programmer clip would (a malformed table, a notify state), and write a
// tables volume to a file for tests against other tools.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/bios/bios_flash.h"
#include "sim/core/setting_lists.h"
#include "sim/firmware/boot_firmware.h"
#include "sim/firmware/tables_dump.h"
#include "sim/simctl/command.h"
#include "sim/simctl/machine_state.h"

namespace simctl {

namespace {

constexpr std::uint64_t k4G = 0x100000000;

// The machine's BIOS part and its boot firmware; null (with the message
// printed) when the machine keeps no tables.
struct Firmware {
    std::unique_ptr<sim::Machine> machine;
    sim::BootFirmware* firmware = nullptr;
    sim::FlashArray* cells = nullptr;
};

Firmware OpenFirmware(const Invocation& call) {
    Firmware opened{OpenState(call)};
    if (!opened.machine) return {};
    opened.firmware = opened.machine->Find<sim::BootFirmware>();
    sim::FlashPart* part = opened.machine->FindFlashPart(sim::kBiosFlashPart);
    if (opened.firmware == nullptr || part == nullptr || !opened.firmware->Config().tables) {
        std::fprintf(stderr,
                     "simctl: this BIOS keeps no flash tables (firmware.tables=0, or a part "
                     "smaller than 512 KB)\n");
        return {};
    }
    opened.cells = &part->Cells();
    return opened;
}

int BiosTables(const Invocation& call) {
    if (!call.args.empty()) {
        std::fprintf(stderr, "simctl: bios-tables takes no arguments\n");
        return 2;
    }
    const Firmware opened = OpenFirmware(call);
    if (opened.cells == nullptr) return 1;
    const sim::BootFirmwareConfig& config = opened.firmware->Config();
    const auto block =
        opened.cells->Bytes(config.CellOffset(config.volume), sim::BootFirmwareConfig::kBlockBytes);
    std::printf("volume block at %llXh\n", static_cast<unsigned long long>(config.volume));
    // A volume moved inside its block is shown where its header is.
    static constexpr char kSignature[] = "_FVH";
    const auto found = std::search(block.begin(), block.end(), kSignature, kSignature + 4);
    const std::size_t at = found - block.begin();
    if (found != block.end() && at >= 40 && at != 40) {
        std::printf("the volume header starts %zXh bytes into its block\n", at - 40);
        sim::DescribeVolume(block.subspan(at - 40), std::cout);
    } else {
        sim::DescribeVolume(block, std::cout);
    }
    return 0;
}

int BiosTablesSet(const Invocation& call) {
    const auto fault = call.args.size() == 1 ? sim::TablesFaultByName(call.args[0]) : std::nullopt;
    if (!fault) {
        std::string names;
        for (const auto name : sim::TablesFaultNames()) names += " " + std::string(name);
        std::fprintf(stderr, "simctl: bios-tables-set needs one of:%s\n", names.c_str());
        return 2;
    }
    const Firmware opened = OpenFirmware(call);
    if (opened.cells == nullptr) return 1;
    sim::BootFirmwareConfig config = opened.firmware->Config();
    config.fault = *fault;
    try {
        sim::ReplaceCells(*opened.cells, config, config.volume,
                          sim::BootFirmwareVolumeBlock(config));
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "simctl: %s\n", error.what());
        return 1;
    }
    if (!SaveState(*opened.machine, call)) return 1;
    std::printf("laid the flash tables volume with %s\n", call.args[0].c_str());
    return 0;
}

std::string FieldText(const std::vector<std::uint8_t>& field) {
    std::string text;
    char hex[4];
    for (const std::uint8_t byte : field) {
        std::snprintf(hex, sizeof hex, "%02X ", byte);
        text += hex;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

int Notify(const Invocation& call) {
    if (!call.args.empty()) {
        std::fprintf(stderr, "simctl: notify takes no arguments\n");
        return 2;
    }
    const Firmware opened = OpenFirmware(call);
    if (opened.cells == nullptr) return 1;
    const auto field = opened.firmware->NotifyField();
    std::printf("notify field at %llXh: %s (%s)\n",
                static_cast<unsigned long long>(opened.firmware->Config().NotifyField()),
                std::string(sim::NotifyStateName(sim::ReadNotifyState(field))).c_str(),
                FieldText(field).c_str());
    return 0;
}

int NotifySet(const Invocation& call) {
    const auto state = call.args.size() == 1 ? sim::NotifyStateByName(call.args[0]) : std::nullopt;
    if (!state) {
        std::fprintf(stderr, "simctl: notify-set needs fresh, pending, none or used-up\n");
        return 2;
    }
    const Firmware opened = OpenFirmware(call);
    if (opened.cells == nullptr) return 1;
    const sim::BootFirmwareConfig& config = opened.firmware->Config();
    sim::ReplaceCells(*opened.cells, config, config.NotifyField(),
                      sim::NotifyFieldBytes(*state, config.notifyBytes));
    if (!SaveState(*opened.machine, call)) return 1;
    std::printf("notify field %s\n", call.args[0].c_str());
    return 0;
}

// "--name VALUE" or "--name=VALUE".
bool OptionValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                 std::string& value) {
    const std::string& arg = args[i];
    if (arg == name && i + 1 < args.size()) {
        value = args[++i];
        return true;
    }
    if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

int TablesImage(const Invocation& call) {
    std::string file;
    std::string base;
    std::string size;
    std::string faultName = "none";
    std::string romId = sim::kDefaultRomId;
    std::string notifyTable = "1";
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        if (OptionValue(call.args, i, "--base", base) ||
            OptionValue(call.args, i, "--size", size) ||
            OptionValue(call.args, i, "--fault", faultName) ||
            OptionValue(call.args, i, "--rom-id", romId) ||
            OptionValue(call.args, i, "--notify-table", notifyTable)) {
            continue;
        }
        if (call.args[i].rfind("--", 0) != 0 && file.empty()) {
            file = call.args[i];
            continue;
        }
        std::fprintf(stderr, "simctl: tables-image does not know \"%s\"\n", call.args[i].c_str());
        return 2;
    }
    if (file.empty() || size.empty()) {
        std::fprintf(stderr, "simctl: tables-image needs FILE and --size BYTES\n");
        return 2;
    }
    try {
        sim::Settings settings;
        settings.Set("firmware.fault", faultName);
        settings.Set("firmware.notify_table", notifyTable);
        if (!base.empty()) settings.Set("firmware.volume", base);
        sim::FlashChip chip;
        chip.sizeBytes = static_cast<std::uint32_t>(sim::SettingNumber("--size", size, k4G / 2));
        chip.bus = sim::FlashBus::kFwh;
        sim::BootFirmwareConfig config = sim::BootFirmwareConfig::FromSettings(settings, chip);
        if (!config.tables) {
            throw std::invalid_argument("--size: a part of " + size +
                                        " bytes carries no tables (at least 512 KB, in 64 KB "
                                        "blocks)");
        }
        config.romId = romId;
        const std::vector<std::uint8_t> block = sim::BootFirmwareVolumeBlock(config);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size()));
        if (!out) {
            std::fprintf(stderr, "simctl: cannot write %s\n", file.c_str());
            return 1;
        }
        std::printf("wrote %s: the tables volume for %llXh\n", file.c_str(),
                    static_cast<unsigned long long>(config.volume));
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "simctl: %s\n", error.what());
        return 2;
    }
    return 0;
}

}  // namespace

SIMCTL_COMMAND("bios-tables", "", "show the BIOS's firmware volume and flash tables", BiosTables);
SIMCTL_COMMAND("bios-tables-set", "FAULT",
               "lay the flash tables volume again with a malformation (none: well formed)",
               BiosTablesSet);
SIMCTL_COMMAND("notify", "", "show the BIOS's notify field and its state", Notify);
SIMCTL_COMMAND("notify-set", "fresh|pending|none|used-up", "put the notify field in a state",
               NotifySet);
SIMCTL_COMMAND("tables-image", "FILE --size BYTES [--base ADDR] [--fault NAME] [--rom-id ID]",
               "write the 64 KB tables volume block of a part of BYTES to FILE", TablesImage);

}  // namespace simctl

// The commands over the controllers' firmware: what each holds (areas,
// versions, transfer mode), and images built for a controller, sound or
// broken on purpose, for trying the firmware update library out.
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/bmc/fw/controller_firmware.h"
#include "sim/bmc/fw/fw_image_builder.h"
#include "sim/bmc/fw/fw_settings.h"
#include "sim/core/setting_lists.h"
#include "sim/simctl/command.h"
#include "sim/simctl/files.h"
#include "sim/simctl/machine_state.h"

namespace simctl {

namespace {

std::uint8_t AddressArgument(const std::string& option, const std::string& text) {
    return static_cast<std::uint8_t>(sim::SettingNumber(option, text, 0xFF));
}

int ShowFirmware(const Invocation& call) {
    if (call.args.size() > 1) {
        std::fprintf(stderr, "simctl: fw-show takes at most one ADDR\n");
        return 2;
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    auto* firmware = machine->Find<sim::ControllerFirmware>();
    if (call.args.empty()) {
        firmware->Describe(std::cout);
        return 0;
    }
    const std::uint8_t address = AddressArgument("ADDR", call.args[0]);
    const sim::fw::FirmwareController* controller = firmware->Find(address);
    if (controller == nullptr) {
        std::fprintf(stderr, "simctl: no controller with firmware at %02Xh\n", address);
        return 1;
    }
    controller->Describe(std::cout);
    return 0;
}

// The value after an option ("--device 0x20"), moving past it.
std::string OptionValue(const std::vector<std::string>& args, std::size_t& at) {
    if (at + 1 >= args.size()) throw std::invalid_argument(args[at] + ": needs a value");
    return args[++at];
}

int BuildImage(const Invocation& call) {
    if (call.args.empty()) {
        std::fprintf(stderr, "simctl: fw-image needs OUT --device ADDR\n");
        return 2;
    }
    std::optional<std::uint8_t> address;
    std::string format = "hex";
    std::vector<std::pair<std::string, std::string>> changes;
    for (std::size_t at = 1; at < call.args.size(); ++at) {
        const std::string& option = call.args[at];
        if (option == "--device") {
            address = AddressArgument(option, OptionValue(call.args, at));
        } else if (option == "--format") {
            format = OptionValue(call.args, at);
            if (format != "hex" && format != "bin")
                throw std::invalid_argument("--format: hex or bin");
        } else if (option == "--version" || option == "--boot-version" ||
                   option == "--pia-version" || option == "--efs-version" || option == "--broken" ||
                   option == "--product-id" || option == "--block-format" ||
                   option == "--pia-type") {
            changes.emplace_back(option, OptionValue(call.args, at));
        } else {
            throw std::invalid_argument("unknown option " + option);
        }
    }
    if (!address) throw std::invalid_argument("--device ADDR is needed (20h, 22h, C0h, C2h)");
    // The image the state's controller would carry, so its identification,
    // product ID and Vitesse part match the simulated server's.
    sim::Machine machine(sim::SettingsOf(call.dir));
    sim::BuildMachine(machine);
    const sim::fw::FirmwareController* controller =
        machine.Find<sim::ControllerFirmware>()->Find(*address);
    if (controller == nullptr) {
        std::fprintf(stderr, "simctl: no controller with firmware at %02Xh\n", *address);
        return 1;
    }
    sim::fw::ImageSpec recipe = controller->Config().image;
    for (const auto& [option, value] : changes) {
        if (option == "--version") recipe.opCode = sim::fw::ParseVersion(option, value);
        if (option == "--boot-version") recipe.boot = sim::fw::ParseVersion(option, value);
        if (option == "--pia-version") recipe.pia = sim::fw::ParseVersion(option, value);
        if (option == "--efs-version") recipe.efs = sim::fw::ParseVersion(option, value);
        if (option == "--product-id") {
            recipe.productId =
                static_cast<std::uint16_t>(sim::SettingNumber(option, value, 0xFFFF));
        }
        if (option == "--block-format") {
            recipe.blockFormat = static_cast<std::uint8_t>(sim::SettingNumber(option, value, 0xFF));
            if (recipe.blockFormat != 5 && recipe.blockFormat != 6) {
                throw std::invalid_argument(option + ": 5 or 6");
            }
        }
        if (option == "--pia-type") {
            recipe.piaType = static_cast<std::uint8_t>(sim::SettingNumber(option, value, 0xFF));
            if (recipe.piaType != 2 && recipe.piaType != 3)
                throw std::invalid_argument(option + ": 2 or 3");
        }
        if (option == "--broken") {
            const auto broken = sim::fw::BrokenNamed(value);
            if (!broken) {
                throw std::invalid_argument(
                    "--broken: block-checksum, no-opcode-info, address-zero, line-checksum or "
                    "no-end-record");
            }
            recipe.broken = *broken;
        }
    }
    std::vector<std::uint8_t> image;
    if (format == "hex") {
        const std::string text = sim::fw::BuildHex(recipe);
        image.assign(text.begin(), text.end());
    } else {
        image = sim::fw::BuildBinary(recipe);
    }
    if (!WriteFile(call.args[0], image)) return 1;
    std::printf("built %s: %s image for %02Xh, %u bytes of memory, operational code %X.%02X%s\n",
                call.args[0].c_str(), format.c_str(), *address, recipe.size, recipe.opCode.major,
                recipe.opCode.minor,
                recipe.broken == sim::fw::Broken::kNone
                    ? ""
                    : (", broken: " + sim::fw::BrokenName(recipe.broken)).c_str());
    return 0;
}

}  // namespace

SIMCTL_COMMAND("fw-show", "[ADDR]", "the controllers' firmware: areas, versions, transfer mode",
               ShowFirmware);
SIMCTL_COMMAND("fw-image",
               "OUT --device ADDR [--version X.YY] [--boot-version X.YY] [--pia-version X.YY] "
               "[--efs-version X.YY] [--product-id N] [--block-format 5|6] [--pia-type 2|3] "
               "[--format hex|bin] [--broken KIND]",
               "build a firmware image for a controller (KIND block-checksum, no-opcode-info, "
               "address-zero, line-checksum, no-end-record)",
               BuildImage);

}  // namespace simctl

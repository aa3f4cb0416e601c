// The commands over the BIOS flash: put a ROM image into the simulated flash
// (as a programmer clip would), take it out, and build an image that fits
// the simulated BIOS, for trying the flash utility out.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/bios/bios_flash.h"
#include "sim/bios/rom_image_builder.h"
#include "sim/core/setting_lists.h"
#include "sim/simctl/command.h"
#include "sim/simctl/files.h"
#include "sim/simctl/machine_state.h"

namespace simctl {

namespace {

sim::BiosFlashService* Bios(sim::Machine& machine) {
    return machine.Find<sim::BiosFlashService>();
}

int LoadRom(const Invocation& call) {
    if (call.args.size() != 1) {
        std::fprintf(stderr, "simctl: load-rom needs FILE\n");
        return 2;
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    std::ifstream in(call.args[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "simctl: cannot read %s\n", call.args[0].c_str());
        return 1;
    }
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in), {}};
    sim::FlashArray& flash = Bios(*machine)->Flash();
    if (!flash.Fill(image)) {
        std::fprintf(stderr,
                     "simctl: %s is %zu bytes, but the simulated BIOS flash is %zu bytes "
                     "(bios.rom_kb=%zu); the flash is unchanged\n",
                     call.args[0].c_str(), image.size(), flash.Size(), flash.Size() / 1024);
        return 1;
    }
    if (!SaveState(*machine, call)) return 1;
    std::printf("loaded %s into the BIOS flash (ROM ID \"%s\")\n", call.args[0].c_str(),
                Bios(*machine)->InstalledRomId().c_str());
    return 0;
}

int DumpRom(const Invocation& call) {
    if (call.args.size() != 1) {
        std::fprintf(stderr, "simctl: dump-rom needs FILE\n");
        return 2;
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    return WriteFile(call.args[0], Bios(*machine)->Flash().Bytes()) ? 0 : 1;
}

// The next version of a ROM ID: its last three characters count up.
std::string NextVersion(std::string romId) {
    if (romId.size() != 8) return romId;
    for (std::size_t i = 5; i < 8; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(romId[i]))) return romId;
    }
    char version[8];
    std::snprintf(version, sizeof version, "%03u",
                  static_cast<unsigned>(std::stoul(romId.substr(5)) + 1) % 1000);
    return romId.substr(0, 5) + version;
}

// Another ROM ID, other contents.
std::uint32_t SeedOf(const std::string& romId) {
    std::uint32_t hash = 2166136261u;
    for (const char c : romId) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

std::vector<std::string> Fields(const std::string& option, const std::string& value,
                                std::size_t count) {
    sim::Settings one;
    one.Set(option, value);
    const auto items = sim::SettingItems(one, option);
    if (items.size() != 1 || items.front().size() != count) {
        throw std::invalid_argument(option + ": expected " + std::to_string(count) +
                                    " values separated by ':'");
    }
    return items.front();
}

int BuildRom(const Invocation& call) {
    auto machine = OpenState(call);
    if (!machine) return 1;
    const sim::BiosFlashService& bios = *Bios(*machine);
    sim::RomImageBuilder builder(bios.Layout());
    std::string romId = NextVersion(bios.InstalledRomId());
    std::optional<std::uint32_t> seed;
    std::string file;
    for (const std::string& arg : call.args) {
        const auto equals = arg.find('=');
        const std::string option = arg.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : arg.substr(equals + 1);
        if (option == "--rom-id") {
            romId = value;
        } else if (option == "--seed") {
            seed = static_cast<std::uint32_t>(sim::SettingNumber(option, value, UINT32_MAX));
        } else if (option == "--bbm") {
            builder.BootBlockMarker();
        } else if (option == "--boot-sum") {
            builder.BootBlockSum(
                static_cast<std::uint32_t>(sim::SettingNumber(option, value, UINT32_MAX)));
        } else if (option == "--nc") {
            const auto fields = Fields(option, value, 2);
            builder.NonCriticalBlock(
                static_cast<std::uint32_t>(sim::SettingNumber(option, fields[0], UINT32_MAX)),
                static_cast<std::uint32_t>(sim::SettingNumber(option, fields[1], UINT32_MAX)));
        } else if (option == "--signature") {
            const auto fields = Fields(option, value, 2);
            builder.SignatureRecord(
                static_cast<std::uint32_t>(sim::SettingNumber(option, fields[0], UINT32_MAX)),
                static_cast<std::uint8_t>(sim::SettingNumber(option, fields[1], 0xFF)));
        } else if (arg.rfind("--", 0) != 0 && file.empty()) {
            file = arg;
        } else {
            std::fprintf(stderr, "simctl: build-rom does not know \"%s\"\n", arg.c_str());
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "simctl: build-rom needs FILE\n");
        return 2;
    }
    builder.RomId(romId).Seed(seed.value_or(SeedOf(romId)));
    if (!WriteFile(file, builder.Build())) return 1;
    std::printf("built %s: %u KB, ROM ID \"%s\"\n", file.c_str(), bios.Layout().romBytes / 1024,
                romId.c_str());
    return 0;
}

}  // namespace

SIMCTL_COMMAND("load-rom", "FILE", "put a ROM image into the BIOS flash", LoadRom);
SIMCTL_COMMAND("dump-rom", "FILE", "save the BIOS flash to a file", DumpRom);
SIMCTL_COMMAND("build-rom",
               "FILE [--rom-id=ID] [--seed=N] [--bbm] [--boot-sum=N] [--nc=OFFSET:SIZE]... "
               "[--signature=OFFSET:FLAG]",
               "build a ROM image for this BIOS (default: the next version of its ROM ID)",
               BuildRom);

}  // namespace simctl

// The commands over the FRU devices: put an image into a device (as a
// programmer would), take one out, and build a realistic FRU image, sound
// or damaged on purpose, for trying the FRU library out.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/bmc/fru/fru_image_builder.h"
#include "sim/bmc/fru/fru_storage.h"
#include "sim/core/setting_lists.h"
#include "sim/simctl/command.h"
#include "sim/simctl/files.h"
#include "sim/simctl/machine_state.h"

namespace simctl {

namespace {

using sim::fru::Area;

constexpr std::size_t kDefaultCapacity = 2048;

// The areas by the names options give them, in image order.
constexpr std::pair<const char*, Area> kAreaNames[] = {{"internal", Area::kInternalUse},
                                                       {"chassis", Area::kChassis},
                                                       {"board", Area::kBoard},
                                                       {"product", Area::kProduct},
                                                       {"multirecord", Area::kMultiRecord}};

Area AreaNamed(const std::string& option, const std::string& name) {
    for (const auto& [areaName, area] : kAreaNames) {
        if (name == areaName) return area;
    }
    throw std::invalid_argument(option + ": no area \"" + name +
                                "\" (internal, chassis, board, product, multirecord)");
}

// The named device of the state's machine; null (with the message printed)
// when there is none.
sim::fru::FruDevice* DeviceNamed(sim::Machine& machine, const std::string& name) {
    sim::fru::FruDevice* device = machine.Find<sim::FruStorage>()->Find(name);
    if (device == nullptr) {
        std::fprintf(stderr, "simctl: no FRU device \"%s\" (\"show\" lists them)\n", name.c_str());
    }
    return device;
}

int LoadFru(const Invocation& call) {
    if (call.args.size() != 2) {
        std::fprintf(stderr, "simctl: load-fru needs DEVICE FILE\n");
        return 2;
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    sim::fru::FruDevice* device = DeviceNamed(*machine, call.args[0]);
    if (device == nullptr) return 1;
    std::ifstream in(call.args[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "simctl: cannot read %s\n", call.args[1].c_str());
        return 1;
    }
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in), {}};
    if (!device->Fill(image)) {
        std::fprintf(stderr, "simctl: %s is %zu bytes, larger than %s (%u bytes); unchanged\n",
                     call.args[1].c_str(), image.size(), call.args[0].c_str(), device->Size());
        return 1;
    }
    if (!SaveState(*machine, call)) return 1;
    std::printf("loaded %s (%zu bytes) into %s\n", call.args[1].c_str(), image.size(),
                call.args[0].c_str());
    return 0;
}

int DumpFru(const Invocation& call) {
    if (call.args.size() != 2) {
        std::fprintf(stderr, "simctl: dump-fru needs DEVICE FILE\n");
        return 2;
    }
    auto machine = OpenState(call);
    if (!machine) return 1;
    const sim::fru::FruDevice* device = DeviceNamed(*machine, call.args[0]);
    if (device == nullptr) return 1;
    return WriteFile(call.args[1], device->Contents()) ? 0 : 1;
}

// A damage option: "--bad-checksum=header", "board", "record:1",
// "record-header:0".
void BadChecksum(sim::fru::FruImageBuilder& builder, const std::string& option,
                 const std::string& what) {
    const auto colon = what.find(':');
    const std::string kind = what.substr(0, colon);
    if (kind == "header") {
        builder.HeaderChecksumDelta(1);
    } else if (kind == "record" || kind == "record-header") {
        if (colon == std::string::npos)
            throw std::invalid_argument(option + ": " + kind + ":INDEX");
        const std::size_t index = sim::SettingNumber(option, what.substr(colon + 1), 255);
        if (kind == "record") {
            builder.RecordDataChecksumDelta(index, 1);
        } else {
            builder.RecordHeaderChecksumDelta(index, 1);
        }
    } else {
        const Area area = AreaNamed(option, kind);
        if (area == Area::kInternalUse || area == Area::kMultiRecord) {
            throw std::invalid_argument(option + ": the " + kind +
                                        " area has no checksum of its own");
        }
        builder.AreaChecksumDelta(area, 1);
    }
}

// "product,board,chassis" as the items of a list.
std::vector<sim::SettingItem> AreaList(const std::string& value) {
    sim::Settings list;
    list.Set("order", value);
    return sim::SettingItems(list, "order");
}

void DescribeImage(const std::string& file, const sim::fru::FruImageBuilder& builder,
                   std::size_t bytes) {
    std::printf("built %s: %zu bytes", file.c_str(), bytes);
    for (const auto& [name, area] : kAreaNames) {
        if (const auto placed = builder.Where(area)) {
            std::printf(", %s at %zXh (%zu bytes)", name, placed->offset, placed->length);
        }
    }
    std::printf("\n");
}

int BuildFru(const Invocation& call) {
    std::string file;
    std::string deviceName = "baseboard";
    std::size_t capacity = kDefaultCapacity;
    std::vector<std::pair<std::string, std::string>> damage;
    std::size_t size = 0;
    for (const std::string& arg : call.args) {
        const auto equals = arg.find('=');
        const std::string option = arg.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : arg.substr(equals + 1);
        if (option == "--for") {
            auto machine = OpenState(call);
            if (!machine) return 1;
            const sim::fru::FruDevice* device = DeviceNamed(*machine, value);
            if (device == nullptr) return 1;
            deviceName = value;
            capacity = device->Size();
        } else if (option == "--size") {
            size = sim::SettingNumber(option, value, 0x10000);
        } else if (option == "--bad-checksum" || option == "--length-byte" ||
                   option == "--header-version" || option == "--no-end-of-list" ||
                   option == "--order" || option == "--padding" || option == "--end-after") {
            damage.emplace_back(option, value);
        } else if (arg.rfind("--", 0) != 0 && file.empty()) {
            file = arg;
        } else {
            std::fprintf(stderr, "simctl: build-fru does not know \"%s\"\n", arg.c_str());
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "simctl: build-fru needs FILE\n");
        return 2;
    }
    sim::fru::FruImageBuilder builder = sim::fru::SampleFru(deviceName, size ? size : capacity);
    for (const auto& [option, value] : damage) {
        if (option == "--bad-checksum") {
            BadChecksum(builder, option, value);
        } else if (option == "--length-byte") {
            const auto colon = value.find(':');
            if (colon == std::string::npos) throw std::invalid_argument(option + ": AREA:UNITS");
            builder.AreaLengthByte(AreaNamed(option, value.substr(0, colon)),
                                   static_cast<std::uint8_t>(
                                       sim::SettingNumber(option, value.substr(colon + 1), 255)));
        } else if (option == "--order") {
            std::vector<Area> order;
            for (const sim::SettingItem& item : AreaList(value)) {
                order.push_back(AreaNamed(option, item.at(0)));
            }
            builder.Order(order);
        } else if (option == "--padding" || option == "--end-after") {
            const auto colon = value.find(':');
            if (colon == std::string::npos) throw std::invalid_argument(option + ": AREA:N");
            const Area area = AreaNamed(option, value.substr(0, colon));
            const auto number = sim::SettingNumber(option, value.substr(colon + 1), 255);
            if (option == "--padding") {
                builder.PaddingByte(area, static_cast<std::uint8_t>(number));
            } else {
                builder.EndAfterFixedFields(area, number);
            }
        } else if (option == "--header-version") {
            builder.HeaderVersion(
                static_cast<std::uint8_t>(sim::SettingNumber(option, value, 255)));
        } else {
            builder.NoEndOfList();
        }
    }
    if (size != 0) builder.ImageSize(size);
    const std::vector<std::uint8_t> image = builder.Build();
    if (!WriteFile(file, image)) return 1;
    DescribeImage(file, builder, image.size());
    return 0;
}

}  // namespace

SIMCTL_COMMAND("load-fru", "DEVICE FILE", "put a FRU image into a FRU device (the rest erased)",
               LoadFru);
SIMCTL_COMMAND("dump-fru", "DEVICE FILE", "save a FRU device's contents to a file", DumpFru);
SIMCTL_COMMAND("build-fru",
               "FILE [--for=DEVICE] [--size=N] [--bad-checksum=header|AREA|record:I|"
               "record-header:I] [--length-byte=AREA:UNITS] [--header-version=N] "
               "[--no-end-of-list] [--order=AREA,...] [--padding=AREA:BYTE] "
               "[--end-after=AREA:FIXED_FIELDS]",
               "build a realistic FRU image (AREA: internal chassis board product multirecord); "
               "--order lays the areas out in another order, --padding fills an area after its "
               "end marker with BYTE, --end-after ends it before a fixed field, checksums holding",
               BuildFru);

}  // namespace simctl

#include "host/fw/output.h"

#include <cstdio>

#include "host/frame/json_writer.h"
#include "host/frame/text.h"

namespace srvfw {

namespace {

std::string Address(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

std::string Padded(std::string_view text, std::size_t width) {
    return std::string(text) + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

std::string Controller(unsigned char device) {
    return FwDeviceAddress(device) + " " + FwDeviceName(device);
}

void JsonDevice(JsonWriter& json, unsigned char device) {
    json.Key("device").BeginObject();
    json.Key("address").Number(device).Key("name").String(FwDeviceName(device));
    json.EndObject();
}

void JsonForSystem(JsonWriter& json, const ForSystem& forSystem) {
    json.Key("for_system");
    if (forSystem.fits) {
        json.Bool(*forSystem.fits);
    } else {
        json.Null();
    }
    json.Key("for_system_note").String(ValidUtf8(forSystem.note));
}

std::string ForSystemText(const ForSystem& forSystem) {
    if (!forSystem.fits) return "not known (" + Printable(forSystem.note) + ")";
    if (*forSystem.fits) return "yes";
    return "NO" + (forSystem.note.empty() ? "" : " (" + Printable(forSystem.note) + ")");
}

std::string Running(const std::optional<std::string>& version) {
    return version ? *version : "none";
}

}  // namespace

void PrintImage(std::ostream& out, bool json, const FwImage& image) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        writer.Key("file").String(ValidUtf8(image.file.string()));
        writer.Key("type").String(FwImageTypeName(image.type));
        writer.Key("device").BeginObject();
        writer.Key("address").Number(image.device);
        writer.Key("name").String(ValidUtf8(image.deviceName));
        writer.EndObject();
        writer.Key("areas").BeginArray();
        for (const FwImageArea& area : image.areas) {
            writer.BeginObject().Key("name").String(area.area->name);
            writer.Key("version").String(ValidUtf8(area.version));
            if (area.range) {
                writer.Key("start").Number(area.range->start).Key("end").Number(area.range->end);
            }
            writer.EndObject();
        }
        writer.EndArray();
        writer.Key("platform_id")
            .StringOrNull(image.platformId ? std::optional(ValidUtf8(*image.platformId))
                                           : std::nullopt);
        writer.Key("pia_version");
        if (image.piaVersion) {
            writer.Number(*image.piaVersion);
        } else {
            writer.Null();
        }
        writer.EndObject().Finish();
        return;
    }
    out << "Image:        " << Printable(image.file.string()) << " (" << FwImageTypeName(image.type)
        << ")\n";
    out << "Device:       " << FwDeviceAddress(image.device) << " \"" << Printable(image.deviceName)
        << "\" (" << FwDeviceName(image.Target()) << ")\n";
    out << "Platform ID:  " << (image.platformId ? Printable(*image.platformId) : "none") << '\n';
    out << "PIA type:     " << (image.piaVersion ? std::to_string(*image.piaVersion) : "none")
        << '\n';
    out << "Areas:" << (image.areas.empty() ? " none with an information block" : "") << '\n';
    for (const FwImageArea& area : image.areas) {
        out << "  " << Padded(area.area->name, 8) << Padded(Printable(area.version), 8)
            << (area.range ? Address(area.range->start) + "-" + Address(area.range->end)
                           : "(range not given by the library)")
            << '\n';
    }
}

void PrintVersions(std::ostream& out, bool json, const std::vector<RunningVersions>& controllers) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject().Key("controllers").BeginArray();
        for (const RunningVersions& controller : controllers) {
            writer.BeginObject();
            writer.Key("address").Number(controller.device);
            writer.Key("name").String(FwDeviceName(controller.device));
            writer.Key("answers").Bool(!controller.failure);
            if (controller.failure) {
                writer.Key("error").String(ValidUtf8(*controller.failure));
                writer.Key("status").String(HexWord(controller.status));
            }
            writer.Key("versions").BeginObject();
            for (const RunningArea& area : controller.areas) {
                writer.Key(area.area->name).String(ValidUtf8(area.version));
            }
            writer.EndObject().EndObject();
        }
        writer.EndArray().EndObject().Finish();
        return;
    }
    for (const RunningVersions& controller : controllers) {
        out << Padded(Controller(controller.device), 28);
        if (controller.failure) {
            out << "does not answer: " << Printable(*controller.failure) << " (status "
                << HexWord(controller.status) << ")\n";
            continue;
        }
        std::string versions;
        for (const RunningArea& area : controller.areas) {
            versions += (versions.empty() ? "" : "  ") + std::string(area.area->name) + " " +
                        Printable(area.version);
        }
        out << (versions.empty() ? "reports no versions" : versions) << '\n';
    }
}

void PrintCheck(std::ostream& out, bool json, const FwCheckResult& check) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        writer.Key("file").String(ValidUtf8(check.image.file.string()));
        JsonDevice(writer, check.running.device);
        JsonForSystem(writer, check.forSystem);
        writer.Key("areas").BeginArray();
        for (const AreaChange& change : check.changes) {
            writer.BeginObject().Key("name").String(change.area->name);
            writer.Key("image_version").String(ValidUtf8(change.imageVersion));
            writer.Key("running_version").StringOrNull(change.running);
            writer.Key("changes").Bool(change.Changes()).EndObject();
        }
        writer.EndArray();
        writer.Key("supported_list").BeginArray();
        for (const std::string& entry : check.supportedList) writer.String(ValidUtf8(entry));
        writer.EndArray();
        writer.Key("supported").BeginArray();
        for (const VersionSupport& answer : check.supported) {
            writer.BeginObject().Key("name").String(answer.area->name);
            writer.Key("version").String(ValidUtf8(answer.version));
            writer.Key("supported").Bool(answer.supported).EndObject();
        }
        writer.EndArray().EndObject().Finish();
        return;
    }
    out << "Image:            " << Printable(check.image.file.string()) << '\n';
    out << "Controller:       " << Controller(check.running.device) << '\n';
    out << "For this system:  " << ForSystemText(check.forSystem) << '\n';
    out << "Areas (image / running):\n";
    for (const AreaChange& change : check.changes) {
        out << "  " << Padded(change.area->name, 8) << Padded(Printable(change.imageVersion), 8)
            << Padded(Printable(Running(change.running)), 8)
            << (change.Changes() ? "would change" : "unchanged") << '\n';
    }
    if (check.supportedList.empty()) return;
    std::string list;
    for (const std::string& entry : check.supportedList) list += (list.empty() ? "" : ",") + entry;
    out << "Running versions against " << Printable(list) << ":\n";
    for (const VersionSupport& answer : check.supported) {
        out << "  " << Padded(answer.area->name, 8) << Padded(Printable(answer.version), 8)
            << (answer.supported ? "supported" : "NOT supported") << '\n';
    }
}

void PrintUpdate(std::ostream& out, bool json, const FwUpdateOutcome& outcome) {
    const FwUpdatePlan& plan = outcome.plan;
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        writer.Key("file").String(ValidUtf8(plan.image.file.string()));
        JsonDevice(writer, plan.device);
        JsonForSystem(writer, plan.forSystem);
        writer.Key("dry_run").Bool(outcome.dryRun);
        writer.Key("written").Bool(outcome.written);
        writer.Key("areas").BeginArray();
        for (const AreaChange& change : plan.areas) {
            writer.BeginObject().Key("name").String(change.area->name);
            writer.Key("image_version").String(ValidUtf8(change.imageVersion));
            writer.Key("running_before").StringOrNull(change.running);
            if (outcome.written) {
                const RunningArea* now = outcome.after.Area(*change.area);
                writer.Key("running_after")
                    .StringOrNull(now ? std::optional(now->version) : std::nullopt);
            }
            writer.EndObject();
        }
        writer.EndArray();
        writer.Key("areas_note").StringOrNull(plan.areasNote);
        writer.Key("completed").BeginArray();
        for (const std::string& phase : outcome.completed) writer.String(ValidUtf8(phase));
        writer.EndArray().EndObject().Finish();
        return;
    }
    out << (outcome.written ? "Updated " : "Dry run: would update ") << Controller(plan.device)
        << " from " << Printable(plan.image.file.string()) << '\n';
    out << "For this system: " << ForSystemText(plan.forSystem) << '\n';
    if (plan.areasNote) out << "Areas: " << *plan.areasNote << '\n';
    for (const AreaChange& change : plan.areas) {
        out << "  " << Padded(change.area->name, 8) << Printable(Running(change.running)) << " -> "
            << Printable(change.imageVersion.empty() ? "(image)" : change.imageVersion);
        if (outcome.written) {
            const RunningArea* now = outcome.after.Area(*change.area);
            out << "  written and verified; runs "
                << (now ? Printable(now->version) : std::string("no version it reports")) << " now";
        }
        out << '\n';
    }
    if (!outcome.written) {
        out << "Nothing was written.\n";
        return;
    }
    std::string phases;
    for (const std::string& phase : outcome.completed) {
        phases += (phases.empty() ? "" : ", ") + Printable(phase);
    }
    out << "Finished: " << (phases.empty() ? "the library reported no phases" : phases) << '\n';
    if (outcome.after.failure) {
        out << "The controller does not answer after the update: "
            << Printable(*outcome.after.failure) << '\n';
    }
}

}  // namespace srvfw

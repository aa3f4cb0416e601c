#include "sim/bmc/fw/fw_controller.h"

#include <cstdio>

#include "sim/bmc/fw/fw_buffer_size.h"
#include "sim/bmc/fw/fw_image_builder.h"
#include "sim/bmc/fw/fw_log.h"

namespace sim::fw {

namespace {

constexpr std::uint8_t kProtectedCode = 0x80;
constexpr std::uint64_t kNsPerMs = 1'000'000;
constexpr std::string_view kVarno = "VARNO";
constexpr std::string_view kBoot = "BOOT";

std::size_t Slot(BlockKind kind) {
    return static_cast<std::size_t>(kind);
}

std::uint16_t Offset(const ipmi::Request& request) {
    return static_cast<std::uint16_t>(request.data[0] | request.data[1] << 8);
}

std::string Note(const char* why) {
    return std::string(" note=") + why;
}

std::string CommandName(std::uint8_t cmd) {
    switch (cmd) {
        case kEnterTransferMode:
            return "enter";
        case kExitTransferMode:
            return "exit";
        case kSetSegment:
            return "segment";
        case kWriteLowlvl:
            return "write";
        case kRead:
            return "read";
        case kRangeCheckSum:
            return "checksum";
        default:
            return "command";
    }
}

}  // namespace

FirmwareController::FirmwareController(ipmi::Controller& controller, FirmwareConfig config,
                                       VirtualClock& clock, RequestLog& log)
    : mController(controller),
      mConfig(std::move(config)),
      mClock(clock),
      mLog(log),
      mMemory(BuildBinary(mConfig.image), ImageAreas(mConfig.image)) {
    Register();
    mController.SetSilence([this] {
        if (!Restarting()) return false;
        mLog.Add({kLogComponent, "unanswered", Address(), kNoAnswer, 0,
                  "cc=-- at=" + std::to_string(mClock.NowNs()) + " note=restarting"});
        return true;
    });
    Start();
}

std::optional<BlockVersion> FirmwareController::RunningVersion(BlockKind kind) const {
    return mRunning[Slot(kind)];
}

void FirmwareController::Start() {
    for (const BlockKind kind :
         {BlockKind::kBoot, BlockKind::kOpCode, BlockKind::kPia, BlockKind::kEfs}) {
        mRunning[Slot(kind)] = mMemory.Version(kind);
    }
    ipmi::DeviceIdentity& identity = mController.Identity();
    identity.transferMode = InTransferMode();
    const bool hotSwap = mConfig.image.kind == ControllerKind::kHotSwap;
    // A hot-swap controller's firmware reports its boot loader's version
    // where the others report their operational code's.
    if (const auto& main = mRunning[Slot(hotSwap ? BlockKind::kBoot : BlockKind::kOpCode)]) {
        identity.firmwareMajor = static_cast<std::uint8_t>(main->major & 0x7F);
        identity.firmwareMinor = static_cast<std::uint8_t>(main->minor);
    }
    if (hotSwap) return;
    if (const auto& boot = mRunning[Slot(BlockKind::kBoot)]) {
        identity.auxFirmware[0] = static_cast<std::uint8_t>(boot->major);
        identity.auxFirmware[1] = static_cast<std::uint8_t>(boot->minor);
    }
    if (const auto& pia = mRunning[Slot(BlockKind::kPia)]) {
        identity.auxFirmware[2] = static_cast<std::uint8_t>(pia->major);
        identity.auxFirmware[3] = static_cast<std::uint8_t>(pia->minor);
    }
}

void FirmwareController::Register() {
    using ipmi::RequestLength;
    ipmi::CommandTable& commands = mController.Commands();
    auto add = [&](std::uint8_t cmd, RequestLength length,
                   ipmi::Response (FirmwareController::*handler)(const ipmi::Request&)) {
        commands.Register(
            ipmi::kNetFnFirmware, cmd, {length, ipmi::kLunZero},
            [this, handler](const ipmi::Request& request) { return (this->*handler)(request); },
            [this](const ipmi::Request& request, std::uint8_t code) {
                Logged(request, ipmi::Response::Code(code), Note("request-form"));
            });
    };
    add(kEnterTransferMode, RequestLength::AtLeast(1), &FirmwareController::Enter);
    add(kExitTransferMode, RequestLength::Exactly(Vitesse() ? 1 : 0), &FirmwareController::Exit);
    if (mConfig.image.kind != ControllerKind::kFrontPanel) {
        add(kSetSegment, RequestLength::Exactly(2), &FirmwareController::SetSegment);
    }
    add(kWriteLowlvl, RequestLength::AtLeast(3), &FirmwareController::Write);
    add(kRead, RequestLength::Exactly(3), &FirmwareController::Read);
    add(kRangeCheckSum, RequestLength::Exactly(4), &FirmwareController::RangeCheckSum);
    RegisterBufferSize(mController, mConfig.bufferUnits, mClock, mLog);
}

ipmi::Response FirmwareController::Logged(const ipmi::Request& request, ipmi::Response response,
                                          const std::string& detail) {
    char head[32];
    if (response.silent) {
        std::snprintf(head, sizeof head, "cc=--");
    } else {
        std::snprintf(head, sizeof head, "cc=%02X", response.completionCode);
    }
    mLog.Add({kLogComponent, CommandName(request.cmd), Address(),
              response.silent ? kNoAnswer : response.completionCode, 0,
              std::string(head) + " at=" + std::to_string(mClock.NowNs()) + detail});
    return response;
}

std::optional<ipmi::Response> FirmwareController::Unready(const ipmi::Request& request,
                                                          bool needsMode) {
    ++mFirmwareCommands;
    if (mConfig.stopAfter && mFirmwareCommands > *mConfig.stopAfter) {
        mController.Stop();
        return Logged(request, ipmi::Response::NoAnswer(), Note("stopped"));
    }
    if (needsMode && !InTransferMode()) {
        return Logged(request, ipmi::Response::Code(mConfig.notInModeCode),
                      Note("not-in-transfer-mode"));
    }
    return std::nullopt;
}

ipmi::Response FirmwareController::Enter(const ipmi::Request& request) {
    if (auto refused = Unready(request, false)) return *refused;
    const std::string signature(request.data.begin(), request.data.end());
    std::string detail = " signature=";
    for (const char c : signature) detail += c > ' ' && c < 0x7F ? c : '.';
    if (mConfig.enterRefused.times.Strike()) {
        return Logged(request,
                      ipmi::Response::Code(static_cast<std::uint8_t>(mConfig.enterRefused.code)),
                      detail + Note("injected"));
    }
    const bool boot = signature == kBoot && mConfig.image.kind == ControllerKind::kFrontPanel;
    if (signature != kVarno && !boot) {
        return Logged(request, ipmi::Response::Code(ipmi::kInvalidDataField),
                      detail + Note("bad-signature"));
    }
    mMode = boot ? TransferMode::kBoot : TransferMode::kVarno;
    mSegment = 0;
    mController.Identity().transferMode = true;
    return Logged(request, ipmi::Response::Code(ipmi::kOk), detail);
}

ipmi::Response FirmwareController::Exit(const ipmi::Request& request) {
    if (auto refused = Unready(request, true)) return *refused;
    const std::uint64_t waitSeconds = (mConfig.restartMs + 999) / 1000;
    const bool restart = !Vitesse() || request.data[0] != 0;
    ipmi::Response answer = ipmi::Response::Code(ipmi::kOk);
    if (Vitesse()) answer.data.push_back(restart ? static_cast<std::uint8_t>(waitSeconds) : 0);
    std::string detail = Vitesse() ? " wait=" + std::to_string(answer.data[0]) : "";
    if (mConfig.stuckInMode)
        return Logged(request, answer, detail + " restart_ms=0" + Note("injected"));
    mMode = TransferMode::kNone;
    if (restart) mRestartUntilNs = mClock.NowNs() + mConfig.restartMs * kNsPerMs;
    Start();
    return Logged(request, answer,
                  detail + " restart_ms=" + std::to_string(restart ? mConfig.restartMs : 0));
}

ipmi::Response FirmwareController::SetSegment(const ipmi::Request& request) {
    if (auto refused = Unready(request, true)) return *refused;
    const std::uint16_t segment = Offset(request);
    const std::string detail = " segment=" + Hex16(segment);
    if ((static_cast<std::uint64_t>(segment) << 16) >= mMemory.Size()) {
        return Logged(request, ipmi::Response::Code(ipmi::kInvalidDataField),
                      detail + Note("beyond-memory"));
    }
    mSegment = segment;
    return Logged(request, ipmi::Response::Code(ipmi::kOk), detail);
}

bool FirmwareController::Protected(std::uint32_t first, std::uint32_t last) const {
    if (mConfig.image.kind == ControllerKind::kFrontPanel && mMode != TransferMode::kBoot) {
        const MemoryArea* boot = mMemory.Area(BlockKind::kBoot);
        if (boot != nullptr && boot->Overlaps(first, last)) return true;
    }
    for (const ProtectedRange& range : mConfig.protectedRanges) {
        if (first <= range.last && last >= range.first) return true;
    }
    return false;
}

ipmi::Response FirmwareController::Write(const ipmi::Request& request) {
    if (auto refused = Unready(request, true)) return *refused;
    const std::uint16_t offset = Offset(request);
    const std::uint32_t address = Address(offset);
    const auto bytes = request.data.subspan(2);
    const std::string detail = " segment=" + Hex16(mSegment) + " offset=" + Hex16(offset) +
                               " address=" + Hex16(address) +
                               " length=" + std::to_string(bytes.size());
    auto refuse = [&](std::uint8_t code, const char* why) {
        return Logged(request, ipmi::Response::Code(code), detail + Note(why));
    };
    if (bytes.size() > mConfig.writeBuffer)
        return refuse(ipmi::kLengthExceeded, "longer-than-buffer");
    if (!mMemory.Holds(address, bytes.size())) return refuse(ipmi::kOutOfRange, "beyond-memory");
    if (Protected(address, address + static_cast<std::uint32_t>(bytes.size()) - 1)) {
        return refuse(kProtectedCode, "protected");
    }
    if (mConfig.refuseWrite.times.Strike()) {
        return refuse(static_cast<std::uint8_t>(mConfig.refuseWrite.code), "injected");
    }
    mMemory.Write(address, bytes);
    return Logged(request, ipmi::Response::Code(ipmi::kOk), detail);
}

ipmi::Response FirmwareController::Read(const ipmi::Request& request) {
    if (auto refused = Unready(request, true)) return *refused;
    const std::uint16_t offset = Offset(request);
    const std::uint32_t address = Address(offset);
    const std::size_t count = request.data[2];
    const std::string detail = " segment=" + Hex16(mSegment) + " offset=" + Hex16(offset) +
                               " address=" + Hex16(address) + " length=" + std::to_string(count);
    if (count == 0) {
        return Logged(request, ipmi::Response::Code(ipmi::kInvalidDataField),
                      detail + Note("empty"));
    }
    if (!mMemory.Holds(address, count)) {
        return Logged(request, ipmi::Response::Code(ipmi::kOutOfRange),
                      detail + Note("beyond-memory"));
    }
    ipmi::Response answer{ipmi::kOk, {request.data[0], request.data[1]}};
    const auto bytes = mMemory.Read(address, count);
    answer.data.insert(answer.data.end(), bytes.begin(), bytes.end());
    return Logged(request, answer, detail);
}

ipmi::Response FirmwareController::RangeCheckSum(const ipmi::Request& request) {
    if (auto refused = Unready(request, true)) return *refused;
    const std::uint16_t first = Offset(request);
    const auto last = static_cast<std::uint16_t>(request.data[2] | request.data[3] << 8);
    std::string detail =
        " segment=" + Hex16(mSegment) + " first=" + Hex16(first) + " last=" + Hex16(last);
    if (last < first) {
        return Logged(request, ipmi::Response::Code(ipmi::kInvalidDataField),
                      detail + Note("last-below-first"));
    }
    const std::uint32_t start = Address(first);
    const std::size_t length = static_cast<std::size_t>(last - first) + 1;
    if (!mMemory.Holds(start, length)) {
        return Logged(request, ipmi::Response::Code(ipmi::kOutOfRange),
                      detail + Note("beyond-memory"));
    }
    const auto bytes = mMemory.Read(start, length);
    std::uint16_t sum = 0;
    const bool words = mConfig.image.kind == ControllerKind::kBmc;
    for (std::size_t at = 0; at < bytes.size(); at += words ? 2 : 1) {
        const unsigned high = words && at + 1 < bytes.size() ? bytes[at + 1] << 8 : 0;
        sum = static_cast<std::uint16_t>(sum + bytes[at] + high);
    }
    auto answer = static_cast<std::uint16_t>(-sum);
    const bool injected = mConfig.badChecksum.Strike();
    if (injected) ++answer;
    detail += " sum=" + Hex16(answer) + (injected ? Note("injected") : "");
    return Logged(request,
                  {ipmi::kOk,
                   {request.data[0], request.data[1], static_cast<std::uint8_t>(answer),
                    static_cast<std::uint8_t>(answer >> 8)}},
                  detail);
}

void FirmwareController::LoadState(const std::filesystem::path& dir) {
    if (mMemory.Load(dir / mConfig.file)) Start();
}

void FirmwareController::SaveState(const std::filesystem::path& dir) const {
    mMemory.Save(dir / mConfig.file);
}

void FirmwareController::Describe(std::ostream& out) const {
    char line[128];
    std::snprintf(line, sizeof line, "    %s at %02Xh: %zu bytes of firmware memory%s, %s\n",
                  mConfig.name.c_str(), Address(), mMemory.Size(),
                  Vitesse() ? " (Vitesse part)" : "",
                  mMode == TransferMode::kVarno  ? "in transfer mode (VARNO)"
                  : mMode == TransferMode::kBoot ? "in transfer mode (BOOT)"
                  : Restarting()                 ? "restarting"
                                                 : "running");
    out << line;
    for (const MemoryArea& area : mMemory.Areas()) {
        const auto& version = mRunning[Slot(area.kind)];
        char text[32] = "no information block";
        if (version)
            std::snprintf(text, sizeof text, "version %X.%02X", version->major, version->minor);
        std::snprintf(line, sizeof line, "      %-7s %06X-%06X  %s\n", AreaName(area.kind).c_str(),
                      area.start, area.end, text);
        out << line;
    }
}

}  // namespace sim::fw

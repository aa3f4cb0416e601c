#include "host/bios/write.h"

#include <algorithm>
#include <cctype>

#include "host/bios/area_file.h"
#include "host/bios/area_io.h"
#include "host/bios/library_reads.h"
#include "host/bios/notify.h"
#include "host/frame/stop_signals_while_writing.h"

namespace srvfw {

namespace {

std::span<const std::uint8_t> BlockOf(std::span<const std::uint8_t> image, const BiosRange& range) {
    return image.subspan(range.areaStart, range.Bytes());
}

std::string RestoreHint(const BiosWriteRequest& request, const BiosArea& area,
                        const std::filesystem::path& backup) {
    return "The area as it was is saved in " + backup.string() + "; \"srvfw" +
           request.frameOptions + " bios write " + std::to_string(area.number) + " " +
           backup.string() + "\" writes it back.";
}

// The name beside the image, or with "-2", "-3"... after it when taken (by
// anything, a dangling link too): the number goes at the end, where the
// area's name is not.
std::filesystem::path FreeName(const std::filesystem::path& dir, const std::string& name) {
    // How many taken names the default backup passes before it gives up.
    constexpr unsigned kMaxNumberedNames = 1000;
    std::filesystem::path candidate = dir / name;
    for (unsigned n = 2; n <= kMaxNumberedNames; ++n) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, error))) {
            return candidate;
        }
        candidate = dir / (name + "-" + std::to_string(n));
    }
    throw Failure(ExitCode::kFile, "no free name for the backup " + name + " in " + dir.string() +
                                       " (name one with --backup); nothing was written");
}

class AreaWrite {
  public:
    AreaWrite(BiosLibrary& library, const BiosWriteRequest& request, ProgressDisplay& progress,
              const BiosAreaTable& fat, const BiosArea& area)
        : mRequest(request), mProgress(progress), mAccess(library, fat, area) {}

    BiosWriteOutcome Run() {
        const BiosArea& area = mAccess.Area();
        BiosWriteOutcome outcome;
        outcome.area = area;
        outcome.dryRun = mRequest.options.dryRun;
        mWanted = ReadAreaImage(mRequest.file, mAccess.Bytes(), mAccess.Named());
        mAccess.CheckWrite(mWanted);
        try {
            mBefore = mAccess.ReadAll(mProgress, Label(L"Reading"));
        } catch (const Failure& failure) {
            throw failure.With("Nothing was written.");
        }
        if (outcome.dryRun) {
            for (const BiosRange& range : area.ranges) {
                const bool same =
                    std::ranges::equal(BlockOf(mBefore, range), BlockOf(mWanted, range));
                outcome.blocks.push_back(
                    {range.flashStart, range.Bytes(), same ? "same" : "changes"});
            }
            return outcome;
        }
        const std::string name = DefaultBackupName(mRequest.file, area);
        outcome.backup = SaveBackupFile(
            mRequest.options.backup ? *mRequest.options.backup
                                    : FreeName(mRequest.file.parent_path(), name),
            name, {mAccess.Named(), "BIOS area image"},
            [this](const std::filesystem::path& staged) { WriteNewFile(staged, mBefore); });
        mBackup = *outcome.backup;

        StopSignalsHeldWhileWriting held("the BIOS's " + mAccess.Named());
        EachBlock(L"Erasing", "erasing", [this](std::size_t i) { return mAccess.TryErase(i); });
        EachBlock(L"Writing", "writing",
                  [this](std::size_t i) { return mAccess.TryWrite(i, mWanted); });
        Verify();
        outcome.written = true;
        for (const BiosRange& range : area.ranges) {
            outcome.blocks.push_back({range.flashStart, range.Bytes(), "written"});
        }
        if (mRequest.notify) {
            Notify();
            outcome.notified = true;
        }
        held.Finished();
        return outcome;
    }

  private:
    std::wstring Label(const wchar_t* phase) const {
        return std::wstring(phase) + L" area " + std::to_wstring(mAccess.Area().number);
    }

    template <class Step>
    void EachBlock(const wchar_t* phase, const std::string& doing, Step step) {
        const std::wstring label = Label(phase);
        const std::size_t blocks = mAccess.Area().ranges.size();
        for (std::size_t i = 0; i < blocks; ++i) {
            const std::uint32_t status = step(i);
            if (status != 0) throw AfterFailure(mAccess.Fail(doing, i, status));
            mProgress.Report(PROGRESS_COUNT, label.c_str(), static_cast<unsigned>(i + 1),
                             static_cast<unsigned>(blocks));
        }
    }

    // The library verifies what it programs; reading the area back through
    // the same path as "bios read" shows that a reader finds it too.
    void Verify() {
        std::vector<std::uint8_t> now(mAccess.Bytes(), 0xFF);
        EachBlock(L"Verifying", "reading back",
                  [&](std::size_t i) { return mAccess.TryRead(i, now); });
        const auto& ranges = mAccess.Area().ranges;
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            if (!std::ranges::equal(BlockOf(now, ranges[i]), BlockOf(mWanted, ranges[i]))) {
                throw AfterFailure(Failure(ExitCode::kLibraryCall,
                                           mAccess.Block(i) + " of " + mAccess.Named() +
                                               " read back after writing differs from the image"));
            }
        }
    }

    void Notify() {
        try {
            SetUpdateNotify(mAccess.Library(), true, mRequest.platform,
                            mAccess.Named() +
                                " is written and verified, but telling the BIOS of the update "
                                "failed");
        } catch (const Failure& failure) {
            throw failure.With("\"srvfw" + mRequest.frameOptions +
                               " bios notify set\" tries again.");
        }
    }

    // What each block holds now, and the way back.
    Failure AfterFailure(const Failure& failure) {
        const auto& ranges = mAccess.Area().ranges;
        std::vector<std::uint8_t> now(mAccess.Bytes(), 0xFF);
        std::string states;
        bool allUnchanged = true;
        for (std::size_t i = 0; i < ranges.size(); ++i) {
            std::string state = "unreadable";
            if (mAccess.TryRead(i, now) == 0) {
                state = BlockState(BlockOf(now, ranges[i]), BlockOf(mBefore, ranges[i]),
                                   BlockOf(mWanted, ranges[i]));
            } else {
                mAccess.Library().TakeLastError();
            }
            allUnchanged = allUnchanged && state == "unchanged";
            states += (states.empty() ? "" : ", ") + mAccess.Block(i) + " " + state;
        }
        const std::string hint = RestoreHint(mRequest, mAccess.Area(), mBackup);
        if (allUnchanged) {
            return Failure(ExitCode::kFailedRestored, failure.what(), failure.Status())
                .With("Every block of " + mAccess.Named() + " still holds what it held before (" +
                      states + "). " + hint);
        }
        return failure.With("The blocks of " + mAccess.Named() + " now: " + states + ". " + hint);
    }

    const BiosWriteRequest& mRequest;
    ProgressDisplay& mProgress;
    AreaAccess mAccess;
    std::vector<std::uint8_t> mWanted;
    std::vector<std::uint8_t> mBefore;
    std::filesystem::path mBackup;
};

}  // namespace

std::string DefaultBackupName(const std::filesystem::path& image, const BiosArea& area) {
    std::string name;
    for (const char c : area.name) {
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
        name += plain ? c : '_';
    }
    if (name.empty()) name = std::to_string(area.number);
    return image.filename().string() + ".backup-" + name;
}

std::string BlockState(std::span<const std::uint8_t> now, std::span<const std::uint8_t> before,
                       std::span<const std::uint8_t> wanted) {
    if (std::ranges::equal(now, before)) return "unchanged";
    if (std::ranges::equal(now, wanted)) return "written";
    if (std::ranges::all_of(now, [](std::uint8_t byte) { return byte == 0xFF; })) return "erased";
    return "mixed";
}

BiosWriteOutcome WriteBiosArea(BiosLibrary& library, const BiosWriteRequest& request,
                               ProgressDisplay& progress) {
    const BiosAreaTable fat = RequireAreaTable(library);
    const BiosArea& area = RequireArea(fat, request.area);
    return AreaWrite(library, request, progress, fat, area).Run();
}

}  // namespace srvfw

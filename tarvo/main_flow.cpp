// The main sequence and the one clean-up routine every exit goes through.
#include <cstdio>
#include <memory>

#include "hw/hw.h"
#include "tarvo/bios_flash.h"
#include "tarvo/console.h"
#include "tarvo/flash_passes.h"
#include "tarvo/options.h"
#include "tarvo/recovery_advice.h"
#include "tarvo/rom_image.h"
#include "tarvo/tarvo.h"

namespace tarvo {

namespace {

constexpr int kExitInvalidCommandLine = 1;
// An interrupt, terminate or hang-up arrived while the flash was being
// written: the passes were finished first, the rest of the run was not done.
constexpr int kExitStoppedBySignal = 70;

class Session {
  public:
    int Run(int argc, const char* const* argv);

  private:
    int Flash();
    int Finish(int code);
    int ProgramHoldingSignals();
    // Whether "/u" is the only thing the command line asks for.
    bool OnlyShowFile() const;
    void Release(int& code, int result, const char* message);

    Options mOptions;
    BiosFlash mBios;
    std::unique_ptr<RomImage> mImage;
    bool mIoplRaised = false;
    int mArgc = 0;
    const char* const* mArgv = nullptr;
};

int Session::Run(int argc, const char* const* argv) {
    // A closed output (tarvo ... | head -1) must only lose messages, never
    // kill the program between two flash blocks.
    hw::IgnoreBrokenPipe();
    mArgc = argc;
    mArgv = argv;
    if (!ParseCommandLine(argc, argv, mOptions)) {
        PrintUsage();
        return Finish(kExitInvalidCommandLine);
    }
    if (!mOptions.quiet) PrintBanner();
    if (mOptions.blockNumbers.size() > kMaxBlockNumbers) {
        ReportError("Maximum of only 8 '/c or /k' options are allowed\n");
        return Finish(kExitInvalidCommandLine);
    }
    if (mOptions.help) {
        PrintUsage();
        return Finish(kExitOk);
    }

    // Every BIOS call must come from the same processor. The mask is one
    // machine word, whatever the build.
    unsigned long processorZero = 1;
    hw::SetAffinity(0, sizeof processorZero, &processorZero);
    hw::Iopl(3);
    mIoplRaised = true;

    if (mOptions.compareOnly && !mOptions.inputGiven) {
        ReportError("Input file required");
        return Finish(kExitInputFile);
    }
    if (mOptions.showFileGiven) {
        const int code = ShowFileRomId(mOptions);
        // With nothing else asked for, the result of "/u" is the result of
        // the run; otherwise the sequence goes on.
        if (code != kExitOk && OnlyShowFile()) return Finish(code);
    }
    if (!mBios.LoadDriver()) {
        ReportError("Unable to load driver\n");
        return Finish(kExitDriverLoad);
    }
    if (!mBios.OpenMemory()) {
        ReportError("Unable to initialize memory manager\n");
        return Finish(kExitMemoryOpen);
    }
    if (const int code = mBios.FindInterface(); code != kExitOk) {
        ReportError("BIOS has no flash information available");
        return Finish(code);
    }
    return Finish(Flash());
}

// Steps from saving the flash to showing the ROM ID; returns the exit code.
int Session::Flash() {
    if (mOptions.outputGiven && !mOptions.compareOnly) {
        if (const int code = SaveFlash(mOptions, mBios); code != kExitOk) return code;
    }
    int result = kExitOk;
    if (mOptions.inputGiven || mOptions.compareOnly) {
        mImage = std::make_unique<RomImage>(mOptions, mBios.Layout(), mBios.RomId());
        if (const int code = mImage->Check(); code != kExitOk) return code;
        if (const int code = mImage->Read(); code != kExitOk) return code;
        if (!mOptions.compareOnly) result = ProgramHoldingSignals();
        if (result != kExitOk) return result;
    }
    if (mOptions.compareOnly) {
        if (const int code = mImage->CompareReport(); code != kExitOk) return code;
        mOptions.destroyCmos = false;
    }
    if (mOptions.inputGiven && mOptions.destroyCmos) DestroyCmosChecksum();
    if (mOptions.showRomId) std::printf("\n ROM ID = %s\n", mBios.RomId());
    return result;
}

// The flash passes with the stop signals held, so that none of them leaves
// the flash half written. A failed pass is followed by the advice on how to
// restore the flash; a signal that arrived meanwhile stops the run after
// the passes.
int Session::ProgramHoldingSignals() {
    std::vector<std::uint32_t> touched;
    hw::StopSignalHold hold;
    int result = ProgramFlash(mOptions, mBios, *mImage, &touched);
    const int signal = hold.Release();
    const bool passFailed =
        result == kExitFlashErase || result == kExitFlashWrite || result == kExitFlashVerify;
    if (passFailed) PrintRecoveryAdvice(mArgc, mArgv, mOptions, mBios.Layout(), touched);
    if (signal != 0) {
        if (result == kExitOk) {
            ReportError("Stopped by %s after the flash was written and verified in full",
                        hw::SignalName(signal));
            result = kExitStoppedBySignal;
        } else {
            ReportError("Stopped by %s", hw::SignalName(signal));
        }
    }
    return result;
}

bool Session::OnlyShowFile() const {
    return !mOptions.inputGiven && !mOptions.outputGiven && !mOptions.compareOnly &&
           !mOptions.showRomId;
}

// A release step that fails is reported; its code becomes the exit code
// only when nothing failed before.
void Session::Release(int& code, int result, const char* message) {
    if (result == kExitOk) return;
    ReportError("%s", message);
    if (code == kExitOk) code = result;
}

int Session::Finish(int code) {
    mImage.reset();
    Release(code, mBios.CloseInterface(), "Unable to close BIOS flash interface\n");
    Release(code, mBios.UnmapBios(), "Unable to close BIOS mapping\n");
    Release(code, mBios.CloseMemory(), "Unable to close memory manager\n");
    Release(code, mBios.UnloadDriver(), "Unable to unload driver\n");
    if (mIoplRaised) hw::Iopl(0);
    std::fflush(stdout);
    return code;
}

}  // namespace

int Run(int argc, const char* const* argv) {
    Session session;
    return session.Run(argc, argv);
}

}  // namespace tarvo

#include "sim/flash/flash_part.h"

namespace sim {

std::filesystem::path FlashPart::StateFile(const std::filesystem::path& dir) const {
    return dir / (mStateName + ".bin");
}

void FlashPart::LoadState(const std::filesystem::path& dir) {
    mCells.Load(StateFile(dir));
}

bool FlashPart::SaveState(const std::filesystem::path& dir) const {
    return mCells.Save(StateFile(dir));
}

}  // namespace sim

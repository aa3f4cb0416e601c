#include "host/frame/imb_driver_library.h"

#include <array>

#include "host/frame/failure.h"
#include "host/imb/imb_driver.h"

namespace srvfw {

namespace {

int ChoiceCode(BmcInterface choice) {
    switch (choice) {
        case BmcInterface::kDriver:
            return SRVFW_IMB_DRIVER;
        case BmcInterface::kPorts:
            return SRVFW_IMB_PORTS;
        case BmcInterface::kAuto:
            break;
    }
    return SRVFW_IMB_AUTO;
}

}  // namespace

ImbDriverLibrary::ImbDriverLibrary(const std::filesystem::path& folder, BmcInterface choice)
    : mLibrary(folder / kImbDriverLibraryFile, SharedLibrary::Scope::kEveryone) {
    const auto choose =
        reinterpret_cast<decltype(&srvfw_imb_choose)>(mLibrary.Symbol("srvfw_imb_choose"));
    std::array<char, 512> why{};
    const int chosen = choose(ChoiceCode(choice), why.data(), why.size());
    if (chosen < 0) throw Failure(ExitCode::kNotLoadable, why.data());
    mUsesDriver = chosen == 1;
}

std::string ImbDriverLibrary::LastFailure() const {
    const auto lastFailure = reinterpret_cast<decltype(&srvfw_imb_last_failure)>(
        mLibrary.Symbol("srvfw_imb_last_failure"));
    return lastFailure();
}

}  // namespace srvfw

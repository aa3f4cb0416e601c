#include "sim/core/mappings.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

namespace sim {

namespace {

std::size_t WholePages(std::size_t length) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (length + page - 1) / page * page;
}

}  // namespace

Mappings::~Mappings() {
    for (const auto& [start, view] : mViews) {
        ::munmap(reinterpret_cast<void*>(start), view.length);
    }
}

void* Mappings::Map(std::uint64_t physical, std::size_t length) {
    const std::size_t reserved = WholePages(length);
    void* view =
        ::mmap(nullptr, reserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (view == MAP_FAILED) return nullptr;
    mViews[reinterpret_cast<std::uintptr_t>(view)] = View{reserved, physical};
    return view;
}

int Mappings::Unmap(void* view, std::size_t length) {
    const auto found = mViews.find(reinterpret_cast<std::uintptr_t>(view));
    if (found == mViews.end() || WholePages(length) != found->second.length) {
        errno = EINVAL;
        return -1;
    }
    ::munmap(view, found->second.length);
    mViews.erase(found);
    return 0;
}

std::optional<std::uint64_t> Mappings::Translate(const volatile void* address) const {
    const auto host = reinterpret_cast<std::uintptr_t>(address);
    auto it = mViews.upper_bound(host);
    if (it == mViews.begin()) return std::nullopt;
    --it;
    if (host - it->first >= it->second.length) return std::nullopt;
    return it->second.physical + (host - it->first);
}

}  // namespace sim

// Host-side views of simulated physical memory. A mapping is a range of the
// process's address space reserved without any access rights: every read and
// write must go through the platform layer's accessors, which translate the
// address back to a physical one and let the machine answer (RAM, ROM or a
// device's registers). Code that dereferences a mapping directly faults at
// once in the simulated build instead of silently missing the device.
#ifndef SRVFW_SIM_CORE_MAPPINGS_H
#define SRVFW_SIM_CORE_MAPPINGS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

namespace sim {

class Mappings {
  public:
    Mappings() = default;
    Mappings(const Mappings&) = delete;
    Mappings& operator=(const Mappings&) = delete;
    ~Mappings();

    // Reserves a view of [physical, physical + length); null with errno set
    // when the process has no address space left.
    void* Map(std::uint64_t physical, std::size_t length);
    // 0, or -1 with errno EINVAL when the address is not the start of a view.
    int Unmap(void* view, std::size_t length);

    // The physical address behind a host address inside a view.
    std::optional<std::uint64_t> Translate(const volatile void* address) const;
    std::size_t Count() const { return mViews.size(); }

  private:
    struct View {
        std::size_t length;  // as reserved (whole pages)
        std::uint64_t physical;
    };
    std::map<std::uintptr_t, View> mViews;  // by host start address
};

}  // namespace sim

#endif

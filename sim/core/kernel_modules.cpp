#include "sim/core/kernel_modules.h"

#include <algorithm>
#include <stdexcept>

#include "sim/core/setting_lists.h"

namespace sim {

namespace {

constexpr const char* kModulesKey = "kernel.modules";

bool IsModuleName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
}

}  // namespace

std::vector<std::string> BootModules(const Settings& settings) {
    std::vector<std::string> modules;
    auto add = [&modules](const std::string& name) {
        if (std::find(modules.begin(), modules.end(), name) == modules.end()) {
            modules.push_back(name);
        }
    };
    for (const SettingItem& item : SettingItems(settings, kModulesKey)) {
        if (item.size() != 1 || !IsModuleName(item[0])) {
            throw std::invalid_argument(std::string(kModulesKey) + ": \"" +
                                        (item.empty() ? "" : item[0]) + "\" is not a module name");
        }
        // Module names treat '-' and '_' alike; the kernel lists '_'.
        std::string name = item[0];
        std::replace(name.begin(), name.end(), '-', '_');
        if (name == kernel_module::kSystemInterface || name == kernel_module::kDeviceInterface) {
            add(kernel_module::kMessageHandler);
        }
        add(name);
    }
    return modules;
}

}  // namespace sim

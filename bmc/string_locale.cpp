#include "bmc/string_locale.h"

#include <new>

LocaleSwitch SwitchStringLocale(std::unique_ptr<CStringResource>& table, const wchar_t* language,
                                const wchar_t* country, const wchar_t* fileName) {
    std::unique_ptr<CStringResource> fresh(new (std::nothrow) CStringResource);
    if (!fresh) return LocaleSwitch::NoTable;
    if (fresh->Initialize(language, country, fileName, 0) != STR_SUCCESS) {
        return LocaleSwitch::LoadFailed;
    }
    if (fresh->CacheAll() != STR_SUCCESS) return LocaleSwitch::CacheFailed;
    table = std::move(fresh);
    return LocaleSwitch::Switched;
}

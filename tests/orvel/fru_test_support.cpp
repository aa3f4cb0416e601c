#include "fru_test_support.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>

#include "orvel/last_error.h"
#include "orvel/orvel_status.h"
#include "orvel/orvel_text.h"
#include "strings/str_image.h"

namespace fru_test {

namespace {

constexpr unsigned kStringCount = 170;

const std::map<unsigned, std::u16string> kFormats = {
    {35, u"#35 %d/%d/%d %02d:%02d:%02d"},
    {59, u"#59 %u"},
    {64, u"#64 %ls"},
    // The path is narrow text; key and area names are texts of the table.
    {89, u"#89 %s"},
    {90, u"#90 %ls %s"},
    {91, u"#91 %s"},
    {92, u"#92 %s %u"},
    {93, u"#93 %u %s %u"},
    {94, u"#94 %ls %s"},
    {95, u"#95 %ls %s"},
    {96, u"#96 %ls %s"},
    {97, u"#97 %ls %s"},
    {98, u"#98 %s"},
    {100, u"#100 %s"},
    {104, u"#104 %ls"},
    {105, u"#105 %ls"},
    {106, u"#106 %ls"},
    {107, u"#107 %ls"},
    {108, u"#108 %ls"},
    {109, u"#109 %ls"},
    {113, u"#113 %ls"},
    {134, u"#134 %02X %02X %02X %02X"},
    {137, u"#137 %ls"},
    {161, u"#161 %04X"},
    {162, u"#162 %04X"},
    {163, u"#163 %ls %ls"},
    {164, u"#164 %ls %ls"},
};

std::u16string NumberedText(unsigned number) {
    if (const auto format = kFormats.find(number); format != kFormats.end()) return format->second;
    const std::string text = "#" + std::to_string(number);
    return {text.begin(), text.end()};
}

}  // namespace

Orvel_Private::FruReader ImageStorage::Reader() {
    return [this](std::uint16_t offset, std::span<std::uint8_t> bytes) -> std::uint32_t {
        mReads.push_back({offset, bytes.size()});
        if (offset + bytes.size() > mImage.size()) return Orvel_Private::ORVEL_ERROR_READING_FRU;
        std::copy_n(mImage.begin() + offset, bytes.size(), bytes.begin());
        return Orvel_Private::ORVEL_SUCCESS;
    };
}

NumberedStrings::NumberedStrings() {
    std::vector<std::u16string> texts;
    for (unsigned number = 0; number < kStringCount; ++number)
        texts.push_back(NumberedText(number));
    const std::vector<std::uint8_t> file = strc::BuildStringFile(texts);
    const std::string path = mDir / "orvel.str";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));

    auto table = std::make_unique<CStringResource>();
    const std::wstring widePath(path.begin(), path.end());
    if (table->Initialize(widePath.c_str(), kStringCount) != STR_SUCCESS ||
        table->CacheAll() != STR_SUCCESS) {
        throw std::runtime_error("the numbered string table cannot be loaded");
    }
    Orvel_Private::g_pStringResource = std::move(table);
}

NumberedStrings::~NumberedStrings() {
    Orvel_Private::g_pStringResource.reset();
}

std::wstring TakeLastError() {
    return Orvel_Private::TakeLastError();
}

}  // namespace fru_test

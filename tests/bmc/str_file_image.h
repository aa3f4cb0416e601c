// Hand-built ".str" file images. Every field can be set to a wrong value, so
// that a test can show how the reader treats a damaged file. The closing
// word is computed last, so a mutated image still passes the checksum
// unless `balanced` is cleared.
#ifndef SRVFW_TESTS_BMC_STR_FILE_IMAGE_H
#define SRVFW_TESTS_BMC_STR_FILE_IMAGE_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

struct StrFileImage {
    std::uint32_t count = 0;
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> lengths;
    std::vector<std::uint16_t> units;  // the string area
    bool balanced = true;              // false: the word sum ends up 1

    // A well-formed image: the texts back to back, each with its zero unit.
    static StrFileImage Of(std::initializer_list<std::u16string_view> texts);

    // The file's bytes: count, offsets, lengths, units, closing word.
    std::string Bytes() const;
};

#endif

// Building the ".str" files the libraries read their messages from.
#ifndef SRVFW_STRINGS_STR_IMAGE_H
#define SRVFW_STRINGS_STR_IMAGE_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace strc {

// The file for texts[0..N-1] (each without its terminating zero unit):
// N, the offset table, the length table (in units, zero unit included), the
// UTF-16LE units back to back in index order, and one closing word that
// makes the sum of the file's 16-bit little-endian words zero. Throws
// std::length_error when there are no texts or the file would not fit the
// 32-bit offsets.
std::vector<std::uint8_t> BuildStringFile(std::span<const std::u16string> texts);

}  // namespace strc

#endif

#pragma once
// OSCBytes: the byte string every encoder returns and every decoder reads.
// A plain owned buffer; spans of it are passed where nothing is kept.

#include <cstdint>
#include <span>
#include <vector>

namespace lanternwick {

using OSCBytes = std::vector<std::uint8_t>;
using OSCByteView = std::span<const std::uint8_t>;

}  // namespace lanternwick

#include "markers/MaskRange.h"

#include <algorithm>

namespace lanternwick::markermatch {

bool anyAdmits(const std::vector<MaskRange>& ranges, Mask mask) {
    return std::any_of(ranges.begin(), ranges.end(), [mask](const MaskRange& range) { return range.admits(mask); });
}

std::vector<MaskRange> distinctRanges(const std::vector<MaskRange>& rangeOf, const std::vector<std::uint32_t>& free) {
    std::vector<bool> seen(maskCount * maskCount, false);
    std::vector<MaskRange> distinct;
    for (const std::uint32_t position : free) {
        const MaskRange range = rangeOf[position];
        if (const std::size_t code = range.forced * maskCount + range.possible; !seen[code]) {
            seen[code] = true;
            distinct.push_back(range);
        }
    }
    return distinct;
}

}  // namespace lanternwick::markermatch

#pragma once
// Marker files of a long show for the benchmarks: one track and marker type
// throughout, a unique cue id and label per marker, ascending positions, and
// a few attributes the parser skips, about 180 bytes per marker (a
// 5,000-marker file is about 0.9 MB). Each edit is one a designer makes
// between two saves. Pure functions, any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace lanternwick::bench {

enum class ShowEdit {
    none,
    // The fade of the middle marker goes from 2 to 3.
    oneEdit,
    // A new marker before the first, which shifts every later index.
    insertAtTop,
    // Every marker moves half a second later and gets a fade of 3.
    everyMarkerChanged,
    // Every marker gets another cue id and label and moves 100.3 s later: the
    // matching finds nothing to join on and compares all leftovers.
    everyMarkerReplaced,
};

std::string_view editName(ShowEdit edit);

std::string showText(std::size_t markerCount, ShowEdit edit);

}  // namespace lanternwick::bench

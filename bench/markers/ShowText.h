#pragma once
// Marker files of a long show for the benchmarks: one track and marker type
// throughout, by default a unique cue id and label per marker and ascending
// positions, and a few attributes the parser skips, about 180 bytes per
// marker (a 5,000-marker file is about 0.9 MB). Other shapes share values
// across markers. Each edit is one a designer makes between two saves. Pure
// functions, any thread.

#include <array>
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
    // Every marker gets another cue id and label and moves 100.3 s later:
    // only list, type, track and fades are left to pair markers by.
    everyMarkerReplaced,
};

enum class ShowShape {
    distinct,
    // Every marker labelled "Go".
    sameLabel,
    // Every marker with cue id 1.
    sameCueID,
    // Every marker at 10 s.
    samePosition,
    // Cue id 1, label "Go" and 10 s throughout: the markers differ in their
    // place in the file only.
    identical,
    // Four groups of identical markers, taking turns.
    fewGroups,
};

// Every shape but distinct: the ones in which markers share values.
constexpr std::array<ShowShape, 5> sharingShapes{ShowShape::sameLabel, ShowShape::sameCueID, ShowShape::samePosition,
                                                 ShowShape::identical, ShowShape::fewGroups};

std::string_view editName(ShowEdit edit);
std::string_view shapeName(ShowShape shape);

std::string showText(std::size_t markerCount, ShowEdit edit, ShowShape shape = ShowShape::distinct);

}  // namespace lanternwick::bench

#pragma once
// Marker shows written as the timeline writes them, and the cue table a
// show should leave on the console.

#include <string>
#include <string_view>
#include <vector>

#include "console-sim/CueTable.h"

namespace lanternwick::soak {

struct ShowMarker {
    std::string track = "1/ Lights";
    std::string cue = "1";
    std::string label = "Intro";
    std::string position = "10";
    std::string fade = "2";
    std::string fadeOut;
};

std::string showText(const std::vector<ShowMarker>& markers, std::string_view extra = "");

// Cue n of list 1 with label "Cue n", fade 2 and a position of 10 * n seconds.
ShowMarker numberedMarker(int n);
std::vector<ShowMarker> numberedShow(int count);

// The cue a plain marker on list 1 with a whole-second position under ten
// hours and no fade-out should give.
sim::SimulatedCue expectedCue(const ShowMarker& marker);
// One cue per cue number the markers carry, in console order; where several
// markers share a number, the last of them in the file gives the values.
std::vector<sim::SimulatedCue> expectedCues(const std::vector<ShowMarker>& markers);
void sortInConsoleOrder(std::vector<sim::SimulatedCue>& cues);

}  // namespace lanternwick::soak

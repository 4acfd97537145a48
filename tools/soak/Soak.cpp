#include "soak/Soak.h"

#include <algorithm>
#include <iomanip>
#include <random>
#include <sstream>

#include "soak/MonitorRig.h"
#include "soak/SoakConsole.h"
#include "soak/SoakShow.h"

namespace lanternwick::soak {
namespace {

enum EditKind { fade, label, position, cueNumber, add, remove, editKindCount };
constexpr const char* editKindNames[] = {"fade", "label", "position", "cue number", "add", "remove"};

// Shows stay between these sizes so that removals never empty the file and
// additions do not grow the quadratic matching without bound.
constexpr std::size_t fewestMarkers = 5;
constexpr std::size_t mostMarkers = 60;

std::string describe(const sim::SimulatedCue& cue) {
    return cue.cueNumber + " [" + cue.label + "|" + cue.time + "|" + cue.timecode + "]";
}

void compare(const std::vector<sim::SimulatedCue>& held, const std::vector<sim::SimulatedCue>& wanted,
             std::vector<std::string>& problems) {
    const auto key = [](const sim::SimulatedCue& cue) { return cue.cueNumber; };
    std::size_t shown = 0;
    for (const auto& want : wanted) {
        const auto it = std::find_if(held.begin(), held.end(), [&](const auto& c) { return key(c) == key(want); });
        if (it == held.end()) {
            problems.push_back("missing cue " + describe(want));
        } else if (!(*it == want)) {
            problems.push_back("cue " + describe(*it) + " should be " + describe(want));
        } else {
            continue;
        }
        if (++shown == 10) {
            return;
        }
    }
    for (const auto& cue : held) {
        if (std::none_of(wanted.begin(), wanted.end(), [&](const auto& w) { return key(w) == key(cue); })) {
            problems.push_back("unexpected cue " + describe(cue));
            if (++shown == 10) {
                return;
            }
        }
    }
}

}  // namespace

SoakResult runSoak(const SoakOptions& options) {
    SoakResult result;
    result.editsByKind.assign(editKindCount, 0);
    const auto started = std::chrono::steady_clock::now();

    SoakConsole console;
    MonitorRig rig(console.port());
    std::vector<ShowMarker> markers = numberedShow(options.markers);
    rig.write(showText(markers));
    rig.start();
    rig.monitor->setCueDeletionPromptPolicy(CueDeletionPromptPolicy::autoYes);
    if (!rig.waitConnected() || !rig.runUntil([&] { return console.cues() == expectedCues(markers); })) {
        result.problems.push_back("the update on connect did not fill the console");
        return result;
    }

    std::mt19937 random(options.seed);
    const auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    int nextCue = 1000;
    int nextMarker = 1;
    std::vector<sim::SimulatedCue> leftBehind;
    for (int edit = 0; edit < options.edits; ++edit) {
        auto kind = static_cast<EditKind>(below(editKindCount));
        if (kind == remove && markers.size() <= fewestMarkers) {
            kind = add;
        } else if (kind == add && markers.size() >= mostMarkers) {
            kind = remove;
        }
        ShowMarker& marker = markers[below(markers.size())];
        switch (kind) {
        case fade: marker.fade = std::to_string(below(20)) + (below(4) == 0 ? ".5" : ""); break;
        case label: marker.label = below(8) == 0 ? "  " : "Edit " + std::to_string(edit); break;
        case position: marker.position = std::to_string(below(3000)); break;
        case cueNumber:
            if (!marker.cue.empty()) {
                leftBehind.push_back(expectedCue(marker));
            }
            marker.cue = std::to_string(nextCue++) + (below(4) == 0 ? ".5" : "");
            break;
        case add: {
            // A new marker has no cue number until one is given to it.
            ShowMarker added{.cue = "",
                             .label = "New " + std::to_string(nextMarker++),
                             .position = std::to_string(below(3000)),
                             .fade = std::to_string(below(10))};
            markers.insert(markers.begin() + static_cast<std::ptrdiff_t>(below(markers.size() + 1)), added);
            break;
        }
        case remove:
        default: markers.erase(markers.begin() + static_cast<std::ptrdiff_t>(below(markers.size()))); break;
        }
        ++result.editsByKind[kind];
        ++result.edits;
        rig.write(showText(markers));
        rig.monitor->pollOnce();
        rig.settle(std::chrono::milliseconds(below(static_cast<std::size_t>(options.maxIntervalMs) + 1)));
    }

    std::vector<sim::SimulatedCue> wanted = expectedCues(markers);
    wanted.insert(wanted.end(), leftBehind.begin(), leftBehind.end());
    sortInConsoleOrder(wanted);
    const bool equal = rig.runUntil([&] { return console.cues() == wanted; }, std::chrono::seconds(10));
    const auto held = console.cues();
    if (!equal) {
        compare(held, wanted, result.problems);
        if (result.problems.empty()) {
            result.problems.push_back("the console holds the cues in another order");
        }
    }
    if (console.hasRefusals()) {
        result.problems.push_back("the console refused or could not read a command");
    }
    if (!rig.monitor->isEosConnected()) {
        result.problems.push_back("the connection was lost");
    }
    result.cues = held.size();
    result.leftBehind = leftBehind.size();
    result.commandLines = console.executedCount();
    result.duration = std::chrono::steady_clock::now() - started;
    return result;
}

std::string summary(const SoakOptions& options, const SoakResult& result) {
    std::ostringstream out;
    out << (result.ok() ? "ok" : "FAILED") << ": " << result.edits << " edits (seed " << options.seed
        << ", intervals up to " << options.maxIntervalMs << " ms) in " << std::fixed << std::setprecision(1)
        << std::chrono::duration<double>(result.duration).count() << " s\n  ";
    for (int kind = 0; kind < editKindCount && kind < static_cast<int>(result.editsByKind.size()); ++kind) {
        out << (kind ? ", " : "") << editKindNames[kind] << " " << result.editsByKind[kind];
    }
    out << "\n  console: " << result.cues << " cues (" << result.leftBehind << " left behind by renumbering), "
        << result.commandLines << " commands executed\n";
    for (const std::string& problem : result.problems) {
        out << "  " << problem << "\n";
    }
    return out.str();
}

}  // namespace lanternwick::soak

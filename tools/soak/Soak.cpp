#include "soak/Soak.h"

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <random>
#include <set>
#include <sstream>

#include "eos/EosOSCClient.h"
#include "soak/MonitorRig.h"
#include "soak/SoakConsole.h"
#include "soak/SoakShow.h"

namespace lanternwick::soak {
namespace {

enum EditKind { fade, label, position, cueNumber, add, remove, editKindCount };
constexpr const char* editKindNames[] = {"fade", "label", "position", "cue number", "add", "remove"};
constexpr const char* saveKindNames[] = {"in place", "rename", "truncate-then-write", "delete-then-create"};
constexpr const char* faultKindNames[] = {"reboot", "reboot while deleted", "reboot while truncated", "stop"};

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

// One seeded session: the show as the file should say it, the console, the
// monitor, and what renumbering left on the console.
class Session {
public:
    Session(const SoakOptions& options, SoakResult& result)
        : options_(options), result_(result), random_(options.seed), rig_(console_.port()),
          markers_(numberedShow(options.markers)) {}

    void run() {
        rig_.write(showText(markers_));
        rig_.start();
        rig_.monitor->setCueDeletionPromptPolicy(CueDeletionPromptPolicy::autoYes);
        if (!rig_.waitConnected() || !rig_.runUntil([&] { return console_.cues() == expectedCues(markers_); })) {
            result_.problems.push_back("the update on connect did not fill the console");
            return;
        }
        for (int edit = 0; edit < options_.edits && result_.problems.empty(); ++edit) {
            const EditKind kind = makeEdit(edit);
            ++result_.editsByKind[kind];
            ++result_.edits;
            save();
            rig_.settle(std::chrono::milliseconds(below(static_cast<std::size_t>(options_.maxIntervalMs) + 1)));
            if (options_.faultEvery > 0 && below(static_cast<std::size_t>(options_.faultEvery)) == 0) {
                fault();
            }
        }
        if (result_.problems.empty()) {
            check();
        }
    }

private:
    enum SaveKind { inPlace, rename, truncateThenWrite, deleteThenCreate, saveKindCount };
    enum FaultKind { reboot, rebootWhileDeleted, rebootWhileTruncated, stop, faultKindCount };

    std::size_t below(std::size_t n) { return static_cast<std::size_t>(random_() % n); }

    EditKind makeEdit(int edit) {
        auto kind = static_cast<EditKind>(below(editKindCount));
        if (kind == remove && markers_.size() <= fewestMarkers) {
            kind = add;
        } else if (kind == add && markers_.size() >= mostMarkers) {
            kind = remove;
        }
        ShowMarker& marker = markers_[below(markers_.size())];
        switch (kind) {
        case fade: marker.fade = std::to_string(below(20)) + (below(4) == 0 ? ".5" : ""); break;
        case label: marker.label = below(8) == 0 ? "  " : "Edit " + std::to_string(edit); break;
        case position: marker.position = std::to_string(below(3000)); break;
        case cueNumber: renumber(marker); break;
        case add: {
            // A new marker has no cue number until one is given to it.
            ShowMarker added{.cue = "",
                             .label = "New " + std::to_string(nextMarker_++),
                             .position = std::to_string(below(3000)),
                             .fade = std::to_string(below(10))};
            markers_.insert(markers_.begin() + static_cast<std::ptrdiff_t>(below(markers_.size() + 1)), added);
            break;
        }
        case remove:
        default: markers_.erase(markers_.begin() + static_cast<std::ptrdiff_t>(below(markers_.size()))); break;
        }
        return kind;
    }

    // A renumbered marker enters its new cue and nothing deletes the old
    // one: when no marker is left on it, it keeps what it last held.
    void renumber(ShowMarker& marker) {
        const std::string old = marker.cue;
        const auto before = expectedCues(markers_);
        const ShowMarker* other = options_.faultEvery > 0 && below(3) == 0 ? &markers_[below(markers_.size())] : nullptr;
        if (other && !other->cue.empty() && other->cue != old) {
            marker.cue = other->cue;
            ++result_.sharedMoves;
        } else {
            marker.cue = std::to_string(nextCue_++) + (below(4) == 0 ? ".5" : "");
        }
        const bool stillUsed =
            std::any_of(markers_.begin(), markers_.end(), [&](const ShowMarker& m) { return m.cue == old; });
        if (old.empty() || stillUsed) {
            return;
        }
        const auto held = std::find_if(before.begin(), before.end(), [&](const auto& c) { return c.cueNumber == old; });
        leftBehind_.push_back(*held);
    }

    void save() {
        const std::string text = showText(markers_);
        const auto kind = options_.faultEvery > 0 ? static_cast<SaveKind>(std::min<std::size_t>(below(8), 4) % 4)
                                                  : inPlace;
        ++result_.savesByKind[kind];
        switch (kind) {
        case rename: rig_.replaceAtomically(text); break;
        case truncateThenWrite:
            rig_.write("");
            maybePollBetween();
            rig_.write(text);
            break;
        case deleteThenCreate:
            std::filesystem::remove(rig_.file);
            maybePollBetween();
            rig_.write(text);
            break;
        case inPlace:
        default: rig_.write(text); break;
        }
        rig_.monitor->pollOnce();
    }

    // Half the time a poll catches the save between its two steps.
    void maybePollBetween() {
        if (below(2) == 0) {
            rig_.monitor->pollOnce();
            rig_.settle(std::chrono::milliseconds(below(5)));
        }
    }

    void fault() {
        const auto kind = static_cast<FaultKind>(below(faultKindCount));
        ++result_.faultsByKind[kind];
        const std::string text = showText(markers_);
        switch (kind) {
        case stop: console_.stopFor(std::chrono::milliseconds(500 + below(static_cast<std::size_t>(options_.maxStopMs)))); break;
        case rebootWhileDeleted:
        case rebootWhileTruncated:
            // The console comes back and is connected to while the file is
            // gone or empty; the save completes only afterwards.
            if (kind == rebootWhileDeleted) {
                std::filesystem::remove(rig_.file);
            } else {
                rig_.write("");
            }
            if (below(2) == 0) {
                rig_.monitor->pollOnce();
            }
            restartConsole();
            rig_.settle(std::chrono::milliseconds(below(50)));
            rig_.write(text);
            rig_.monitor->pollOnce();
            break;
        case reboot:
        default: restartConsole(); break;
        }
    }

    void restartConsole() {
        console_.kill();
        // A renumbering whose lines were still held when the console went
        // may enter its cue on the rebooted one again; what it holds then is
        // not known here.
        for (const auto& cue : leftBehind_) {
            mayBeLeftBehind_.insert(cue.cueNumber);
        }
        leftBehind_.clear();
        if (!rig_.waitConnected(false)) {
            result_.problems.push_back("the client did not notice the console going away");
        }
        console_.start();
        if (!rig_.runUntil([&] { return rig_.monitor->isEosConnected(); }, std::chrono::seconds(20))) {
            result_.problems.push_back("the client did not reconnect to the rebooted console");
        }
    }

    void check() {
        std::vector<sim::SimulatedCue> wanted = expectedCues(markers_);
        wanted.insert(wanted.end(), leftBehind_.begin(), leftBehind_.end());
        sortInConsoleOrder(wanted);
        const auto heldNow = [&] {
            auto cues = console_.cues();
            std::erase_if(cues, [&](const sim::SimulatedCue& cue) {
                return mayBeLeftBehind_.contains(cue.cueNumber) &&
                       std::none_of(wanted.begin(), wanted.end(),
                                    [&](const sim::SimulatedCue& w) { return w.cueNumber == cue.cueNumber; });
            });
            return cues;
        };
        const auto settled = [&] {
            return rig_.monitor->isEosConnected() && rig_.monitor->eosLinkStatus().heldLines == 0 && heldNow() == wanted;
        };
        rig_.runUntil(settled, std::chrono::seconds(20));
        // Stops queue up on the console, and one frozen past the answer
        // deadline is rightly given up even after it ran every line; what
        // counts is the state once the last lines have had time to be answered.
        rig_.settle(std::chrono::duration_cast<std::chrono::milliseconds>(EosOSCClient::answerTimeout + std::chrono::seconds(1)));
        const bool equal = rig_.runUntil(settled, std::chrono::seconds(20)) || heldNow() == wanted;
        const auto held = heldNow();
        if (!equal) {
            compare(held, wanted, result_.problems);
            if (result_.problems.empty()) {
                result_.problems.push_back("the console holds the cues in another order");
            }
            traceFirstDifference(held, wanted);
        }
        if (console_.hasRefusals()) {
            result_.problems.push_back("the console refused or could not read a command");
        }
        if (!rig_.monitor->isEosConnected()) {
            result_.problems.push_back("the connection was lost: " + linkStatusText(rig_.monitor->eosLinkStatus()));
        }
        result_.cues = held.size();
        result_.leftBehind = leftBehind_.size();
        result_.commandLines = console_.executedCount();
    }

    // What the monitor last sent and the console ran for the first cue that
    // differs, so that a failing seed says how its cue got there.
    void traceFirstDifference(const std::vector<sim::SimulatedCue>& held, const std::vector<sim::SimulatedCue>& wanted) {
        std::string number;
        for (const auto& want : wanted) {
            if (std::find(held.begin(), held.end(), want) == held.end()) {
                number = want.cueNumber;
                break;
            }
        }
        if (number.empty()) {
            return;
        }
        const std::string needle = "/ " + number + " ";
        for (const std::string& line : rig_.sentLines()) {
            if (line.find(needle) != std::string::npos) {
                result_.problems.push_back("  sent: " + line);
            }
        }
        std::istringstream log(console_.log());
        for (std::string line; std::getline(log, line);) {
            if (line.find(needle) != std::string::npos) {
                result_.problems.push_back("  console: " + line);
            }
        }
    }

    const SoakOptions& options_;
    SoakResult& result_;
    std::mt19937 random_;
    SoakConsole console_;
    MonitorRig rig_;
    std::vector<ShowMarker> markers_;
    std::vector<sim::SimulatedCue> leftBehind_;
    std::set<std::string> mayBeLeftBehind_;
    int nextCue_ = 1000;
    int nextMarker_ = 1;
};

}  // namespace

SoakResult runSoak(const SoakOptions& options) {
    SoakResult result;
    result.editsByKind.assign(editKindCount, 0);
    result.savesByKind.assign(4, 0);
    result.faultsByKind.assign(4, 0);
    const auto started = std::chrono::steady_clock::now();
    Session(options, result).run();
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
    out << " (" << result.sharedMoves << " onto a cue in use)";
    if (options.faultEvery > 0) {
        const auto list = [&](const char* const* names, const std::vector<int>& counts) {
            for (std::size_t kind = 0; kind < counts.size(); ++kind) {
                out << (kind ? ", " : "") << names[kind] << " " << counts[kind];
            }
        };
        out << "\n  saves: ";
        list(saveKindNames, result.savesByKind);
        out << "\n  faults: ";
        list(faultKindNames, result.faultsByKind);
    }
    out << "\n  console: " << result.cues << " cues (" << result.leftBehind << " left behind by renumbering), "
        << result.commandLines << " commands executed\n";
    for (const std::string& problem : result.problems) {
        out << "  " << problem << "\n";
    }
    return out.str();
}

}  // namespace lanternwick::soak

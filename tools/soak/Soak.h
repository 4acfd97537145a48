#pragma once
// The soak run: random marker edits (fade, label, position, cue number,
// added and removed markers) at random intervals, each followed by a poll,
// against the simulated console on loopback, through the real monitor and
// Eos client with every option on and deletions confirmed for the whole
// session. Afterwards the console must hold exactly the cues the file
// carries, plus the cues that renumbering left behind (a renumbered marker
// enters its new cue; nothing deletes the old one), without one refused
// command. The sequence is seeded, so a failure repeats.
// With faults on, cue numbers also move onto cues other markers use and away
// again, saves come in place, by rename, truncated then written and deleted
// then created, and now and then the console is rebooted (empty, as the
// simulator restarts) around such a save or stopped for seconds while the
// edits go on. A rebooted console holds what the file says and nothing that
// renumbering left behind before the reboot, but for a renumbering whose
// lines were held across it (those cues may be there or not).

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace lanternwick::soak {

struct SoakOptions {
    int edits = 1000;
    std::uint32_t seed = 1;
    int maxIntervalMs = 50;
    int markers = 30;
    // About one edit in this many is followed by a console fault; 0 means
    // neither faults nor varied saves.
    int faultEvery = 0;
    int maxStopMs = 3000;
};

struct SoakResult {
    int edits = 0;
    // Edits by kind, in the order fade, label, position, cue number, add, remove.
    std::vector<int> editsByKind;
    // Cue number edits onto a cue another marker used.
    int sharedMoves = 0;
    // Saves by kind, in the order in place, rename, truncate-then-write,
    // delete-then-create.
    std::vector<int> savesByKind;
    // Faults by kind, in the order reboot, reboot during delete-then-create,
    // reboot during truncate-then-write, stop.
    std::vector<int> faultsByKind;
    std::chrono::steady_clock::duration duration{};
    std::size_t cues = 0;
    std::size_t leftBehind = 0;
    std::size_t commandLines = 0;
    std::vector<std::string> problems;

    bool ok() const { return problems.empty(); }
};

SoakResult runSoak(const SoakOptions& options);

std::string summary(const SoakOptions& options, const SoakResult& result);

}  // namespace lanternwick::soak

#pragma once
// The soak run: random marker edits (fade, label, position, cue number,
// added and removed markers) at random intervals, each followed by a poll,
// against the simulated console on loopback, through the real monitor and
// Eos client with every option on and deletions confirmed for the whole
// session. Afterwards the console must hold exactly the cues the file
// carries, plus the cues that renumbering left behind (a renumbered marker
// enters its new cue; nothing deletes the old one), without one refused
// command. The sequence is seeded, so a failure repeats.

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
};

struct SoakResult {
    int edits = 0;
    // Edits by kind, in the order fade, label, position, cue number, add, remove.
    std::vector<int> editsByKind;
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

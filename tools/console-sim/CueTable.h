#pragma once
// CueTable: the simulated console's cue list contents, keyed by list and cue
// number, kept in console order (list, then cue number numerically when both
// numbers read as decimals, otherwise by text). Owned by the ConsoleSimulator;
// not thread-safe: the simulator touches it from its one server thread.
// Unset fields are empty texts.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console-sim/ConsoleCommand.h"

namespace lanternwick::sim {

struct SimulatedCue {
    std::int64_t cueList = 0;
    std::string cueNumber;
    std::string label;
    std::string time;
    std::string timecode;

    friend bool operator==(const SimulatedCue&, const SimulatedCue&) = default;
};

class CueTable {
public:
    // Applies one command. Returns the cue as it is afterwards, or nothing for
    // a deletion; deleting a cue that does not exist changes nothing.
    std::optional<SimulatedCue> apply(const ConsoleCommand& command);

    std::optional<SimulatedCue> find(std::int64_t cueList, std::string_view cueNumber) const;
    std::vector<SimulatedCue> cues() const;
    std::size_t size() const { return cues_.size(); }

    // {"cues":[{"list":1,"cue":"2","label":"...","time":"...","timecode":"..."},...]}
    std::string toJSON() const;

private:
    struct Key {
        std::int64_t cueList;
        std::string cueNumber;
    };
    struct KeyOrder {
        bool operator()(const Key& a, const Key& b) const;
    };

    std::map<Key, SimulatedCue, KeyOrder> cues_;
};

// JSON string literal (quotes included) for UTF-8 text; control characters
// are escaped, everything else is passed through.
std::string jsonString(std::string_view text);

}  // namespace lanternwick::sim

#include "console-sim/CueTable.h"

#include <charconv>
#include <cstdio>

namespace lanternwick::sim {

namespace {

// Cue numbers the console would read as numbers: digits with at most one dot.
std::optional<double> numericCue(std::string_view number) {
    std::size_t digits = 0;
    std::size_t dots = 0;
    for (const char c : number) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.') {
            ++dots;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || dots > 1) return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) return std::nullopt;
    return value;
}

}  // namespace

bool CueTable::KeyOrder::operator()(const Key& a, const Key& b) const {
    if (a.cueList != b.cueList) return a.cueList < b.cueList;
    const std::optional<double> numberA = numericCue(a.cueNumber);
    const std::optional<double> numberB = numericCue(b.cueNumber);
    if (numberA && numberB) return *numberA < *numberB;
    if (numberA || numberB) return numberA.has_value();
    return a.cueNumber < b.cueNumber;
}

std::optional<SimulatedCue> CueTable::apply(const ConsoleCommand& command) {
    Key key{command.cueList, command.cueNumber};
    if (command.kind == ConsoleCommand::Kind::deleteCue) {
        cues_.erase(key);
        return std::nullopt;
    }
    auto [it, inserted] = cues_.try_emplace(std::move(key));
    SimulatedCue& cue = it->second;
    if (inserted) {
        cue.cueList = command.cueList;
        cue.cueNumber = command.cueNumber;
    }
    if (command.time) cue.time = *command.time;
    if (command.timecode) cue.timecode = *command.timecode;
    if (command.label) cue.label = *command.label;
    return cue;
}

std::optional<SimulatedCue> CueTable::find(const std::int64_t cueList, const std::string_view cueNumber) const {
    const auto it = cues_.find(Key{cueList, std::string(cueNumber)});
    if (it == cues_.end()) return std::nullopt;
    return it->second;
}

std::vector<SimulatedCue> CueTable::cues() const {
    std::vector<SimulatedCue> all;
    all.reserve(cues_.size());
    for (const auto& [key, cue] : cues_) all.push_back(cue);
    return all;
}

std::string CueTable::toJSON() const {
    std::string json = "{\"cues\":[";
    bool first = true;
    for (const auto& [key, cue] : cues_) {
        if (!first) json += ',';
        first = false;
        json += "{\"list\":" + std::to_string(cue.cueList) + ",\"cue\":" + jsonString(cue.cueNumber) +
                ",\"label\":" + jsonString(cue.label) + ",\"time\":" + jsonString(cue.time) +
                ",\"timecode\":" + jsonString(cue.timecode) + "}";
    }
    json += "]}";
    return json;
}

std::string jsonString(const std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

}  // namespace lanternwick::sim

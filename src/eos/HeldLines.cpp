#include "eos/HeldLines.h"

#include <iterator>

#include "eos/EosCommands.h"

namespace lanternwick {
namespace {

using Part = CueLineKey::Part;

constexpr Part allParts[] = {Part::enter, Part::time,     Part::timecode, Part::label,
                             Part::deletion, Part::full, Part::query};

std::string cuePrefix(const CueLineKey& key) { return std::to_string(key.list) + "|" + key.cue + "|"; }

std::string keyText(const CueLineKey& key) {
    return cuePrefix(key) + std::to_string(static_cast<int>(key.part));
}

}  // namespace

void HeldLines::erase(const std::string& key, std::vector<HeldLine>& replaced) {
    const auto found = byKey_.find(key);
    if (found == byKey_.end()) return;
    replaced.push_back(std::move(found->second->line));
    lines_.erase(found->second);
    byKey_.erase(found);
}

HeldLines::Held HeldLines::hold(HeldLine line) {
    Held result;
    Entry entry{std::move(line), {}};
    if (const auto key = cueLineKey(entry.line.address, entry.line.text)) {
        if (key->part == Part::deletion) {
            // Whatever was held for the cue would only be undone by the deletion.
            for (const Part part : allParts) {
                erase(cuePrefix(*key) + std::to_string(static_cast<int>(part)), result.replaced);
            }
        }
        entry.key = keyText(*key);
        erase(entry.key, result.replaced);
    }
    lines_.push_back(std::move(entry));
    if (!lines_.back().key.empty()) byKey_[lines_.back().key] = std::prev(lines_.end());
    while (lines_.size() > limit) {
        if (!lines_.front().key.empty()) byKey_.erase(lines_.front().key);
        result.dropped.push_back(std::move(lines_.front().line));
        lines_.pop_front();
    }
    return result;
}

HeldLines::Held HeldLines::holdInFront(std::vector<HeldLine> older) {
    std::vector<HeldLine> newer = takeAll();
    Held result;
    const auto append = [](std::vector<HeldLine>& to, std::vector<HeldLine>& from) {
        to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    };
    for (auto* batch : {&older, &newer}) {
        for (HeldLine& line : *batch) {
            Held one = hold(std::move(line));
            append(result.dropped, one.dropped);
            append(result.replaced, one.replaced);
        }
    }
    return result;
}

std::vector<HeldLine> HeldLines::takeAll() {
    std::vector<HeldLine> all;
    all.reserve(lines_.size());
    for (Entry& entry : lines_) all.push_back(std::move(entry.line));
    lines_.clear();
    byKey_.clear();
    return all;
}

}  // namespace lanternwick

#pragma once
// HeldLines: the command lines and cue queries decided while the console is
// not connected, and those a connection ended without the console having
// confirmed them, kept in order to go out right after the console's first
// answer when it is back. Only what the console should end up with is kept:
// a newer line for the same list, cue and part (Enter, Time, Timecode, Label,
// the full line, a query) replaces the older one, and a deletion replaces the
// held lines of its cue before it. Lines of no cue (anything else) are kept
// as they come.
// Why a line that may have reached the console is sent again: every line
// composed here sets a value (Time, Label, Timecode, the full line) or names
// a cue (Enter, Delete), so a line run twice leaves the console as the file
// says, while a line lost does not. Only the answer to a ping sent after a
// line proves the console has read it; anything short of that is held again.
// Limit: `limit` lines; past it the oldest are dropped, and hold() says which.
// Owned by the Eos client; main thread only.

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace lanternwick {

struct HeldLine {
    std::string address;
    // The command line; empty for a bare address.
    std::string text;

    friend bool operator==(const HeldLine&, const HeldLine&) = default;
};

class HeldLines {
public:
    static constexpr std::size_t limit = 10'000;

    struct Held {
        // The oldest lines, gone to stay within the limit.
        std::vector<HeldLine> dropped;
        // Held lines a newer one made needless.
        std::vector<HeldLine> replaced;
    };

    Held hold(HeldLine line);
    // Puts lines that were older than every held one back in front, as if
    // they had been held first (lines sent on a link that died before the
    // console confirmed them).
    Held holdInFront(std::vector<HeldLine> older);
    // Everything, oldest first, leaving the list empty.
    std::vector<HeldLine> takeAll();

    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }

private:
    struct Entry {
        HeldLine line;
        std::string key;
    };

    void erase(const std::string& key, std::vector<HeldLine>& replaced);

    std::list<Entry> lines_;
    std::unordered_map<std::string, std::list<Entry>::iterator> byKey_;
};

}  // namespace lanternwick

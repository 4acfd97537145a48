#pragma once
// HeldLines: the command lines and cue queries decided while the console is
// not connected, kept in order to go out right after the blind key when it is
// back. Only what the console should end up with is kept: a newer line for
// the same list, cue and part (Enter, Time, Timecode, Label, the full line,
// a query) replaces the older one, and a deletion removes the held lines of
// its cue before it. Lines of no cue (anything else) are kept as they come.
// Limit: `limit` lines; past it the oldest are dropped, and hold() says how
// many. Owned by the Eos client; main thread only.

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

    // The oldest lines dropped to stay within the limit.
    std::vector<HeldLine> hold(HeldLine line);
    // Puts lines that were older than every held one back in front, as if
    // they had been held first (lines written to a link that died before
    // they left this process).
    std::vector<HeldLine> holdInFront(std::vector<HeldLine> older);
    // Everything, oldest first, leaving the list empty.
    std::vector<HeldLine> takeAll();

    std::size_t size() const { return lines_.size(); }
    bool empty() const { return lines_.empty(); }

private:
    struct Entry {
        HeldLine line;
        std::string key;
    };

    void erase(const std::string& key);

    std::list<Entry> lines_;
    std::unordered_map<std::string, std::list<Entry>::iterator> byKey_;
};

}  // namespace lanternwick

#pragma once
// newerThan: what an observer of one of the monitor's logs has not seen yet.
// The logs keep the newest entry at the front; the observer remembers the id
// of the last entry it took. Main thread, like the logs themselves.

#include <algorithm>
#include <optional>
#include <vector>

#include "support/Uuid.h"

namespace lanternwick {

// The entries newer than `last`, oldest first. When `last` has already
// dropped off a bounded log, every entry is new.
template <typename Entry>
std::vector<const Entry*> newerThan(const std::vector<Entry>& log, const std::optional<Uuid>& last) {
    auto end = log.end();
    if (last) end = std::find_if(log.begin(), log.end(), [&](const Entry& e) { return e.id == *last; });
    std::vector<const Entry*> fresh;
    for (auto it = log.begin(); it != end; ++it) fresh.push_back(&*it);
    std::reverse(fresh.begin(), fresh.end());
    return fresh;
}

}  // namespace lanternwick

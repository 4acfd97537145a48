#pragma once
// Turning a marker diff into console traffic: the cue queries of a first
// snapshot, the cue command lines of the diff's actions and, after
// confirmation, the deletions; and the full cue lines sent on connect. A cue
// that a diff leaves shared, or takes a marker from, gets the full line of
// the last marker still on it, so that the edits and the update on connect
// leave it alike.
// Runs on the main thread. The options are read through the context at the
// moment each is needed, because the deletion question may let other work
// (which can change them) run while it is open.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "eos/CueDeletionPrompt.h"
#include "eos/EosLink.h"
#include "eos/SyncOutcome.h"
#include "markers/LightingMarker.h"
#include "markers/MarkerDiff.h"

namespace lanternwick {

struct CueSyncContext {
    std::function<bool()> optUpdateOnConnect;
    std::function<bool()> optSyncLabels;
    std::function<bool()> optDeleteCues;
    CueDeletionPolicyAccess policy;
    std::shared_ptr<CueDeletionPrompt> prompt;
    // Each command the diff called for that was not composed, with the
    // reason, and each deletion question with its answer; either may be empty.
    std::function<void(SkippedCommand)> skipped;
    std::function<void(DeletionQuestion)> asked;
    // Whether the file as it is now addresses the cue; asked before and after
    // each question, which may let a poll bring a deleted cue's marker back.
    // May be empty.
    std::function<bool(std::int64_t list, std::string_view cue)> cueInFile;
    // The markers of the file the diff leads to, or null; without them a cue
    // several markers share is not put right after an edit.
    std::function<const std::vector<LightingMarker>*()> markersInFile;
};

void applyDiffToEos(bool isInitialSnapshot, const MarkerDiff& diff, EosLink& link, const CueSyncContext& context);

// The reason recorded when a cue another marker still uses gets that
// marker's values again: "cue 2/67 is still used by another marker: its values sent again".
std::string cueStillUsedReason(std::int64_t list, std::string_view cue);

// One full cue line per marker with a list and a usable, non-zero cue id, in
// marker order; markers whose cue or fade the console could not read are
// reported to `skipped` when given. With labels synced, a blank label on a
// cue an earlier marker of the list labelled is followed by the line that
// clears it, so that the last marker on a shared cue gives all its values.
std::vector<std::string> fullCueLinesFor(const std::vector<LightingMarker>& markers, bool syncLabels,
                                         const std::function<void(SkippedCommand)>& skipped = {});

}  // namespace lanternwick

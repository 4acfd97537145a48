#include "eos/CueSync.h"

#include <set>

#include "eos/EosCommands.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

using Kind = LightingAction::Kind;

// The list and trimmed cue an action's command goes to, when it has a usable one.
struct CueTarget {
    std::int64_t list = 0;
    std::string cue;
};

std::optional<CueTarget> targetOf(const LightingAction& action) {
    if (!action.newCueList || !action.newCueID) {
        return std::nullopt;
    }
    auto cue = usableCueText(*action.newCueID);
    if (!cue || isZeroCue(*cue)) {
        return std::nullopt;
    }
    return CueTarget{*action.newCueList, std::move(*cue)};
}

std::optional<std::string_view> view(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    return std::string_view(*text);
}

void sendTimecode(EosLink& link, const CueTarget& target, const LightingAction& action) {
    if (!action.newPosition) {
        return;
    }
    if (const auto timecode = timecodeText(*action.newPosition, action.newTimeCodeOffsetSeconds.value_or(0))) {
        link.setCueTimecode(target.list, target.cue, *timecode);
    }
}

class ActionApplier {
public:
    ActionApplier(EosLink& link, const CueSyncContext& context) : link_(link), context_(context) {}

    void apply(const LightingAction& action) {
        switch (action.kind) {
        case Kind::manualCueIDChanged:
            applyCueIDChange(action);
            break;
        case Kind::fadeChanged:
            applyFadeChange(action);
            break;
        case Kind::positionChanged:
            if (const auto target = unprocessedTarget(action)) {
                sendTimecode(link_, *target, action);
            }
            break;
        case Kind::nameChanged:
            if (!context_.optSyncLabels() || !action.newLabel) {
                break;
            }
            if (const auto target = unprocessedTarget(action)) {
                link_.setCueLabel(target->list, target->cue, *action.newLabel);
            }
            break;
        case Kind::markerAdded:
        case Kind::markerDeleted:
        case Kind::trackNameChanged:
        case Kind::unknown:
            break;
        }
    }

private:
    void applyCueIDChange(const LightingAction& action) {
        const auto target = targetOf(action);
        if (!target) {
            return;
        }
        link_.enterCue(target->list, target->cue);
        if (context_.optSyncLabels() && action.newLabel) {
            link_.setCueLabel(target->list, target->cue, *action.newLabel);
        }
        if (const auto fade = fadeTimeText(view(action.newFadeTime), view(action.newFadeOutTime))) {
            link_.setCueTime(target->list, target->cue, *fade);
        }
        sendTimecode(link_, *target, action);
        processedCueKeys_.insert(cueKey(*action.newCueList, *action.newCueID));
    }

    void applyFadeChange(const LightingAction& action) {
        const auto target = unprocessedTarget(action);
        if (!target) {
            return;
        }
        const auto oldFade = fadeTimeText(view(action.oldFadeTime), view(action.oldFadeOutTime));
        const auto newFade = fadeTimeText(view(action.newFadeTime), view(action.newFadeOutTime));
        if (newFade && (!oldFade || *oldFade != *newFade)) {
            link_.setCueTime(target->list, target->cue, *newFade);
        }
    }

    std::optional<CueTarget> unprocessedTarget(const LightingAction& action) const {
        auto target = targetOf(action);
        if (target && processedCueKeys_.count(cueKey(*action.newCueList, *action.newCueID)) != 0) {
            return std::nullopt;
        }
        return target;
    }

    EosLink& link_;
    const CueSyncContext& context_;
    std::set<std::string> processedCueKeys_;
};

}  // namespace

void applyDiffToEos(bool isInitialSnapshot, const MarkerDiff& diff, EosLink& link, const CueSyncContext& context) {
    if (isInitialSnapshot && context.optUpdateOnConnect()) {
        for (const auto& request : diff.cueLookupRequests) {
            if (const auto address = cueQueryAddress(request.cueList, request.cueNumber)) {
                link.sendAddress(*address);
            }
        }
    }

    ActionApplier applier(link, context);
    for (const auto& action : diff.actions) {
        applier.apply(action);
    }

    if (!context.optDeleteCues()) {
        return;
    }
    for (const auto& candidate : diff.deletedCueCandidates) {
        // Without a way to ask, only a standing "yes to all" may delete.
        const bool confirmed =
            context.prompt
                ? decideCueDeletion(context.policy, *context.prompt, candidate.cueList, candidate.cueNumber)
                : context.policy.read() == CueDeletionPromptPolicy::autoYes;
        if (!confirmed) {
            continue;
        }
        if (const auto line = deleteCueLine(candidate.cueList, candidate.cueNumber)) {
            link.sendCommandLine(*line);
        }
    }
}

std::vector<std::string> fullCueLinesFor(const std::vector<LightingMarker>& markers, bool syncLabels) {
    std::vector<std::string> lines;
    for (const auto& marker : markers) {
        if (!marker.cueList) {
            continue;
        }
        const std::string cue = trimmed(marker.manualCueID);
        if (cue.empty() || isZeroCue(cue)) {
            continue;
        }
        auto fade = fadeTimeText(marker.fadeRaw, marker.fadeOutRaw);
        auto timecode = timecodeText(marker.positionRaw, marker.timeCodeOffsetSeconds);
        std::optional<std::string> label;
        if (syncLabels) {
            label = trimmed(marker.label);
        }
        if (auto line = fullCueLine(*marker.cueList, cue, std::move(fade), std::move(timecode), std::move(label))) {
            lines.push_back(std::move(*line));
        }
    }
    return lines;
}

}  // namespace lanternwick

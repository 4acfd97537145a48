#include "eos/CueSync.h"

#include <set>
#include <unordered_map>
#include <unordered_set>

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

std::optional<std::string_view> view(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    return std::string_view(*text);
}

bool given(const std::optional<std::string>& text) { return text && !isBlank(*text); }

// Why a non-blank cue cannot be addressed, or nothing when it can.
std::optional<std::string_view> cueProblem(std::string_view cue) {
    if (isZeroCue(cue)) {
        return skipReason::zeroCue;
    }
    if (!usableCueText(cue)) {
        return skipReason::notACueNumber;
    }
    return std::nullopt;
}

class Reporter {
public:
    explicit Reporter(const CueSyncContext& context) : context_(context) {}

    void skipped(std::int64_t list, std::string_view cue, std::string_view what, std::string_view reason) const {
        if (context_.skipped) {
            context_.skipped(SkippedCommand{list, trimmed(cue), std::string(what), std::string(reason)});
        }
    }

private:
    const CueSyncContext& context_;
};

class ActionApplier {
public:
    ActionApplier(EosLink& link, const CueSyncContext& context) : link_(link), context_(context), report_(context) {}

    void apply(const LightingAction& action) {
        switch (action.kind) {
        case Kind::manualCueIDChanged:
        case Kind::markerAdded:
            createCue(action);
            break;
        case Kind::fadeChanged:
            applyFadeChange(action);
            break;
        case Kind::positionChanged:
            if (const auto target = unprocessedTarget(action, "timecode")) {
                sendTimecode(*target, action);
            }
            break;
        case Kind::nameChanged:
            applyNameChange(action);
            break;
        case Kind::markerDeleted:
        case Kind::trackNameChanged:
        case Kind::unknown:
            break;
        }
    }

private:
    // A blank cue id or a missing list means the marker is not meant for the
    // console at all; a cue that is there but unusable is reported.
    std::optional<CueTarget> targetOf(const LightingAction& action, std::string_view what) const {
        if (!action.newCueList || !action.newCueID || isBlank(*action.newCueID)) {
            return std::nullopt;
        }
        if (const auto problem = cueProblem(*action.newCueID)) {
            report_.skipped(*action.newCueList, *action.newCueID, what, *problem);
            return std::nullopt;
        }
        return CueTarget{*action.newCueList, *usableCueText(*action.newCueID)};
    }

    std::optional<CueTarget> unprocessedTarget(const LightingAction& action, std::string_view what) const {
        if (action.newCueList && action.newCueID &&
            processedCueKeys_.count(cueKey(*action.newCueList, *action.newCueID)) != 0) {
            return std::nullopt;
        }
        return targetOf(action, what);
    }

    // A pasted marker (markerAdded) creates its cue just as a newly given cue id does.
    void createCue(const LightingAction& action) {
        const auto target = targetOf(action, "enter");
        if (!target) {
            return;
        }
        link_.enterCue(target->list, target->cue);
        if (context_.optSyncLabels() && action.newLabel) {
            link_.setCueLabel(target->list, target->cue, *action.newLabel);
        }
        if (const auto fade = fadeOf(*target, action)) {
            link_.setCueTime(target->list, target->cue, *fade);
        }
        sendTimecode(*target, action);
        processedCueKeys_.insert(cueKey(*action.newCueList, *action.newCueID));
    }

    void applyFadeChange(const LightingAction& action) {
        const auto target = unprocessedTarget(action, "time");
        if (!target) {
            return;
        }
        const auto oldFade = fadeTimeText(view(action.oldFadeTime), view(action.oldFadeOutTime));
        const auto newFade = fadeOf(*target, action);
        if (newFade && (!oldFade || *oldFade != *newFade)) {
            link_.setCueTime(target->list, target->cue, *newFade);
        }
    }

    void applyNameChange(const LightingAction& action) {
        if (!context_.optSyncLabels()) {
            if (action.newCueList && given(action.newCueID)) {
                report_.skipped(*action.newCueList, *action.newCueID, "label", skipReason::labelSyncOff);
            }
            return;
        }
        if (!action.newLabel) {
            return;
        }
        if (const auto target = unprocessedTarget(action, "label")) {
            link_.setCueLabel(target->list, target->cue, *action.newLabel);
        }
    }

    // The action's new fade, reporting a fade or fade-out the console could not read.
    std::optional<std::string> fadeOf(const CueTarget& target, const LightingAction& action) const {
        auto fade = fadeTimeText(view(action.newFadeTime), view(action.newFadeOutTime));
        if (!fade) {
            if (given(action.newFadeTime)) {
                report_.skipped(target.list, target.cue, "time", skipReason::fadeNotATime);
            }
            return std::nullopt;
        }
        if (!usableFadeOut(view(action.newFadeOutTime))) {
            report_.skipped(target.list, target.cue, "fade-out", skipReason::fadeOutNotATime);
        }
        return fade;
    }

    void sendTimecode(const CueTarget& target, const LightingAction& action) const {
        if (!action.newPosition) {
            return;
        }
        const auto timecode = timecodeText(*action.newPosition, action.newTimeCodeOffsetSeconds.value_or(0));
        if (timecode) {
            link_.setCueTimecode(target.list, target.cue, *timecode);
        } else if (!isBlank(*action.newPosition) && !parseNumber(trimmed(*action.newPosition))) {
            // A negative position is the file's way of saying "none"; only text that is no number is news.
            report_.skipped(target.list, target.cue, "timecode", skipReason::positionNotATime);
        }
    }

    EosLink& link_;
    const CueSyncContext& context_;
    Reporter report_;
    std::set<std::string> processedCueKeys_;
};

void applyDeletions(const MarkerDiff& diff, EosLink& link, const CueSyncContext& context) {
    const Reporter report(context);
    for (const auto& candidate : diff.deletedCueCandidates) {
        if (!context.optDeleteCues()) {
            report.skipped(candidate.cueList, candidate.cueNumber, "delete", skipReason::deletionOff);
            continue;
        }
        // Nobody is asked about a cue the console could not be told to delete.
        if (const auto problem = cueProblem(candidate.cueNumber)) {
            report.skipped(candidate.cueList, candidate.cueNumber, "delete", *problem);
            continue;
        }
        // An earlier question, or this one, may have let a poll bring the
        // cue's marker back; nobody is asked about it, and a Yes given before
        // it came back no longer holds.
        const auto usedAgain = [&] {
            if (!context.cueInFile || !context.cueInFile(candidate.cueList, candidate.cueNumber)) return false;
            report.skipped(candidate.cueList, candidate.cueNumber, "delete", skipReason::cueInFileAgain);
            return true;
        };
        if (usedAgain()) {
            continue;
        }
        std::string_view declined = skipReason::deletionDeclined;
        bool confirmed = false;
        if (context.prompt) {
            const auto decision = decideCueDeletion(context.policy, *context.prompt, candidate.cueList,
                                                    candidate.cueNumber);
            confirmed = decision.confirmed;
            if (decision.answer) {
                // A No that came without anybody being asked is no question.
                if (context.asked && decision.answer->declinedBecause.empty()) {
                    context.asked(DeletionQuestion{candidate.cueList, trimmed(candidate.cueNumber),
                                                   decision.answer->confirmed, decision.answer->doNotAskAgain});
                }
                if (!decision.answer->declinedBecause.empty()) {
                    declined = decision.answer->declinedBecause;
                }
            }
            if (!confirmed) {
                report.skipped(candidate.cueList, candidate.cueNumber, "delete", declined);
                continue;
            }
        } else if (context.policy.read() != CueDeletionPromptPolicy::autoYes) {
            // Without a way to ask, only a standing "yes to all" may delete.
            report.skipped(candidate.cueList, candidate.cueNumber, "delete", skipReason::deletionDeclined);
            continue;
        }
        if (usedAgain()) {
            continue;
        }
        if (const auto line = deleteCueLine(candidate.cueList, candidate.cueNumber)) {
            link.sendCommandLine(*line);
        }
    }
}

// A cue that several markers address carries the values of the last of them,
// as the update on connect leaves it. A marker that leaves such a cue, or
// one that is not the last and is edited, would otherwise leave its own
// values there while the file says another marker's.
class SharedCueRestorer {
public:
    SharedCueRestorer(EosLink& link, const CueSyncContext& context) : link_(link), context_(context) {}

    void restore(const MarkerDiff& diff) {
        for (const auto& action : diff.actions) {
            touch(action);
        }
        if (touched_.empty()) {
            return;
        }
        const std::vector<LightingMarker>* markers = context_.markersInFile();
        if (!markers) {
            return;
        }
        std::vector<const LightingMarker*> last(touched_.size(), nullptr);
        std::vector<std::size_t> users(touched_.size(), 0);
        for (const auto& marker : *markers) {
            if (!marker.cueList || !isMeaningfulCueID(marker.manualCueID)) {
                continue;
            }
            if (const auto found = index_.find(consoleCueKey(*marker.cueList, marker.manualCueID));
                found != index_.end()) {
                last[found->second] = &marker;
                ++users[found->second];
            }
        }
        // Copies: what a send reports may reach observers that poll again.
        std::vector<std::pair<std::size_t, LightingMarker>> owed;
        for (std::size_t i = 0; i < touched_.size(); ++i) {
            if (last[i] && (touched_[i].lostAMarker || users[i] > 1)) {
                owed.emplace_back(i, *last[i]);
            }
        }
        for (const auto& [i, marker] : owed) {
            sendAgain(touched_[i], marker);
        }
    }

private:
    struct TouchedCue {
        std::int64_t list = 0;
        std::string cue;
        bool lostAMarker = false;
    };

    void touch(const LightingAction& action) {
        if (action.kind == Kind::markerDeleted) {
            touch(action.oldCueList, action.oldCueID, true);
            return;
        }
        const bool hadCue = action.oldCueList && action.oldCueID && isMeaningfulCueID(*action.oldCueID);
        const bool hasCue = action.newCueList && action.newCueID && isMeaningfulCueID(*action.newCueID);
        const bool moved = hadCue && (!hasCue || consoleCueKey(*action.oldCueList, *action.oldCueID) !=
                                                     consoleCueKey(*action.newCueList, *action.newCueID));
        if (moved) {
            touch(action.oldCueList, action.oldCueID, true);
        }
        touch(action.newCueList, action.newCueID, false);
    }

    void touch(const std::optional<std::int64_t>& list, const std::optional<std::string>& cue, bool lostAMarker) {
        if (!list || !cue || !isMeaningfulCueID(*cue)) {
            return;
        }
        const auto [found, inserted] = index_.try_emplace(consoleCueKey(*list, *cue), touched_.size());
        if (inserted) {
            touched_.push_back({*list, trimmed(*cue), lostAMarker});
        } else {
            touched_[found->second].lostAMarker |= lostAMarker;
        }
    }

    void sendAgain(const TouchedCue& cue, const LightingMarker& marker) {
        if (context_.skipped) {
            context_.skipped(SkippedCommand{cue.list, cue.cue, "update", cueStillUsedReason(cue.list, cue.cue)});
        }
        const bool syncLabels = context_.optSyncLabels();
        for (const auto& line : fullCueLinesFor({marker}, syncLabels, context_.skipped)) {
            link_.sendCommandLine(line);
        }
        // The full line leaves a blank label out, which would keep the label
        // of the marker that left.
        if (syncLabels && isBlank(marker.label)) {
            link_.setCueLabel(*marker.cueList, trimmed(marker.manualCueID), "");
        }
    }

    EosLink& link_;
    const CueSyncContext& context_;
    std::vector<TouchedCue> touched_;
    std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace

std::string cueStillUsedReason(std::int64_t list, std::string_view cue) {
    return "cue " + std::to_string(list) + "/" + trimmed(cue) + " is still used by another marker: its values sent again";
}

void applyDiffToEos(bool isInitialSnapshot, const MarkerDiff& diff, EosLink& link, const CueSyncContext& context) {
    if (isInitialSnapshot && context.optUpdateOnConnect()) {
        const Reporter report(context);
        for (const auto& request : diff.cueLookupRequests) {
            if (isBlank(request.cueNumber)) {
                continue;
            }
            if (const auto problem = cueProblem(request.cueNumber)) {
                report.skipped(request.cueList, request.cueNumber, "query", *problem);
            } else if (const auto address = cueQueryAddress(request.cueList, request.cueNumber)) {
                link.sendAddress(*address);
            }
        }
    }

    ActionApplier applier(link, context);
    for (const auto& action : diff.actions) {
        applier.apply(action);
    }
    if (context.markersInFile) {
        SharedCueRestorer(link, context).restore(diff);
    }
    applyDeletions(diff, link, context);
}

std::vector<std::string> fullCueLinesFor(const std::vector<LightingMarker>& markers, bool syncLabels,
                                         const std::function<void(SkippedCommand)>& skipped) {
    const auto report = [&](const LightingMarker& marker, std::string_view what, std::string_view reason) {
        if (skipped) {
            skipped(SkippedCommand{*marker.cueList, trimmed(marker.manualCueID), std::string(what),
                                   std::string(reason)});
        }
    };
    std::vector<std::string> lines;
    // The cues an earlier line of this update gave a label: a later marker
    // on the same cue with a blank label must clear it, as its full line
    // leaves the label out.
    std::unordered_set<std::string> labelled;
    for (const auto& marker : markers) {
        if (!marker.cueList || isBlank(marker.manualCueID)) {
            continue;
        }
        if (const auto problem = cueProblem(marker.manualCueID)) {
            report(marker, "update", *problem);
            continue;
        }
        // No fade at all is a fade of 0; a fade the console cannot read is left out.
        std::optional<std::string> fade = std::string("0");
        if (!isBlank(marker.fadeRaw)) {
            fade = fadeTimeText(marker.fadeRaw, marker.fadeOutRaw);
            if (!fade) {
                report(marker, "time", skipReason::fadeNotATime);
            } else if (!usableFadeOut(marker.fadeOutRaw)) {
                report(marker, "fade-out", skipReason::fadeOutNotATime);
            }
        }
        // No position at all is the start of the time code; one the console cannot use is left out.
        std::optional<std::string> timecode = std::string("00:00:00:00");
        if (!isBlank(marker.positionRaw)) {
            timecode = timecodeText(marker.positionRaw, marker.timeCodeOffsetSeconds);
            if (!timecode && !parseNumber(trimmed(marker.positionRaw))) {
                report(marker, "timecode", skipReason::positionNotATime);
            }
        }
        std::optional<std::string> label;
        if (syncLabels) {
            label = trimmed(marker.label);
        }
        const bool blankLabel = label && label->empty();
        if (auto line = fullCueLine(*marker.cueList, marker.manualCueID, std::move(fade), std::move(timecode),
                                    std::move(label))) {
            lines.push_back(std::move(*line));
            if (syncLabels) {
                const std::string key = consoleCueKey(*marker.cueList, marker.manualCueID);
                if (!blankLabel) {
                    labelled.insert(key);
                } else if (labelled.erase(key) != 0) {
                    if (auto clear = cueLabelLine(*marker.cueList, marker.manualCueID, "")) {
                        lines.push_back(std::move(*clear));
                    }
                }
            }
        }
    }
    return lines;
}

}  // namespace lanternwick

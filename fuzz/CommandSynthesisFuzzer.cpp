// Command synthesis on random diffs: actions of every kind with arbitrary
// field texts, lookups and deletion candidates, under every option setting,
// and full cue lines for random markers. Every command line must be sent as
// it is (printable ASCII), end at its only "#" (the console would run
// whatever followed one as another command), read back as exactly one
// command the simulated console understands, address a console cue number
// other than 0, and set only fields the action or marker behind that cue
// gives, with the values it gives. Cue queries go to the requested cues only.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "console-sim/ConsoleCommand.h"
#include "eos/CueSync.h"
#include "eos/EosCommands.h"
#include "markers/ConsoleCue.h"
#include "support/LatinASCII.h"

namespace lanternwick {
namespace {

using fuzz::require;

class CollectingLink final : public EosLink {
public:
    void configure(std::string_view, std::uint16_t, bool) override {}
    void connect() override {}
    void disconnect() override {}
    void sendAddress(std::string_view address) override { addresses.emplace_back(address); }
    void sendCommandLine(std::string_view text) override { lines.emplace_back(text); }
    void setCallbacks(EosLinkCallbacks) override {}

    std::vector<std::string> addresses;
    std::vector<std::string> lines;
};

class FuzzedPrompt final : public CueDeletionPrompt {
public:
    explicit FuzzedPrompt(FuzzedDataProvider& provider) : provider_(provider) {}
    CueDeletionAnswer confirmCueDeletion(std::int64_t, std::string_view) override {
        return {provider_.ConsumeBool(), provider_.ConsumeBool()};
    }

private:
    FuzzedDataProvider& provider_;
};

std::optional<std::string> maybeText(FuzzedDataProvider& provider) {
    if (!provider.ConsumeBool()) {
        return std::nullopt;
    }
    constexpr std::string_view hostile[] = {"1", "0", " 0.0 ", "", "#", "2#", "Intro # Go", " 3 ", "1 / 2", "\n"};
    if (provider.ConsumeBool()) {
        return std::string(hostile[provider.ConsumeIntegralInRange<std::size_t>(0, std::size(hostile) - 1)]);
    }
    return provider.ConsumeRandomLengthString(16);
}

std::optional<std::int64_t> maybeList(FuzzedDataProvider& provider) {
    if (!provider.ConsumeBool()) {
        return std::nullopt;
    }
    return provider.ConsumeBool() ? provider.ConsumeIntegralInRange<std::int64_t>(0, 999)
                                  : provider.ConsumeIntegral<std::int64_t>();
}

LightingAction randomAction(FuzzedDataProvider& provider) {
    LightingAction action;
    action.kind = static_cast<LightingAction::Kind>(provider.ConsumeIntegralInRange(0, 7));
    action.oldCueList = maybeList(provider);
    action.newCueList = maybeList(provider);
    for (std::optional<std::string>* text :
         {&action.oldCueID, &action.newCueID, &action.oldLabel, &action.newLabel, &action.oldFadeTime,
          &action.newFadeTime, &action.oldFadeOutTime, &action.newFadeOutTime, &action.oldPosition,
          &action.newPosition}) {
        *text = maybeText(provider);
    }
    if (provider.ConsumeBool()) {
        action.newTimeCodeOffsetSeconds = provider.ConsumeFloatingPoint<double>();
    }
    return action;
}

// A command a line may carry: which cue, which field, and the value the
// marker gives that field (absent for Enter and Delete).
struct Allowed {
    std::int64_t list = 0;
    std::string cue;
    std::string field;
    std::optional<std::string> value;
};

std::optional<std::string_view> view(const std::optional<std::string>& text) {
    return text ? std::optional<std::string_view>(*text) : std::nullopt;
}

// What the diff may send, by the action or candidate it comes from: a line
// for another cue, another field or another value is a line the file did
// not mean.
std::vector<Allowed> allowedBy(const MarkerDiff& diff, bool syncLabels, bool deleteCues) {
    std::vector<Allowed> allowed;
    for (const LightingAction& a : diff.actions) {
        if (!a.newCueList || !a.newCueID) continue;
        const std::int64_t list = *a.newCueList;
        const std::string cue = wireForm(*a.newCueID);
        const auto fade = fadeTimeText(view(a.newFadeTime), view(a.newFadeOutTime));
        const auto timecode =
            a.newPosition ? timecodeText(*a.newPosition, a.newTimeCodeOffsetSeconds.value_or(0)) : std::nullopt;
        const auto label = a.newLabel ? std::optional(sanitizedLabel(*a.newLabel)) : std::nullopt;
        using Kind = LightingAction::Kind;
        const bool creates = a.kind == Kind::manualCueIDChanged || a.kind == Kind::markerAdded;
        if (creates) allowed.push_back({list, cue, "enter", std::nullopt});
        if ((creates || a.kind == Kind::fadeChanged) && fade) allowed.push_back({list, cue, "time", fade});
        if ((creates || a.kind == Kind::positionChanged) && timecode) allowed.push_back({list, cue, "timecode", timecode});
        if ((creates || a.kind == Kind::nameChanged) && syncLabels && label) allowed.push_back({list, cue, "label", label});
    }
    if (deleteCues) {
        for (const auto& candidate : diff.deletedCueCandidates) {
            allowed.push_back({candidate.cueList, wireForm(candidate.cueNumber), "delete", std::nullopt});
        }
    }
    return allowed;
}

std::vector<Allowed> allowedBy(const std::vector<LightingMarker>& markers, bool syncLabels) {
    std::vector<Allowed> allowed;
    for (const LightingMarker& m : markers) {
        if (!m.cueList) continue;
        const std::string cue = wireForm(m.manualCueID);
        allowed.push_back({*m.cueList, cue, "time", fadeTimeText(m.fadeRaw, m.fadeOutRaw)});
        allowed.push_back({*m.cueList, cue, "time", std::string("0")});
        allowed.push_back({*m.cueList, cue, "timecode",
                           timecodeText(m.positionRaw, m.timeCodeOffsetSeconds).value_or("00:00:00:00")});
        if (syncLabels) allowed.push_back({*m.cueList, cue, "label", sanitizedLabel(m.label)});
    }
    return allowed;
}

bool isAllowed(const std::vector<Allowed>& allowed, std::int64_t list, const std::string& cue, std::string_view field,
               const std::optional<std::string>& value) {
    return std::any_of(allowed.begin(), allowed.end(), [&](const Allowed& a) {
        return a.list == list && a.cue == cue && a.field == field && (!a.value || a.value == value);
    });
}

void checkLine(const std::string& line, const std::vector<Allowed>& allowed) {
    const auto require = [&line](bool condition, std::string_view what) {
        fuzz::require(condition, std::string(what) + " in: " + line);
    };
    require(isPrintableASCII(line), "a command line is what the encoder sends unchanged");
    require(!line.empty() && line.back() == '#' && line.find('#') == line.size() - 1,
            "a command line holds one '#', at its end");
    const sim::CommandLinePieces pieces = sim::splitCommandLine(line);
    require(pieces.commands.size() == 1 && pieces.unterminated.empty(), "a command line is one command");
    const auto parsed = sim::parseConsoleCommand(pieces.commands.front());
    require(parsed.ok(), "the console reads every line");
    const sim::ConsoleCommand& command = parsed.value();
    require(isConsoleCueNumber(command.cueNumber) && !isZeroCue(command.cueNumber),
            "every command addresses a console cue number other than 0");
    const auto check = [&](std::string_view field, const std::optional<std::string>& value) {
        require(isAllowed(allowed, command.cueList, command.cueNumber, field, value),
                "the line sets a field of a cue the file gives it: " + std::string(field));
    };
    switch (command.kind) {
    case sim::ConsoleCommand::Kind::enterCue: check("enter", std::nullopt); break;
    case sim::ConsoleCommand::Kind::deleteCue: check("delete", std::nullopt); break;
    case sim::ConsoleCommand::Kind::setCueFields:
        if (command.time) check("time", command.time);
        if (command.timecode) check("timecode", command.timecode);
        if (command.label) check("label", command.label);
        break;
    }
}

}  // namespace
}  // namespace lanternwick

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    FuzzedDataProvider provider(data, size);
    const bool updateOnConnect = provider.ConsumeBool();
    const bool syncLabels = provider.ConsumeBool();
    const bool deleteCues = provider.ConsumeBool();
    auto policy = static_cast<CueDeletionPromptPolicy>(provider.ConsumeIntegralInRange(0, 2));

    MarkerDiff diff;
    const auto actionCount = provider.ConsumeIntegralInRange(0, 8);
    for (int i = 0; i < actionCount; ++i) {
        diff.actions.push_back(randomAction(provider));
    }
    const auto cueCount = provider.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < cueCount; ++i) {
        const auto list = maybeList(provider).value_or(1);
        const std::string cue = maybeText(provider).value_or("");
        // The diff only ever proposes cues with a meaningful id.
        if (!isMeaningfulCueID(cue)) {
            continue;
        }
        diff.cueLookupRequests.push_back({list, cue});
        diff.deletedCueCandidates.push_back({list, cue});
    }

    std::vector<LightingMarker> markers(provider.ConsumeIntegralInRange<std::size_t>(0, 4));
    for (LightingMarker& marker : markers) {
        marker.cueList = maybeList(provider);
        marker.manualCueID = maybeText(provider).value_or("");
        marker.label = maybeText(provider).value_or("");
        marker.fadeRaw = maybeText(provider).value_or("");
        marker.fadeOutRaw = maybeText(provider).value_or("");
        marker.positionRaw = maybeText(provider).value_or("");
        marker.timeCodeOffsetSeconds = provider.ConsumeFloatingPoint<double>();
    }

    CollectingLink link;
    CueSyncContext context;
    context.optUpdateOnConnect = [&] { return updateOnConnect; };
    context.optSyncLabels = [&] { return syncLabels; };
    context.optDeleteCues = [&] { return deleteCues; };
    context.policy = {[&] { return policy; }, [&](CueDeletionPromptPolicy p) { policy = p; }};
    context.prompt = std::make_shared<FuzzedPrompt>(provider);
    const bool initial = provider.ConsumeBool();
    applyDiffToEos(initial, diff, link, context);

    const auto allowed = allowedBy(diff, syncLabels, deleteCues);
    for (const std::string& line : link.lines) {
        checkLine(line, allowed);
    }
    for (const std::string& address : link.addresses) {
        const bool requested = std::any_of(diff.cueLookupRequests.begin(), diff.cueLookupRequests.end(), [&](const auto& r) {
            return address == "/eos/get/cue/" + std::to_string(r.cueList) + "/" + wireForm(r.cueNumber);
        });
        fuzz::require(requested && isConsoleCueNumber(address.substr(address.rfind('/') + 1)),
                      "queries go to the requested cues only: " + address);
    }
    const auto allowedOnConnect = allowedBy(markers, syncLabels);
    for (const std::string& line : fullCueLinesFor(markers, syncLabels)) {
        checkLine(line, allowedOnConnect);
    }
    return 0;
}

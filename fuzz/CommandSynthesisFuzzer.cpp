// Command synthesis on random diffs: actions of every kind with arbitrary
// field texts, lookups and deletion candidates, under every option setting,
// and full cue lines for random markers. Every command line must end at its
// only "#" (the console would run whatever followed one as another command),
// must read back as exactly one command the simulated console understands,
// and must never address a blank cue or cue 0. Cue queries go to cue
// addresses only.

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

void checkLine(const std::string& line) {
    const auto require = [&line](bool condition, std::string_view what) {
        fuzz::require(condition, std::string(what) + " in: " + line);
    };
    require(!line.empty() && line.back() == '#' && line.find('#') == line.size() - 1,
            "a command line holds one '#', at its end");
    const sim::CommandLinePieces pieces = sim::splitCommandLine(line);
    require(pieces.commands.size() == 1 && pieces.unterminated.empty(), "a command line is one command");
    const auto command = sim::parseConsoleCommand(pieces.commands.front());
    if (command.ok()) {
        require(!command.value().cueNumber.empty() && !isZeroCue(command.value().cueNumber),
                "no command addresses a blank cue or cue 0");
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

    for (const std::string& line : link.lines) {
        checkLine(line);
    }
    for (const std::string& address : link.addresses) {
        fuzz::require(address.starts_with("/eos/get/cue/") && address.find('#') == std::string::npos,
                      "queries go to cue addresses");
    }
    for (const std::string& line : fullCueLinesFor(markers, syncLabels)) {
        checkLine(line);
    }
    return 0;
}

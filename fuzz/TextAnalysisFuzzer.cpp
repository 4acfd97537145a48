// The loose analysis of file content and the event texts built from it, on
// arbitrary bytes (the file may hold anything, invalid UTF-8 included): no
// crash, and the counts stay consistent with each other and with the text.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "markers/LightingChangeEvent.h"
#include "markers/MarkerDiff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    using fuzz::require;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view previous = input.substr(0, split);
    const std::string_view text = split == std::string_view::npos ? input : input.substr(split + 1);

    const XMLLikeAnalysis analysis = analyzeText(text, static_cast<std::int64_t>(text.size()));
    require(analysis.byteCount == static_cast<std::int64_t>(text.size()), "the byte count is the one given");
    require(analysis.lineCount >= 1, "every text has at least one line");
    require(analysis.nonEmptyLineCount <= analysis.lineCount, "non-empty lines are a subset of the lines");
    require(analysis.rootElement.has_value() == (analysis.topTagSummary != "none"),
            "a root element exists exactly when some tag was found");
    require(!analysis.topAttributeKeySummary.empty(), "the key summary is never empty");
    const auto previewLines = std::count(analysis.preview.begin(), analysis.preview.end(), '\n') + 1;
    require(previewLines == std::min<std::int64_t>(12, analysis.lineCount), "the preview holds the first twelve lines");

    const MarkerDiff diff = diffMarkers(previous, text, LightingChangeEvent::Kind::modified);
    const std::string summary = eventSummary(LightingChangeEvent::Kind::modified, analysis, diff.actions);
    require(summary.starts_with("Modified: "), "a modified summary names its kind");
    const std::string details = eventDetails(analysis, previous, diff);
    require(details.starts_with("Estimated changed lines: "), "details start with the line change text");
    require(details.find("\nTop tags: " + analysis.topTagSummary) != std::string::npos, "details list the tags");
    const std::string initial = eventSummary(LightingChangeEvent::Kind::initial, analysis, {});
    require(initial.starts_with("Initial Snapshot: " + std::to_string(text.size()) + " bytes, "),
            "an initial summary counts the bytes");
    return 0;
}

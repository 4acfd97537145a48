#include "markers/LightingMarker.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>

#include <expat.h>

#include "support/IntegerText.h"
#include "support/Regex.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

constexpr std::string_view cueListPattern = "(?:^|\\s)([0-9]{1,3})/\\s";
constexpr std::string_view timeCodePattern =
    "(?:^|\\s)([0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{2})(?:\\s|$)";

// Entity expansion beyond this many bytes must stay within expat's
// amplification limit, which refuses "billion laughs" documents long before
// they cost memory; legitimate files never amplify.
constexpr unsigned long long expansionCheckThreshold = 1024 * 1024;

// expat takes int lengths; feed very large texts in pieces.
constexpr std::size_t maximumChunk = 1U << 30;

struct MarkerFields {
    std::string markerTypeName;
    std::string trackName;
    std::string positionRaw;
    std::string label;
    std::string fadeRaw;
    std::string fadeOutRaw;
    std::string manualCueID;

    // True when `name` is one of the seven attributes a marker reads.
    bool assign(std::string_view name, std::string_view value) {
        std::string* field = nullptr;
        if (name == "MarkerTypeName") field = &markerTypeName;
        else if (name == "TrackName") field = &trackName;
        else if (name == "Position") field = &positionRaw;
        else if (name == "Label") field = &label;
        else if (name == "Fade") field = &fadeRaw;
        else if (name == "FadeOut") field = &fadeOutRaw;
        else if (name == "ManualCueID") field = &manualCueID;
        if (field == nullptr) return false;
        field->assign(value);
        return true;
    }
};

// What a marker reads from its track name.
struct TrackTokens {
    decltype(LightingMarker::cueList) cueList = LightingMarker{}.cueList;
    decltype(LightingMarker::timeCodeOffset) timeCodeOffset = LightingMarker{}.timeCodeOffset;
    decltype(LightingMarker::timeCodeOffsetSeconds) timeCodeOffsetSeconds = LightingMarker{}.timeCodeOffsetSeconds;
};

TrackTokens trackTokens(const std::string& trackName) {
    TrackTokens tokens;
    // Both tokens need their separator; most track names lack one of them.
    if (trackName.find('/') != std::string::npos) {
        if (const auto token = firstCapture(cueListPattern, trackName)) {
            tokens.cueList = parseInteger(*token, PlusSign::allowed);
        }
    }
    if (trackName.find(':') != std::string::npos) {
        if (auto token = firstCapture(timeCodePattern, trackName)) tokens.timeCodeOffset = std::move(*token);
    }
    tokens.timeCodeOffsetSeconds = timeCodeSeconds(tokens.timeCodeOffset).value_or(0);
    return tokens;
}

// Many markers share a few tracks: the patterns run once per distinct name.
using TrackTokenCache = std::unordered_map<std::string, TrackTokens>;

LightingMarker markerFromFields(std::int64_t index, MarkerFields fields, TrackTokenCache& cache) {
    LightingMarker marker;
    marker.index = index;
    auto known = cache.find(fields.trackName);
    if (known == cache.end()) known = cache.emplace(fields.trackName, trackTokens(fields.trackName)).first;
    marker.cueList = known->second.cueList;
    marker.timeCodeOffset = known->second.timeCodeOffset;
    marker.timeCodeOffsetSeconds = known->second.timeCodeOffsetSeconds;
    marker.position = parseNumber(fields.positionRaw);
    marker.fade = parseNumber(fields.fadeRaw);
    marker.fadeOut = parseNumber(fields.fadeOutRaw);
    marker.markerTypeName = std::move(fields.markerTypeName);
    marker.trackName = std::move(fields.trackName);
    marker.positionRaw = std::move(fields.positionRaw);
    marker.label = std::move(fields.label);
    marker.fadeRaw = std::move(fields.fadeRaw);
    marker.fadeOutRaw = std::move(fields.fadeOutRaw);
    marker.manualCueID = std::move(fields.manualCueID);
    return marker;
}

// Collects the markers of one parse.
struct LightingXMLParserDelegate {
    std::vector<LightingMarker> markers;
    std::int64_t markerIndex = 0;
    TrackTokenCache trackTokenCache;

    void startElement(const char* name, const char** attributes) {
        if (std::strcmp(name, "Marker") != 0) return;
        MarkerFields fields;
        for (const char** attribute = attributes; attribute[0] != nullptr; attribute += 2) {
            fields.assign(attribute[0], attribute[1]);
        }
        LightingMarker marker = markerFromFields(markerIndex, std::move(fields), trackTokenCache);
        if (marker.cueList) markers.push_back(std::move(marker));
        ++markerIndex;
    }

    static void onStartElement(void* userData, const XML_Char* name, const XML_Char** attributes) {
        static_cast<LightingXMLParserDelegate*>(userData)->startElement(name, attributes);
    }
};

struct ParserDeleter {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

}  // namespace

std::optional<std::vector<LightingMarker>> parseMarkers(std::string_view text) {
    // The text is UTF-8 whatever its declaration claims, and no namespace
    // processing keeps qualified names as written ("x:Marker" is not a marker).
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate("UTF-8"));
    if (!parser) return std::nullopt;
    // No external entity handler is installed, so external entities are
    // skipped, never read; parameter entities are not parsed either.
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser.get(), expansionCheckThreshold);

    LightingXMLParserDelegate delegate;
    XML_SetUserData(parser.get(), &delegate);
    XML_SetStartElementHandler(parser.get(), &LightingXMLParserDelegate::onStartElement);

    do {
        const std::size_t length = std::min(text.size(), maximumChunk);
        const bool isFinal = length == text.size();
        if (XML_Parse(parser.get(), text.data(), static_cast<int>(length), isFinal ? XML_TRUE : XML_FALSE) !=
            XML_STATUS_OK) {
            return std::nullopt;
        }
        text.remove_prefix(length);
    } while (!text.empty());
    return std::move(delegate.markers);
}

LightingMarker markerFromAttributes(std::int64_t index, const MarkerAttributes& attributes) {
    MarkerFields fields;
    for (const auto& [name, value] : attributes) fields.assign(name, value);
    TrackTokenCache cache;
    return markerFromFields(index, std::move(fields), cache);
}

std::optional<double> timeCodeSeconds(std::string_view text) {
    const std::string value = trimmed(text);
    if (value == "0") return 0.0;

    std::vector<std::int64_t> parts;
    std::string_view rest = value;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view piece = rest.substr(0, colon);
        if (!piece.empty()) {
            const auto number = parseInteger(piece, PlusSign::allowed);
            if (!number) return std::nullopt;
            parts.push_back(*number);
        }
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    if (parts.size() != 4) return std::nullopt;

    const std::int64_t hours = parts[0];
    const std::int64_t minutes = parts[1];
    const std::int64_t seconds = parts[2];
    const std::int64_t frames = parts[3];
    if (hours < 0 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 || frames < 0 || frames > 29) {
        return std::nullopt;
    }
    return static_cast<double>(hours) * 3600.0 + static_cast<double>(minutes) * 60.0 + static_cast<double>(seconds) +
           static_cast<double>(frames) / 30.0;
}

}  // namespace lanternwick

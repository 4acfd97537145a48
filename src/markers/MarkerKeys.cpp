#include "markers/MarkerKeys.h"

#include <cmath>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "support/TextRules.h"

namespace lanternwick::markermatch {
namespace {

std::string_view trimmedASCII(std::string_view text) {
    // The ASCII part of Unicode white space, line ends included.
    const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

struct TextHash {
    std::uint64_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// Texts are equal for the score when their trimmed canonical forms are, so
// that form is the key. ASCII is its own canonical form, which spares the
// usual case the copies and the normaliser (the key is a view into the
// marker, which outlives the matching), and a text equal to the one before
// it (the track and type of most markers) is not looked up at all.
class TextInterner {
public:
    Key keyOf(std::string_view text) {
        if (lastKey_ && text == lastText_) return *lastKey_;
        const Key key = isASCII(text) ? keyOfTrimmed(trimmedASCII(text)) : keyOfCanonical(canonicalForm(trimmed(text)));
        lastText_ = text;
        lastKey_ = key;
        return key;
    }

private:
    Key keyOfTrimmed(std::string_view trimmedText) {
        if (trimmedText.empty()) return blankKey;
        return numbers_.numberOf(trimmedText) + 1;
    }

    Key keyOfCanonical(std::string form) {
        if (form.empty()) return blankKey;
        return numbers_.numberOf(form, [this](std::string_view newForm) {
            return std::string_view(ownedForms_.emplace_back(newForm));
        }) + 1;
    }

    FirstSightNumbers<std::string_view, TextHash> numbers_;
    std::deque<std::string> ownedForms_;
    std::string_view lastText_;
    std::optional<Key> lastKey_;
};

class CueListKeys {
public:
    Key keyOf(const std::optional<std::int64_t>& cueList) {
        return cueList ? numbers_.numberOf(*cueList) + 1 : blankKey;
    }

private:
    FirstSightNumbers<std::int64_t, std::hash<std::int64_t>> numbers_;
};

// The distinct finite values of one number field among the new markers. Two
// numbers are the same within a tolerance, which is not transitive, so an
// old value is given every new value it is the same as (in real files one or
// none). Infinities and NaN are the same as nothing, themselves included.
class NumberKeys {
public:
    NumberKeys(const std::vector<LightingMarker>& newMarkers, std::optional<double> LightingMarker::*field) {
        for (const LightingMarker& m : newMarkers) {
            if (const auto& value = m.*field; value && std::isfinite(*value)) values_.push_back(*value);
        }
        // Runs of one value (the fade of most markers) shrink before the sort.
        values_.erase(std::unique(values_.begin(), values_.end()), values_.end());
        if (std::is_sorted(values_.begin(), values_.end())) return;
        std::sort(values_.begin(), values_.end());
        values_.erase(std::unique(values_.begin(), values_.end()), values_.end());
    }

    Key newKey(const std::optional<double>& value) {
        if (!value) return blankKey;
        if (!std::isfinite(*value)) return neverEqual;
        return static_cast<Key>(lowerBound(*value) + 1);
    }

    // The difference grows monotonically away from the value, rounding
    // included, so the walk stops at the first new value out of tolerance.
    void appendOldKeys(const std::optional<double>& value, std::vector<Key>& keys) {
        if (!value) {
            keys.push_back(blankKey);
            return;
        }
        if (!std::isfinite(*value)) return;
        const std::size_t middle = lowerBound(*value);
        for (auto k = middle; k > 0 && std::fabs(*value - values_[k - 1]) <= sameValueTolerance; --k) {
            keys.push_back(static_cast<Key>(k));
        }
        for (auto k = middle; k < values_.size() && std::fabs(*value - values_[k]) <= sameValueTolerance; ++k) {
            keys.push_back(static_cast<Key>(k + 1));
        }
    }

private:
    // Numbers in a file mostly ascend, so the answer is mostly the previous
    // one or the next.
    std::size_t lowerBound(double value) {
        const auto isLowerBound = [&](std::size_t k) {
            return k <= values_.size() && (k == values_.size() || value <= values_[k]) &&
                   (k == 0 || values_[k - 1] < value);
        };
        if (!isLowerBound(lastLowerBound_) && !isLowerBound(++lastLowerBound_)) {
            lastLowerBound_ = static_cast<std::size_t>(std::lower_bound(values_.begin(), values_.end(), value) -
                                                       values_.begin());
        }
        return lastLowerBound_;
    }

    std::vector<double> values_;
    std::size_t lastLowerBound_ = 0;
};

// An old marker's text is mostly byte for byte the text of the new marker
// at a steady offset (none before an edit, one after an insertion at the
// top), whose key it then takes without a lookup; the offset follows the
// last text that was looked up.
class OldTextKeys {
public:
    OldTextKeys(TextInterner& interner, const std::vector<LightingMarker>& newMarkers, const MarkerKeys& keys,
                Feature feature, const std::string LightingMarker::*field)
        : interner_(interner), newMarkers_(newMarkers), keys_(keys), feature_(feature), field_(field) {
        for (std::uint32_t j = 0; j < newMarkers.size(); ++j) {
            const Key key = keys.newKeys[j][feature];
            if (key >= firstNewPosition_.size()) firstNewPosition_.resize(key + 1, noPosition);
            if (firstNewPosition_[key] == noPosition) firstNewPosition_[key] = j;
        }
    }

    Key keyOf(std::size_t i, const LightingMarker& m) {
        const std::string& text = m.*field_;
        const std::size_t j = i + offset_;
        if (j < newMarkers_.size() && text == newMarkers_[j].*field_) return keys_.newKeys[j][feature_];
        const Key key = interner_.keyOf(text);
        if (key < firstNewPosition_.size() && firstNewPosition_[key] != noPosition) {
            offset_ = firstNewPosition_[key] - i;
        }
        return key;
    }

private:
    static constexpr std::uint32_t noPosition = std::numeric_limits<std::uint32_t>::max();

    TextInterner& interner_;
    const std::vector<LightingMarker>& newMarkers_;
    const MarkerKeys& keys_;
    const Feature feature_;
    const std::string LightingMarker::*field_;
    std::vector<std::uint32_t> firstNewPosition_;
    // Wraps around for a negative offset, as unsigned arithmetic does.
    std::size_t offset_ = 0;
};

}  // namespace

MarkerKeys markerKeys(const std::vector<LightingMarker>& oldMarkers, const std::vector<LightingMarker>& newMarkers) {
    CueListKeys cueLists;
    TextInterner types, tracks, cueIDs, labels;
    NumberKeys positions(newMarkers, &LightingMarker::position);
    NumberKeys fades(newMarkers, &LightingMarker::fade);
    NumberKeys fadeOuts(newMarkers, &LightingMarker::fadeOut);

    MarkerKeys keys;
    keys.newKeys.reserve(newMarkers.size());
    for (const LightingMarker& m : newMarkers) {
        keys.newKeys.push_back({cueLists.keyOf(m.cueList), types.keyOf(m.markerTypeName), tracks.keyOf(m.trackName),
                                cueIDs.keyOf(m.manualCueID), labels.keyOf(m.label), positions.newKey(m.position),
                                fades.newKey(m.fade), fadeOuts.newKey(m.fadeOut)});
    }
    OldTextKeys oldTypes(types, newMarkers, keys, typeFeature, &LightingMarker::markerTypeName);
    OldTextKeys oldTracks(tracks, newMarkers, keys, trackFeature, &LightingMarker::trackName);
    OldTextKeys oldCueIDs(cueIDs, newMarkers, keys, cueIDFeature, &LightingMarker::manualCueID);
    OldTextKeys oldLabels(labels, newMarkers, keys, labelFeature, &LightingMarker::label);

    keys.oldKeyPool.reserve(oldMarkers.size() * featureCount);
    keys.oldKeyStarts.reserve(oldMarkers.size() * featureCount + 1);
    const auto startFeature = [&keys] {
        keys.oldKeyStarts.push_back(static_cast<std::uint32_t>(keys.oldKeyPool.size()));
    };
    const auto addNonBlank = [&keys](Key key) {
        if (key != blankKey) keys.oldKeyPool.push_back(key);
    };
    for (std::size_t i = 0; i < oldMarkers.size(); ++i) {
        const LightingMarker& m = oldMarkers[i];
        startFeature();
        keys.oldKeyPool.push_back(cueLists.keyOf(m.cueList));
        startFeature();
        keys.oldKeyPool.push_back(oldTypes.keyOf(i, m));
        startFeature();
        keys.oldKeyPool.push_back(oldTracks.keyOf(i, m));
        startFeature();
        addNonBlank(oldCueIDs.keyOf(i, m));
        startFeature();
        addNonBlank(oldLabels.keyOf(i, m));
        startFeature();
        positions.appendOldKeys(m.position, keys.oldKeyPool);
        startFeature();
        fades.appendOldKeys(m.fade, keys.oldKeyPool);
        startFeature();
        fadeOuts.appendOldKeys(m.fadeOut, keys.oldKeyPool);
    }
    startFeature();
    return keys;
}

}  // namespace lanternwick::markermatch

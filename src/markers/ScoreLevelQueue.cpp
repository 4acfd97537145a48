#include "markers/ScoreLevelQueue.h"

#include <map>

namespace lanternwick::markermatch {

const std::vector<ScoreLevel>& scoreLevels() {
    static const std::vector<ScoreLevel> levels = [] {
        std::map<std::int64_t, std::vector<Mask>, std::greater<>> masksByScore;
        for (unsigned mask = 0; mask < maskCount; ++mask) {
            std::int64_t score = 0;
            for (std::size_t f = 0; f < featureCount; ++f) {
                if (contains(static_cast<Mask>(mask), f)) score += featureWeights[f];
            }
            if (score > matchThreshold) masksByScore[score].push_back(static_cast<Mask>(mask));
        }
        std::vector<ScoreLevel> result;
        for (auto& [score, masks] : masksByScore) result.push_back({score, std::move(masks)});
        return result;
    }();
    return levels;
}

}  // namespace lanternwick::markermatch

#include "eos/EosCommands.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "support/TextRules.h"

namespace lanternwick {
namespace {

constexpr char commandTerminator = '#';

bool holdsTerminator(std::string_view text) { return text.find(commandTerminator) != std::string_view::npos; }

// The console reads a line as words: a blank inside a cue number or a fade
// would let the file's text go on with keywords of its own ("5 Enter Delete
// Cue 1 / 7"). Neither ever holds a blank, so such a text is not used at all.
bool holdsWordBreak(std::string_view text) {
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t next = 0;
    while (next < length) {
        UChar32 c = 0;
        U8_NEXT(text.data(), next, length, c);
        if (c < 0 || u_isUWhiteSpace(c) || u_isISOControl(c)) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> usableWordText(std::string_view value) {
    std::string text = trimmed(value);
    if (text.empty() || holdsTerminator(text) || holdsWordBreak(text)) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> usableValueText(std::string_view value) {
    std::string text = trimmed(value);
    if (text.empty() || holdsTerminator(text)) {
        return std::nullopt;
    }
    return text;
}

std::string cuePrefix(std::string_view head, std::int64_t list, std::string_view cue) {
    std::string line(head);
    line += std::to_string(list);
    line += " / ";
    line += cue;
    return line;
}

std::optional<std::string> cueValueLine(std::int64_t list, std::string_view cue, std::string_view keyword,
                                        std::string_view value) {
    const auto cueText = usableCueText(cue);
    const auto valueText = usableValueText(value);
    if (!cueText || !valueText) {
        return std::nullopt;
    }
    std::string line = cuePrefix("$ Cue ", list, *cueText);
    line += keyword;
    line += *valueText;
    line += " #";
    return line;
}

}  // namespace

std::optional<std::string> usableCueText(std::string_view cue) { return usableWordText(cue); }

std::string sanitizedLabel(std::string_view label) {
    std::string kept;
    kept.reserve(label.size());
    for (const char c : label) {
        if (c != commandTerminator) {
            kept += c;
        }
    }
    return trimmed(kept);
}

std::optional<std::string> enterCueLine(std::int64_t list, std::string_view cue) {
    const auto cueText = usableCueText(cue);
    if (!cueText) {
        return std::nullopt;
    }
    return cuePrefix("$ Cue ", list, *cueText) + " Enter #";
}

std::optional<std::string> cueTimeLine(std::int64_t list, std::string_view cue, std::string_view value) {
    return cueValueLine(list, cue, " Time ", value);
}

std::optional<std::string> cueTimecodeLine(std::int64_t list, std::string_view cue, std::string_view value) {
    return cueValueLine(list, cue, " Timecode ", value);
}

std::optional<std::string> cueLabelLine(std::int64_t list, std::string_view cue, std::string_view label) {
    const auto cueText = usableCueText(cue);
    if (!cueText) {
        return std::nullopt;
    }
    return cuePrefix("$ Cue ", list, *cueText) + " Label " + sanitizedLabel(label) + " #";
}

std::optional<std::string> deleteCueLine(std::int64_t list, std::string_view cue) {
    const auto cueText = usableCueText(cue);
    if (!cueText) {
        return std::nullopt;
    }
    return cuePrefix("$ Delete Cue ", list, *cueText) + " Enter #";
}

std::optional<std::string> fullCueLine(std::int64_t list, std::string_view cue, std::optional<std::string> fade,
                                       std::optional<std::string> timecode, std::optional<std::string> label) {
    const auto cueText = usableCueText(cue);
    if (!cueText) {
        return std::nullopt;
    }
    const auto fadeText = fade ? usableValueText(*fade) : std::nullopt;
    const auto timecodeValue = timecode ? usableValueText(*timecode) : std::nullopt;
    std::string line = cuePrefix("Cue ", list, *cueText);
    line += " Time ";
    line += fadeText.value_or("0");
    line += " Timecode ";
    line += timecodeValue.value_or("00:00:00:00");
    if (label) {
        const std::string labelText = sanitizedLabel(*label);
        if (!labelText.empty()) {
            line += " Label ";
            line += labelText;
        }
    }
    line += " #";
    return line;
}

std::optional<std::string> cueQueryAddress(std::int64_t list, std::string_view cue) {
    const auto cueText = usableCueText(cue);
    if (!cueText) {
        return std::nullopt;
    }
    return "/eos/get/cue/" + std::to_string(list) + "/" + *cueText;
}

bool isZeroCue(std::string_view cue) {
    const auto value = parseNumber(trimmed(cue));
    return value && *value == 0;
}

std::optional<std::string> fadeTimeText(std::optional<std::string_view> fade,
                                        std::optional<std::string_view> fadeOut) {
    std::string a = trimmed(fade.value_or(std::string_view{}));
    if (a.empty() || holdsWordBreak(a)) {
        return std::nullopt;
    }
    const std::string b = trimmed(fadeOut.value_or(std::string_view{}));
    if (b.empty()) {
        return a;
    }
    if (holdsWordBreak(b)) {
        return std::nullopt;
    }
    const auto fadeOutValue = parseNumber(b);
    if (fadeOutValue && *fadeOutValue == -1) {
        return a;
    }
    return a + " / " + b;
}

std::optional<std::string> timecodeText(std::optional<std::string_view> position, double offsetSeconds) {
    const auto value = parseNumber(trimmed(position.value_or(std::string_view{})));
    if (!value || !(*value >= 0)) {
        return std::nullopt;
    }
    return formatTimecode(*value + offsetSeconds);
}

std::optional<std::string> formatTimecode(double seconds) {
    if (!(seconds >= 0)) {
        return std::nullopt;
    }
    const double frameCount = std::round(seconds * 30);
    // 2^63 is the first value a signed 64-bit integer cannot hold; infinity fails here too.
    if (!(frameCount < 9223372036854775808.0)) {
        return std::nullopt;
    }
    const auto frames = static_cast<std::int64_t>(frameCount);
    const std::int64_t hours = frames / 108000;
    const std::int64_t minutes = (frames % 108000) / 1800;
    const std::int64_t secs = (frames % 1800) / 30;
    const std::int64_t frame = frames % 30;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ":%02" PRId64, hours, minutes,
                  secs, frame);
    return std::string(buffer);
}

}  // namespace lanternwick

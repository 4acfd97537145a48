#include "eos/EosCommands.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "markers/ConsoleCue.h"
#include "support/IntegerText.h"
#include "support/LatinASCII.h"
#include "support/TextRules.h"

namespace lanternwick {
namespace {

constexpr char commandTerminator = '#';

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "HH:MM:SS:FF", hours of two digits or more; only formatTimecode makes
// these, but a line is never composed from a value it has not checked.
bool isTimecode(std::string_view text) {
    std::size_t hours = 0;
    while (hours < text.size() && isDigit(text[hours])) ++hours;
    if (hours < 2 || text.size() != hours + 9) return false;
    for (std::size_t at = hours; at < text.size(); at += 3) {
        if (text[at] != ':' || !isDigit(text[at + 1]) || !isDigit(text[at + 2])) return false;
    }
    return true;
}

// A fade as fadeTimeText spells it: one console time, or two joined by " / ".
bool isTimeValue(std::string_view text) {
    const std::size_t split = text.find(" / ");
    if (split == std::string_view::npos) return isConsoleTime(text);
    return isConsoleTime(text.substr(0, split)) && isConsoleTime(text.substr(split + 3));
}

std::optional<std::string> checked(std::string text, bool (*valid)(std::string_view)) {
    if (!valid(text)) return std::nullopt;
    return text;
}

std::string withoutControlCharacters(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t next = 0;
    while (next < length) {
        const std::int32_t start = next;
        UChar32 c = 0;
        U8_NEXT(text.data(), next, length, c);
        const auto category = c < 0 ? 0 : u_charType(c);
        if (c < 0 || u_iscntrl(c) || category == U_LINE_SEPARATOR || category == U_PARAGRAPH_SEPARATOR) continue;
        kept.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(next - start)));
    }
    return kept;
}

std::string cuePrefix(std::string_view head, std::int64_t list, std::string_view cue) {
    std::string line(head);
    line += std::to_string(list);
    line += " / ";
    line += cue;
    return line;
}

std::optional<std::string> cueValueLine(std::int64_t list, std::string_view cue, std::string_view keyword,
                                        std::optional<std::string> value) {
    const auto cueText = usableCueText(cue);
    if (!cueText || !value) return std::nullopt;
    return cuePrefix("$ Cue ", list, *cueText) + std::string(keyword) + *value + " #";
}

}  // namespace

std::optional<std::string> usableCueText(std::string_view cue) { return checked(wireForm(cue), isConsoleCueNumber); }

std::string sanitizedLabel(std::string_view label) {
    const std::string wire = convertToPrintableASCII(withoutControlCharacters(label));
    std::string kept;
    kept.reserve(wire.size());
    for (const char c : wire) {
        if (c != commandTerminator) kept += c;
    }
    return trimmed(kept);
}

std::optional<std::string> enterCueLine(std::int64_t list, std::string_view cue) {
    const auto cueText = usableCueText(cue);
    if (!cueText) return std::nullopt;
    return cuePrefix("$ Cue ", list, *cueText) + " Enter #";
}

std::optional<std::string> cueTimeLine(std::int64_t list, std::string_view cue, std::string_view value) {
    return cueValueLine(list, cue, " Time ", checked(wireForm(value), isTimeValue));
}

std::optional<std::string> cueTimecodeLine(std::int64_t list, std::string_view cue, std::string_view value) {
    return cueValueLine(list, cue, " Timecode ", checked(wireForm(value), isTimecode));
}

std::optional<std::string> cueLabelLine(std::int64_t list, std::string_view cue, std::string_view label) {
    const auto cueText = usableCueText(cue);
    if (!cueText) return std::nullopt;
    return cuePrefix("$ Cue ", list, *cueText) + " Label " + sanitizedLabel(label) + " #";
}

std::optional<std::string> deleteCueLine(std::int64_t list, std::string_view cue) {
    const auto cueText = usableCueText(cue);
    if (!cueText) return std::nullopt;
    return cuePrefix("$ Delete Cue ", list, *cueText) + " Enter #";
}

std::optional<std::string> fullCueLine(std::int64_t list, std::string_view cue, std::optional<std::string> fade,
                                       std::optional<std::string> timecode, std::optional<std::string> label) {
    const auto cueText = usableCueText(cue);
    if (!cueText) return std::nullopt;
    const auto fadeText = fade ? checked(wireForm(*fade), isTimeValue) : std::nullopt;
    const auto timecodeValue = timecode ? checked(wireForm(*timecode), isTimecode) : std::nullopt;
    std::string line = cuePrefix("Cue ", list, *cueText);
    if (fadeText) line += " Time " + *fadeText;
    if (timecodeValue) line += " Timecode " + *timecodeValue;
    if (label) {
        const std::string labelText = sanitizedLabel(*label);
        if (!labelText.empty()) line += " Label " + labelText;
    }
    line += " #";
    return line;
}

std::optional<std::string> cueQueryAddress(std::int64_t list, std::string_view cue) {
    const auto cueText = usableCueText(cue);
    if (!cueText) return std::nullopt;
    return "/eos/get/cue/" + std::to_string(list) + "/" + *cueText;
}

namespace {

bool takePrefix(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return false;
    text.remove_prefix(prefix.size());
    return true;
}

// "L / C" or "L/C" at the front of `text`, followed by a blank or the end.
std::optional<std::pair<std::int64_t, std::string>> takeListAndCue(std::string_view& text,
                                                                  std::string_view separator) {
    std::size_t length = text.starts_with('-') ? 1 : 0;
    while (length < text.size() && isDigit(text[length])) ++length;
    const std::optional<std::int64_t> list = parseInteger<std::int64_t>(text.substr(0, length));
    if (!list) return std::nullopt;
    text.remove_prefix(length);
    if (!takePrefix(text, separator)) return std::nullopt;
    const std::size_t cueEnd = std::min(text.find(' '), text.size());
    std::string cue = consoleCueIdentity(text.substr(0, cueEnd));
    text.remove_prefix(cueEnd);
    if (!isConsoleCueNumber(cue)) return std::nullopt;
    return std::pair{*list, std::move(cue)};
}

}  // namespace

std::optional<CueLineKey> cueLineKey(std::string_view address, std::string_view text) {
    using Part = CueLineKey::Part;
    if (takePrefix(address, "/eos/get/cue/")) {
        auto cue = takeListAndCue(address, "/");
        if (!cue || !address.empty()) return std::nullopt;
        return CueLineKey{cue->first, std::move(cue->second), Part::query};
    }
    if (address != "/eos/user/0/newcmd") return std::nullopt;
    const bool full = !takePrefix(text, "$ ");
    const bool deletion = !full && takePrefix(text, "Delete ");
    if (!takePrefix(text, "Cue ")) return std::nullopt;
    auto cue = takeListAndCue(text, " / ");
    if (!cue) return std::nullopt;
    Part part = Part::full;
    if (deletion) {
        part = Part::deletion;
    } else if (!full) {
        constexpr std::pair<std::string_view, Part> parts[] = {
            {" Enter ", Part::enter}, {" Timecode ", Part::timecode}, {" Time ", Part::time}, {" Label ", Part::label}};
        const auto found = std::find_if(std::begin(parts), std::end(parts),
                                        [&](const auto& p) { return text.starts_with(p.first); });
        if (found == std::end(parts)) return std::nullopt;
        part = found->second;
    }
    return CueLineKey{cue->first, std::move(cue->second), part};
}

bool clearsCueLabel(std::string_view address, std::string_view text) {
    const auto key = cueLineKey(address, text);
    // The empty label leaves its two spaces: a label is trimmed, so no other
    // label line ends this way.
    return key && key->part == CueLineKey::Part::label && text.ends_with(" Label  #");
}

bool isZeroCue(std::string_view cue) {
    const auto value = parseNumber(trimmed(cue));
    if (value && *value == 0) return true;
    return usableCueText(cue) && consoleCueIdentity(cue) == "0";
}

namespace {

// The fade-out given and not the -1 that means "none".
std::optional<std::string> givenFadeOut(std::optional<std::string_view> fadeOut) {
    std::string b = trimmed(fadeOut.value_or(std::string_view{}));
    if (b.empty()) return std::nullopt;
    const auto value = parseNumber(b);
    if (value && *value == -1) return std::nullopt;
    return wireForm(b);
}

}  // namespace

std::optional<std::string> fadeTimeText(std::optional<std::string_view> fade,
                                        std::optional<std::string_view> fadeOut) {
    auto a = checked(wireForm(fade.value_or(std::string_view{})), isConsoleTime);
    if (!a) return std::nullopt;
    const auto b = givenFadeOut(fadeOut);
    if (!b || !isConsoleTime(*b)) return a;
    return *a + " / " + *b;
}

bool usableFadeOut(std::optional<std::string_view> fadeOut) {
    const auto b = givenFadeOut(fadeOut);
    return !b || isConsoleTime(*b);
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

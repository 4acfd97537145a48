#include "eos/EosLink.h"

#include "eos/EosCommands.h"

namespace lanternwick {

void EosLink::enterCue(std::int64_t list, std::string_view cue) {
    if (const auto line = enterCueLine(list, cue)) {
        sendCommandLine(*line);
    }
}

void EosLink::setCueTime(std::int64_t list, std::string_view cue, std::string_view value) {
    if (const auto line = cueTimeLine(list, cue, value)) {
        sendCommandLine(*line);
    }
}

void EosLink::setCueTimecode(std::int64_t list, std::string_view cue, std::string_view value) {
    if (const auto line = cueTimecodeLine(list, cue, value)) {
        sendCommandLine(*line);
    }
}

void EosLink::setCueLabel(std::int64_t list, std::string_view cue, std::string_view label) {
    if (const auto line = cueLabelLine(list, cue, label)) {
        sendCommandLine(*line);
    }
}

}  // namespace lanternwick

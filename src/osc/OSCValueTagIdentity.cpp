#include "osc/OSCValueTagIdentity.h"

#include <algorithm>

namespace lanternwick {

bool OSCValueTagIdentity::claims(char c) const {
    if (const auto* tag = std::get_if<Tag>(&identity)) {
        return tag->character == c;
    }
    if (const auto* variable = std::get_if<Variable>(&identity)) {
        return std::find(variable->characters.begin(), variable->characters.end(), c) !=
               variable->characters.end();
    }
    return false;
}

std::vector<char> OSCValueTagIdentity::claimedCharacters() const {
    if (const auto* tag = std::get_if<Tag>(&identity)) {
        return {tag->character};
    }
    if (const auto* variable = std::get_if<Variable>(&identity)) {
        return variable->characters;
    }
    return {};
}

}  // namespace lanternwick

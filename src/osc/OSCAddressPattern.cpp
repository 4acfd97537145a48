#include "osc/OSCAddressPattern.h"

#include "osc/ASCIIString.h"
#include "support/TextRules.h"

namespace lanternwick {

OSCAddressPattern::OSCAddressPattern(std::string_view text) : rawAddress_(text) { convertIfNeeded(); }

OSCAddressPattern::OSCAddressPattern(std::string text) : rawAddress_(std::move(text)) { convertIfNeeded(); }

void OSCAddressPattern::convertIfNeeded() {
    if (!isASCII(rawAddress_)) {
        converted_ = convertToPrintableASCII(rawAddress_);
    }
}

}  // namespace lanternwick

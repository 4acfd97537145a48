#include "osc/OSCAddressPattern.h"

#include "osc/ASCIIString.h"

namespace lanternwick {

OSCAddressPattern::OSCAddressPattern(std::string_view text) : OSCAddressPattern(std::string(text)) {}

OSCAddressPattern::OSCAddressPattern(std::string text) : rawAddress_(std::move(text)) {
    if (!isASCII(rawAddress_)) {
        rawData_ = convertToPrintableASCII(rawAddress_);
        converted_ = true;
    }
}

}  // namespace lanternwick

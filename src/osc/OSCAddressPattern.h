#pragma once
// OSCAddressPattern: the address of a message. Pure ASCII text (control
// characters included) is kept as it is; text with any non-ASCII character is
// converted as string arguments are. Encoding does not check the address;
// decoding insists on a leading "/". A plain value.

#include <optional>
#include <string>
#include <string_view>

namespace lanternwick {

class OSCAddressPattern {
public:
    OSCAddressPattern() = default;
    OSCAddressPattern(std::string_view text);
    OSCAddressPattern(std::string text);
    OSCAddressPattern(const char* text) : OSCAddressPattern(std::string_view(text)) {}

    const std::string& rawAddress() const { return rawAddress_; }
    // The ASCII bytes written on the wire, without terminator.
    std::string_view rawData() const { return converted_ ? std::string_view(*converted_) : rawAddress_; }

    friend bool operator==(const OSCAddressPattern& a, const OSCAddressPattern& b) {
        return a.rawAddress_ == b.rawAddress_;
    }

private:
    friend class OSCPacketDecoding;

    void convertIfNeeded();

    std::string rawAddress_;
    // Present only when the text is not ASCII.
    std::optional<std::string> converted_;
};

}  // namespace lanternwick

#include "osc/OSCMessage.h"

#include "osc/OSCMessageEncoder.h"

namespace lanternwick {

std::optional<std::string_view> OSCMessage::stringArgument(std::size_t index) const {
    if (index >= values_.size()) {
        return std::nullopt;
    }
    return values_[index].asString();
}

std::optional<std::int32_t> OSCMessage::int32Argument(std::size_t index) const {
    if (index >= values_.size()) {
        return std::nullopt;
    }
    return values_[index].asInt32();
}

const std::optional<OSCBytes>& OSCMessage::receivedRawData() const {
    return rawData_.get([this] {
        OSCBytes out;
        // Only messages of kinds that always encode are reproducible.
        (void)OSCMessageEncoder::append(addressPattern_.rawData(), values_, out);
        return out;
    });
}

// A reproducible message is encoded afresh: the same bytes, no copy kept.
Result<void, OSCEncodeError> OSCMessage::appendRawData(OSCBytes& out) const {
    if (const OSCBytes* received = rawData_.copy()) {
        out.insert(out.end(), received->begin(), received->end());
        return {};
    }
    return OSCMessageEncoder::append(addressPattern_.rawData(), values_, out);
}

Result<OSCBytes, OSCEncodeError> OSCMessage::rawData() const {
    if (const OSCBytes* received = rawData_.copy()) {
        return *received;
    }
    OSCBytes out;
    if (auto written = OSCMessageEncoder::append(addressPattern_.rawData(), values_, out); !written) {
        return fail(written.error());
    }
    return out;
}

std::string OSCMessage::description() const {
    std::string text = "OSCMessage(\"" + addressPattern_.rawAddress() + "\"";
    if (!values_.empty()) {
        text += ", values: " + listDescription(values_);
    }
    return text + ")";
}

}  // namespace lanternwick

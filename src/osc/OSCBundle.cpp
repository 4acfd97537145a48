#include "osc/OSCBundle.h"

#include <limits>

#include "osc/OSCPacket.h"

namespace lanternwick {
namespace {

constexpr std::uint8_t bundleHeader[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0};

void put32(OSCBytes& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v >> 24);
    out[at + 1] = static_cast<std::uint8_t>(v >> 16);
    out[at + 2] = static_cast<std::uint8_t>(v >> 8);
    out[at + 3] = static_cast<std::uint8_t>(v);
}

}  // namespace

OSCBundle::OSCBundle() = default;
OSCBundle::OSCBundle(std::vector<OSCPacket> elements, OSCTimeTag timeTag)
    : timeTag_(timeTag), elements_(std::move(elements)) {}
OSCBundle::OSCBundle(const OSCBundle&) = default;
OSCBundle::OSCBundle(OSCBundle&&) noexcept = default;
OSCBundle& OSCBundle::operator=(const OSCBundle&) = default;
OSCBundle& OSCBundle::operator=(OSCBundle&&) noexcept = default;
OSCBundle::~OSCBundle() = default;

bool operator==(const OSCBundle& a, const OSCBundle& b) {
    return a.timeTag_ == b.timeTag_ && a.elements_ == b.elements_;
}

const std::optional<OSCBytes>& OSCBundle::receivedRawData() const {
    return rawData_.get([this] {
        OSCBytes out;
        // A decoded bundle's elements encode to the bytes they came from.
        (void)appendRawData(out);
        return out;
    });
}

Result<void, OSCEncodeError> OSCBundle::appendRawData(OSCBytes& out) const {
    if (const OSCBytes* received = rawData_.copy()) {
        out.insert(out.end(), received->begin(), received->end());
        return {};
    }
    out.insert(out.end(), std::begin(bundleHeader), std::end(bundleHeader));
    for (int shift = 56; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(timeTag_.rawValue >> shift));
    }
    for (const auto& element : elements_) {
        // The size is written in front once the element's length is known.
        const std::size_t sizeAt = out.size();
        out.resize(sizeAt + 4);
        if (auto written = element.appendRawData(out); !written) {
            return written;
        }
        const std::size_t size = out.size() - sizeAt - 4;
        if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return fail(OSCEncodeError::valueEncodingError("Bundle element of " + std::to_string(size) +
                                                           " bytes is longer than 2147483647 bytes."));
        }
        put32(out, sizeAt, static_cast<std::uint32_t>(size));
    }
    return {};
}

Result<OSCBytes, OSCEncodeError> OSCBundle::rawData() const {
    if (const OSCBytes* received = rawData_.copy()) {
        return *received;
    }
    OSCBytes out;
    out.reserve(10000);
    if (auto written = appendRawData(out); !written) {
        return fail(written.error());
    }
    return out;
}

std::string OSCBundle::description() const {
    std::string text = "OSCBundle(";
    const bool showsTimeTag = !timeTag_.isImmediate();
    if (showsTimeTag) {
        text += "timeTag: " + timeTag_.description();
    }
    if (!elements_.empty()) {
        if (showsTimeTag) {
            text += ", ";
        }
        text += "elements: [";
        for (std::size_t i = 0; i < elements_.size(); ++i) {
            if (i > 0) {
                text += ", ";
            }
            text += elements_[i].description();
        }
        text += "]";
    }
    return text + ")";
}

}  // namespace lanternwick

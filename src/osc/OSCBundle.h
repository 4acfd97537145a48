#pragma once
// OSCBundle: a time tag and an ordered list of packets (messages and
// bundles, nested). Made without a time tag it is immediate. Like a message
// it gives back the bytes it was decoded from; a decoded bundle is always
// laid out as the encoder writes its elements, so it keeps only that fact
// (or the buffer it was handed), never a copy per nesting level. Include
// "osc/OSCPacket.h" to use the elements. An immutable value, freely copied
// and shared between threads.
// Decoding refuses bundles nested deeper than `maximumNestingDepth`.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "osc/OSCBytes.h"
#include "osc/OSCDecodeError.h"
#include "osc/OSCEncodeError.h"
#include "osc/OSCReceivedBytes.h"
#include "osc/OSCTimeTag.h"
#include "support/Result.h"

namespace lanternwick {

class OSCPacket;

class OSCBundle {
public:
    OSCBundle();
    // Note that OSCBundle({inner}) with one bundle `inner` copies it; nest
    // with OSCBundle(std::vector<OSCPacket>{inner}).
    explicit OSCBundle(std::vector<OSCPacket> elements, OSCTimeTag timeTag = OSCTimeTag::immediate());
    OSCBundle(const OSCBundle&);
    OSCBundle(OSCBundle&&) noexcept;
    OSCBundle& operator=(const OSCBundle&);
    OSCBundle& operator=(OSCBundle&&) noexcept;
    ~OSCBundle();

    const OSCTimeTag& timeTag() const { return timeTag_; }
    const std::vector<OSCPacket>& elements() const { return elements_; }
    // The bytes this bundle was decoded from, if it was.
    const std::optional<OSCBytes>& receivedRawData() const;

    Result<OSCBytes, OSCEncodeError> rawData() const;
    Result<void, OSCEncodeError> appendRawData(OSCBytes& out) const;

    static Result<OSCBundle, OSCDecodeError> decode(OSCByteView bytes,
                                                    OSCStringBytes strings = OSCStringBytes::ascii);
    static Result<OSCBundle, OSCDecodeError> decode(OSCBytes&& bytes,
                                                    OSCStringBytes strings = OSCStringBytes::ascii);

    // OSCBundle(timeTag: 5, elements: [...])
    std::string description() const;

    friend bool operator==(const OSCBundle& a, const OSCBundle& b);

private:
    friend class OSCPacketDecoding;

    OSCTimeTag timeTag_;
    std::vector<OSCPacket> elements_;
    OSCReceivedBytes rawData_;
};

}  // namespace lanternwick

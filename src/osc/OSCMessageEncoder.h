#pragma once
// OSCMessageEncoder: writes one message's bytes. Sizes the output exactly
// before writing, so a message is built with a single allocation (or none
// when appended to a buffer with room). Values that the wire cannot carry
// (a blob over 2^31 - 1 bytes) fail with valueEncodingError. Stateless, any
// thread.

#include <span>
#include <string_view>

#include "osc/OSCBytes.h"
#include "osc/OSCEncodeError.h"
#include "osc/OSCValue.h"
#include "support/Result.h"

namespace lanternwick {

class OSCMessageEncoder {
public:
    static Result<void, OSCEncodeError> append(std::string_view addressBytes, std::span<const OSCValue> values,
                                               OSCBytes& out);
};

}  // namespace lanternwick

// The header check on arbitrary bytes, invalid UTF-8 included: it must never
// crash, and a comment placed before an accepted file must not change the
// verdict (the declaration need not open the file).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "markers/TempolaneFileValidationError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lanternwick;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto verdict = validateMarkerBytes(bytes);
    if (!verdict.ok()) {
        fuzz::require(verdict.error().kind == TempolaneFileValidationError::Kind::invalidTempolaneXML,
                      "bytes in hand are never unreadable, only invalid");
        return 0;
    }
    const std::string commented = "<!-- saved by hand -->\n" + std::string(bytes);
    fuzz::require(validateMarkerBytes(commented).ok(), "a leading comment keeps a valid file valid");
    return 0;
}

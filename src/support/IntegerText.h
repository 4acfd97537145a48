#pragma once
// parseInteger: a whole text read as a decimal integer, the one reading for
// every integer that comes as text (settings, track-name tokens, OSC address
// pieces, flags). Pure; callable from any thread.
// Rules: ASCII digits after at most one sign, nothing before or after them
// (no white space, no "0x"), the value within the type's range, else none.
// A minus sign only for signed types. A plus sign only where the caller
// allows it, and never together with another sign ("+-1", "++1"), so that
// a text never reads as a number it does not plainly say.

#include <charconv>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

namespace lanternwick {

enum class PlusSign { refused, allowed };

template <std::integral Integer = std::int64_t>
std::optional<Integer> parseInteger(std::string_view text, PlusSign plus = PlusSign::refused) {
    static_assert(!std::same_as<Integer, bool>, "a flag is not read as an integer");
    if (plus == PlusSign::allowed && text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) return std::nullopt;
    }
    // from_chars itself refuses a plus sign, so "++1" ends here too.
    if (text.empty()) return std::nullopt;
    Integer value{};
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

}  // namespace lanternwick

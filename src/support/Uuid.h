#pragma once
// Uuid: a random 128-bit identity (version 4) for actions and events. A plain
// value; random() may be called from any thread.

#include <array>
#include <cstdint>
#include <string>

namespace lanternwick {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random();

    // Lower-case hexadecimal in the 8-4-4-4-12 form.
    std::string text() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
};

}  // namespace lanternwick

#pragma once
// FuzzCheck: the one way a fuzz target reports a broken invariant. It prints
// what broke and aborts, which libFuzzer records as a crash together with the
// input that caused it. Used by the fuzz executables only.

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace lanternwick::fuzz {

inline void require(bool condition, std::string_view what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %.*s\n", static_cast<int>(what.size()), what.data());
        std::abort();
    }
}

}  // namespace lanternwick::fuzz

#pragma once
// OSCValueTagIdentity: which type tag characters a value kind answers to:
// exactly one (`tag`), one of several that carry information themselves
// (`variable`, the boolean's T/F), or a run of tags (`variadic`, the array's
// "[...]"). A plain value.

#include <optional>
#include <variant>
#include <vector>

namespace lanternwick {

struct OSCValueTagIdentity {
    struct Tag {
        char character;
        friend bool operator==(const Tag&, const Tag&) = default;
    };
    struct Variable {
        std::vector<char> characters;
        friend bool operator==(const Variable&, const Variable&) = default;
    };
    struct Variadic {
        std::optional<int> minCount;
        std::optional<int> maxCount;
        friend bool operator==(const Variadic&, const Variadic&) = default;
    };

    std::variant<Tag, Variable, Variadic> identity;

    static OSCValueTagIdentity tag(char c) { return {Tag{c}}; }
    static OSCValueTagIdentity variable(std::vector<char> cs) { return {Variable{std::move(cs)}}; }
    static OSCValueTagIdentity variadic(std::optional<int> minCount, std::optional<int> maxCount) {
        return {Variadic{minCount, maxCount}};
    }

    bool isVariadic() const { return std::holds_alternative<Variadic>(identity); }
    // True for a tag or variable identity that claims `c`; variadic kinds
    // claim no single character.
    bool claims(char c) const;
    // The characters claimed (none for variadic).
    std::vector<char> claimedCharacters() const;

    friend bool operator==(const OSCValueTagIdentity&, const OSCValueTagIdentity&) = default;
};

}  // namespace lanternwick

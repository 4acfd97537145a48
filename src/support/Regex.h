#pragma once
// Regular expressions in ICU syntax over UTF-8 text (\s is Unicode white space
// including line ends, \b a word boundary). A pattern that does not compile
// behaves as one that never matches. Each search has a work budget linear in
// the text's length; a search that exhausts it on pathological backtracking
// stops and reports no further match. Compiled patterns are cached per
// thread; callable from any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lanternwick {

enum class RegexOption { none, dotMatchesLineEnds };

// The first capture group of the first match; absent when nothing matches,
// the pattern has no group, or the group took no part in the match.
std::optional<std::string> firstCapture(std::string_view pattern, std::string_view text);

// The first capture group of every non-overlapping match, in text order;
// matches whose group took no part are skipped.
std::vector<std::string> allCaptures(std::string_view pattern, std::string_view text);

// Byte offset in `text` where the first match starts.
std::optional<std::size_t> firstMatchOffset(std::string_view pattern, std::string_view text,
                                            RegexOption option = RegexOption::none);

}  // namespace lanternwick

#include "support/Regex.h"

#include <cstdint>
#include <memory>
#include <unordered_map>

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

namespace lanternwick {
namespace {

struct UTextCloser {
    void operator()(UText* text) const { utext_close(text); }
};
using UTextPtr = std::unique_ptr<UText, UTextCloser>;

// Null when the pattern does not compile, so that a bad pattern costs one
// compile attempt per thread rather than one per call.
const icu::RegexPattern* compiledPattern(std::string_view pattern, RegexOption option) {
    thread_local std::unordered_map<std::string, std::unique_ptr<icu::RegexPattern>> cache;
    std::string key(pattern);
    key += option == RegexOption::dotMatchesLineEnds ? '\x01' : '\x00';
    if (const auto found = cache.find(key); found != cache.end()) return found->second.get();

    const std::uint32_t flags = option == RegexOption::dotMatchesLineEnds ? UREGEX_DOTALL : 0;
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), flags, parseError, status));
    if (U_FAILURE(status)) compiled.reset();
    return cache.emplace(std::move(key), std::move(compiled)).first->second.get();
}

// ICU calls back once per 10,000 steps of its match engine. Patterns such as
// the header check's chain of [^>]* backtrack polynomially on hostile text, so
// each search gets a step budget proportional to the text: linear work on any
// text, ten times what marker files need (one tick per 20 KB). A search
// that runs out stops as if nothing further matched.
constexpr std::int64_t baseTicks = 64;
constexpr std::int64_t bytesPerTick = 2000;

UBool withinBudget(const void* context, int32_t /*steps*/) {
    auto* ticksLeft = static_cast<std::int64_t*>(const_cast<void*>(context));
    return --*ticksLeft > 0;
}

// A matcher over the UTF-8 bytes themselves, so that match offsets are byte
// offsets into `text`. The UText must outlive the matcher's use of it.
struct Matcher {
    UTextPtr input;
    std::unique_ptr<icu::RegexMatcher> matcher;
    std::unique_ptr<std::int64_t> ticksLeft;
};

std::optional<Matcher> matcherFor(std::string_view pattern, std::string_view text, RegexOption option) {
    const icu::RegexPattern* compiled = compiledPattern(pattern, option);
    if (compiled == nullptr) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    Matcher result;
    result.input.reset(utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status));
    result.matcher.reset(compiled->matcher(status));
    if (U_FAILURE(status) || !result.matcher) return std::nullopt;
    result.ticksLeft = std::make_unique<std::int64_t>(baseTicks + static_cast<std::int64_t>(text.size()) / bytesPerTick);
    result.matcher->setMatchCallback(&withinBudget, result.ticksLeft.get(), status);
    result.matcher->reset(result.input.get());
    if (U_FAILURE(status)) return std::nullopt;
    return result;
}

std::optional<std::string> groupOne(icu::RegexMatcher& matcher, std::string_view text) {
    if (matcher.groupCount() < 1) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const std::int64_t start = matcher.start64(1, status);
    const std::int64_t end = matcher.end64(1, status);
    if (U_FAILURE(status) || start < 0 || end < start) return std::nullopt;
    return std::string(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

}  // namespace

std::optional<std::string> firstCapture(std::string_view pattern, std::string_view text) {
    auto matcher = matcherFor(pattern, text, RegexOption::none);
    if (!matcher || !matcher->matcher->find()) return std::nullopt;
    return groupOne(*matcher->matcher, text);
}

std::vector<std::string> allCaptures(std::string_view pattern, std::string_view text) {
    std::vector<std::string> captures;
    auto matcher = matcherFor(pattern, text, RegexOption::none);
    if (!matcher) return captures;
    while (matcher->matcher->find()) {
        if (auto capture = groupOne(*matcher->matcher, text)) captures.push_back(std::move(*capture));
    }
    return captures;
}

std::optional<std::size_t> firstMatchOffset(std::string_view pattern, std::string_view text, RegexOption option) {
    auto matcher = matcherFor(pattern, text, option);
    if (!matcher || !matcher->matcher->find()) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const std::int64_t start = matcher->matcher->start64(status);
    if (U_FAILURE(status) || start < 0) return std::nullopt;
    return static_cast<std::size_t>(start);
}

}  // namespace lanternwick

#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "markers/LightingChangeEvent.h"
#include "support/Regex.h"

namespace lanternwick {
namespace {

// Every character class the patterns tell apart, with the whitespace the
// engine counts and some it does not, so that random texts hit the
// backtracking cases: names ending in "-", ".", ":", spaces around "=",
// unclosed and mixed quotes.
constexpr std::string_view alphabet = "<<>==\"\"''  \t\n\r\v\f\x1c\x1f\x01aZ_09.:-/!?";

std::string randomText(std::mt19937_64& random, std::size_t length) {
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[pick(random)];
    return text;
}

void expectSameCaptures(const std::string& text) {
    EXPECT_EQ(tagNames(text), allCaptures(tagNamePattern, text)) << testing::PrintToString(text);
    EXPECT_EQ(attributeKeys(text), allCaptures(attributeKeyPattern, text)) << testing::PrintToString(text);
}

TEST(TextScan, CapturesEqualThePatternsOnRandomAndAdversarialTexts) {
    for (const std::string text : {"", "<", "< \t\n a-", "<a-b-", "<a.:-/>", "<-a>", "<_>",
                                   "<a<b c=\"1\" d = '2' e='3\" f=\"4'>", "a-b c='x'", "-a='1'", "a.b:c-='1'",
                                   "x='<y z=\"1\">'", "k=\"unclosed", "k = \v\f'v' j\x1c='w'", "9a='1' _9='2'",
                                   "<?xml version=\"1.0\"?><!-- c='1' --><Root a=\"1\"></Root>",
                                   "<Marker Name=\"caf\xc3\xa9\" Fade='2'/>"}) {  // the last is not ASCII
        expectSameCaptures(text);
    }
    std::mt19937_64 random(20261207);
    for (int round = 0; round < 4000 && !testing::Test::HasFailure(); ++round) {
        expectSameCaptures(randomText(random, 1 + round % 40));
    }
}

}  // namespace
}  // namespace lanternwick

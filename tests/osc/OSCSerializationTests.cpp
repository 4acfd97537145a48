#include <gtest/gtest.h>

#include "OSCTestBytes.h"
#include "osc/OSCPacket.h"
#include "osc/OSCSerialization.h"
#include "osc/OSCValueDecoder.h"

namespace lanternwick {
namespace {

using testing::ascii;
using testing::hex;
using testing::zeros;
using testing::operator+;

TEST(OSCSerializationRegistry, CoreKindsInTheirFixedOrder) {
    const auto entries = OSCSerialization::shared().tagIdentities();
    ASSERT_GE(entries.size(), 14u);
    const std::vector<OSCValueToken> expected = {
        OSCValueToken::int32,    OSCValueToken::float32, OSCValueToken::string,  OSCValueToken::blob,
        OSCValueToken::boolean,  OSCValueToken::character, OSCValueToken::float64, OSCValueToken::int64,
        OSCValueToken::impulse,  OSCValueToken::midi,    OSCValueToken::null,    OSCValueToken::stringAlt,
        OSCValueToken::timeTag,  OSCValueToken::array};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(entries[i]->token, expected[i]) << i;
    }
    EXPECT_EQ(entries[4]->identity, OSCValueTagIdentity::variable({'T', 'F'}));
    EXPECT_EQ(entries[13]->identity, OSCValueTagIdentity::variadic(2, std::nullopt));
}

TEST(OSCSerializationRegistry, LookupIncludesTheVariadicArrayForEveryTag) {
    const auto& registry = OSCSerialization::shared();
    const auto forInt = registry.candidates('i');
    ASSERT_EQ(forInt.size(), 2u);
    EXPECT_EQ(forInt[0]->token, OSCValueToken::int32);
    EXPECT_EQ(forInt[1]->token, OSCValueToken::array);
    ASSERT_EQ(registry.candidates('F').size(), 2u);
    EXPECT_EQ(registry.candidates('F')[0]->token, OSCValueToken::boolean);
    ASSERT_EQ(registry.candidates('r').size(), 1u);
    EXPECT_EQ(registry.candidates('r')[0]->token, OSCValueToken::array);
}

TEST(OSCSerializationRegistry, ClaimedTagsCannotBeRegisteredAgain) {
    auto& registry = OSCSerialization::shared();
    const auto before = registry.tagIdentities().size();
    const auto taken = registry.registerKind({"Twice", OSCValueTagIdentity::tag('i'), OSCValueToken::int32, {}, {}});
    ASSERT_FALSE(taken.ok());
    EXPECT_EQ(taken.error().description(), "Tag already registered");
    EXPECT_FALSE(registry.registerKind({"Flag", OSCValueTagIdentity::variable({'Q', 'T'}), OSCValueToken::boolean, {}, {}})
                     .ok());
    EXPECT_EQ(registry.tagIdentities().size(), before);
}

// Registration is process-wide, so these tests claim tags that no other test
// in this binary uses.
TEST(OSCSerializationRegistry, RegisteredKindsDecodeThroughTheirOwnDecoder) {
    auto& registry = OSCSerialization::shared();
    OSCValueStaticTagDecoder rgba = [](OSCValueDecoder& reader) -> Result<OSCValue, OSCDecodeError> {
        const auto bytes = reader.readBytes(4);
        if (!bytes) {
            return fail(bytes.error());
        }
        return OSCValue(OSCMIDIValue{(*bytes)[0], (*bytes)[1], (*bytes)[2], (*bytes)[3]});
    };
    ASSERT_TRUE(registry.registerKind({"RGBA", OSCValueTagIdentity::tag('x'), OSCValueToken::midi, {}, rgba}).ok());
    ASSERT_TRUE(registry.registerKind({"Undecodable", OSCValueTagIdentity::tag('y'), OSCValueToken::null, {}, {}}).ok());
    EXPECT_FALSE(registry.registerKind({"Again", OSCValueTagIdentity::tag('x'), OSCValueToken::midi, {}, {}}).ok());

    const auto decoded = OSCMessage::decode(ascii("/c") + zeros(2) + ascii(",xi") + zeros(1) + hex("FF000080 00000002"));
    ASSERT_TRUE(decoded.ok()) << decoded.error().description();
    EXPECT_EQ(decoded->values(), (std::vector<OSCValue>{OSCMIDIValue{0xFF, 0, 0, 0x80}, 2}));

    const auto undecodable = OSCMessage::decode(ascii("/c") + zeros(2) + ascii(",y") + zeros(2));
    ASSERT_FALSE(undecodable.ok());
    EXPECT_EQ(undecodable.error(), OSCDecodeError::malformed("No decoder is implemented for OSC type tag: y"));
}

}  // namespace
}  // namespace lanternwick

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

// Registration is process-wide, so this test claims tags that no other test
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
    // Neither a registered nor a core tag can be claimed twice, not even as
    // one of a variable kind's tags.
    const auto before = registry.tagIdentities().size();
    const auto again = registry.registerKind({"Again", OSCValueTagIdentity::tag('x'), OSCValueToken::midi, {}, {}});
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.error().description(), "Tag already registered");
    EXPECT_FALSE(registry.registerKind({"Twice", OSCValueTagIdentity::tag('i'), OSCValueToken::int32, {}, {}}).ok());
    EXPECT_FALSE(registry.registerKind({"Flag", OSCValueTagIdentity::variable({'Q', 'T'}), OSCValueToken::boolean, {}, {}})
                     .ok());
    EXPECT_EQ(registry.tagIdentities().size(), before);

    const auto decoded = OSCMessage::decode(ascii("/c") + zeros(2) + ascii(",xi") + zeros(1) + hex("FF000080 00000002"));
    ASSERT_TRUE(decoded.ok()) << decoded.error().description();
    EXPECT_EQ(decoded->values(), (std::vector<OSCValue>{OSCMIDIValue{0xFF, 0, 0, 0x80}, 2}));

    const auto undecodable = OSCMessage::decode(ascii("/c") + zeros(2) + ascii(",y") + zeros(2));
    ASSERT_FALSE(undecodable.ok());
    EXPECT_EQ(undecodable.error(), OSCDecodeError::malformed("No decoder is implemented for OSC type tag: y"));
}

}  // namespace
}  // namespace lanternwick
